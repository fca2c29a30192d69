// The suite as `cmake --install` lays it out (and as the build tree mirrors it): every launcher
// button must find a program below the launcher's folder, beside its read.me and data files,
// and the desktop entry must name the installed launcher.
#include "toolbox/tool_table.h"

#include "lex_tool_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

class ToolboxLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void everyButtonFindsItsProgram_data();
    void everyButtonFindsItsProgram();
    void desktopEntryNamesTheInstalledLauncher();
};

void ToolboxLayoutTest::everyButtonFindsItsProgram_data() {
    QTest::addColumn<QString>("root");
    QTest::newRow("installed") << qEnvironmentVariable("LEX_INSTALL_PREFIX");
    QTest::newRow("build tree") << qEnvironmentVariable("LEX_BUILD_SUITE");
}

void ToolboxLayoutTest::everyButtonFindsItsProgram() {
    QFETCH(QString, root);
    QVERIFY(!root.isEmpty());
    const QString folder = toolbox::launcherFolder(root);
    for (const char *program : {"toolbox", "lexcli"}) {
        const QFileInfo info(folder + program);
        QVERIFY2(info.isFile() && info.isExecutable(), qPrintable(info.filePath()));
    }
    // What each program's folder holds besides the program, by program name.
    QHash<QString, QStringList> files;
    for (const auto &tool : lex::tools::kTools) {
        QStringList names{"read.me"};
        for (std::string_view name : tool.dataFiles)
            names << QString::fromUtf8(name.data(), qsizetype(name.size()));
        files.insert(QString::fromUtf8(tool.name), names);
    }
    const bool withData = qEnvironmentVariableIntValue("LEX_WITH_DATA") != 0;
    for (const toolbox::ToolRow &row : toolbox::kToolTable) {
        const QString relative = QString::fromUtf16(row.path);
        const QString program = toolbox::resolveProgram(folder, relative);
        QVERIFY2(!program.isEmpty(), qPrintable(folder + relative));
        // Directly in the row's own folder, one level below the launcher.
        const QFileInfo info(program);
        QCOMPARE(info.path() + u'/', folder + relative.section(u'/', 0, 0) + u'/');
        QVERIFY2(files.contains(info.fileName()), qPrintable(program));
        for (const QString &name : withData ? files.value(info.fileName()) : QStringList()) {
            const QString path = info.path() + u'/' + name;
            QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));
        }
    }
}

void ToolboxLayoutTest::desktopEntryNamesTheInstalledLauncher() {
    const QString prefix = qEnvironmentVariable("LEX_INSTALL_PREFIX");
    QFile entry(prefix + "/share/applications/quillo-toolbox.desktop");
    QVERIFY2(entry.open(QIODevice::ReadOnly), qPrintable(entry.fileName()));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(u'\n');
    QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
    QVERIFY(lines.contains(QStringLiteral("Type=Application")));
    QVERIFY(lines.contains(QStringLiteral("Name[zh_CN]=词库工具")));
    QVERIFY(lines.contains("Exec=\"" + prefix + "/toolbox\""));
    const QString icon = prefix + "/share/icons/hicolor/scalable/apps/quillo-toolbox.svg";
    QVERIFY(lines.contains("Icon=" + icon));
    QVERIFY(QFileInfo(icon).isFile());
}

QTEST_MAIN(ToolboxLayoutTest)
#include "toolbox_layout_test.moc"
