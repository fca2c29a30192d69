// The launcher window driven offscreen over a temporary install layout whose tool programs are
// small shell scripts that log their argument count, current directory and own path.
#include "toolbox/tool_table.h"
#include "toolbox/toolbox_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <memory>

using toolbox::ToolboxDialog;

namespace {

const QString kMissingText = QStringLiteral("你需要运行的程序并不存在");
const QString kMissingTitle = QStringLiteral("致命错误！");

// Button, folder and program each row must start, written out independently of the table.
struct Expected {
    const char *button;
    QString caption;
    QString folder;
    QString program;
};
const QList<Expected> kExpected = {
    {"Command1005", "bigseg", "bigseg", "bigseg"},
    {"Command1011", "调频", "Quillo词库调频", "freqtune"},
    {"Command1008", "词库筛选", "lexsift", "lexsift"},
    {"Command1006", "词库固顶", "pintop", "pintop"},
    {"Command1010", "词库注音", "phonetag", "phonetag"},
    {"Command1012", "词库更新", "Quillo词库更新", "lexupdate"},
    {"Command1009", "词库整理", "lexmerge", "lexmerge"},
    {"Command1007", "词库排序", "lexsort", "lexsort"},
    {"Command1013", "词库转换", "lexconv", "lexconv"},
    {"Command1015", "词库检查", "lexcheck", "lexcheck"},
};

void writeFile(const QString &path, const QByteArray &bytes, bool executable) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(bytes);
    file.close();
    auto permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        permissions |= QFile::ExeOwner;
    file.setPermissions(permissions);
}

QStringList readLines(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class ToolboxTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowFollowsTheDesignedLayout();
    void eachButtonStartsItsProgramInTheCurrentDirectory();
    void clickingTwiceStartsTwoInstances();
    void pathEndingInABlankIsTriedAsItStandsFirst();
    void unstartableProgramShowsTheErrorBox_data();
    void unstartableProgramShowsTheErrorBox();
    void longInstallPathStillStartsTheTool();
    void overlongInstallPathIsRefusedWithTheErrorBox();
    void exitButtonEndsTheLauncher();
    void closeBoxEndsTheLauncher();

private:
    // A stand-in program that appends "<argc>|<current dir>|<$0>" to <logs>/<name>.log.
    void installStandIn(const QString &programPath, const QString &name);
    QString logOf(const QString &name) const { return m_logs + u'/' + name + ".log"; }
    std::unique_ptr<ToolboxDialog> makeLauncher(const QString &folder);
    // Runs the application's event loop as main() does; 1 when it has not ended within 10 s.
    static int runEventLoop();

    std::unique_ptr<QTemporaryDir> m_temp;
    QString m_suite; // the launcher folder
    QString m_work;  // the launcher's current directory
    QString m_logs;
    QString m_savedCurrent;
    QStringList m_boxes; // "title|text" of every error box
};

void ToolboxTest::init() {
    m_temp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_temp->isValid());
    const QString root = QFileInfo(m_temp->path()).canonicalFilePath();
    m_suite = root + "/suite/";
    m_work = root + "/work";
    m_logs = root + "/logs";
    QVERIFY(QDir().mkpath(m_suite) && QDir().mkpath(m_work) && QDir().mkpath(m_logs));
    m_savedCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_work));
    m_boxes.clear();
}

void ToolboxTest::cleanup() {
    QDir::setCurrent(m_savedCurrent);
    m_temp.reset();
}

void ToolboxTest::installStandIn(const QString &programPath, const QString &name) {
    const QString script = QStringLiteral("#!/bin/sh\nprintf '%s|%s|%s\\n' \"$#\" \"$(pwd -P)\" "
                                          "\"$0\" >> '%1'\n")
                               .arg(logOf(name));
    writeFile(programPath, script.toUtf8(), true);
}

std::unique_ptr<ToolboxDialog> ToolboxTest::makeLauncher(const QString &folder) {
    auto launcher = std::make_unique<ToolboxDialog>(folder);
    launcher->setErrorBox(
        [this](const QString &text, const QString &title) { m_boxes << title + u'|' + text; });
    return launcher;
}

int ToolboxTest::runEventLoop() {
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    guard.start(120'000); // bounds a hang, however busy the machine
    return QApplication::exec();
}

void ToolboxTest::windowFollowsTheDesignedLayout() {
    auto launcher = makeLauncher(m_suite);
    launcher->show();
    QVERIFY(QTest::qWaitForWindowExposed(launcher.get(), 60000));
    QCOMPARE(launcher->windowTitle(), QStringLiteral("词库工具"));
    QCOMPARE(launcher->pos(), QPoint(100, 100));
    QCOMPARE(launcher->Label1->text(), QStringLiteral("词库工具"));
    QVERIFY(launcher->Label1->alignment() & Qt::AlignHCenter);
    const int labelCentre = launcher->Label1->geometry().center().x();
    QVERIFY(qAbs(labelCentre - launcher->width() / 2) <= launcher->width() / 50);

    QList<QPushButton *> buttons;
    for (const Expected &row : kExpected) {
        auto *button = launcher->findChild<QPushButton *>(row.button);
        QVERIFY2(button, row.button);
        QCOMPARE(button->text(), row.caption);
        buttons << button;
    }
    // Two columns of four, evenly spaced rows, one size for every button.
    for (int i = 0; i < 8; ++i) {
        const QRect r = buttons[i]->geometry();
        QCOMPARE(r.size(), buttons[0]->size());
        QCOMPARE(r.x(), buttons[i < 4 ? 0 : 4]->x());
        QCOMPARE(r.y(), buttons[i % 4]->y());
        QVERIFY(launcher->rect().contains(r));
    }
    QVERIFY(buttons[4]->x() > buttons[0]->geometry().right());
    QVERIFY(buttons[0]->y() > launcher->Label1->geometry().bottom());
    const int step = buttons[1]->y() - buttons[0]->y();
    QVERIFY(step > buttons[0]->height());
    QCOMPARE(buttons[3]->y() - buttons[2]->y(), step);

    // The converter and the checker in a fifth row under the columns, "退出" centred below.
    QPushButton *convert = buttons[8], *check = buttons[9];
    QCOMPARE(convert->size(), buttons[0]->size());
    QCOMPARE(check->size(), buttons[0]->size());
    QVERIFY(convert->y() > buttons[3]->geometry().bottom());
    QCOMPARE(check->y(), convert->y());
    QCOMPARE(convert->x(), buttons[0]->x());
    QCOMPARE(check->x(), buttons[4]->x());
    QPushButton *exit = launcher->findChild<QPushButton *>("Command1014");
    QVERIFY(exit);
    QCOMPARE(exit->text(), QStringLiteral("退出"));
    QCOMPARE(exit->size(), buttons[0]->size());
    QVERIFY(exit->y() > convert->geometry().bottom());
    QVERIFY(qAbs(exit->geometry().center().x() - launcher->width() / 2) <= launcher->width() / 20);
    QVERIFY(exit->x() > buttons[0]->x() && exit->x() < buttons[4]->x());
    QVERIFY(launcher->rect().contains(exit->geometry()));
    // Captions fit their buttons in the chosen font.
    for (QPushButton *button : buttons)
        QVERIFY(button->fontMetrics().horizontalAdvance(button->text()) < button->width());
}

void ToolboxTest::eachButtonStartsItsProgramInTheCurrentDirectory() {
    for (const Expected &row : kExpected)
        installStandIn(m_suite + row.folder + u'/' + row.program, row.program);
    auto launcher = makeLauncher(m_suite);
    launcher->show();
    for (const Expected &row : kExpected) {
        QTest::mouseClick(launcher->findChild<QPushButton *>(row.button), Qt::LeftButton);
        // Starting does not wait: the log appears after the click has returned.
        QTRY_COMPARE_WITH_TIMEOUT(readLines(logOf(row.program)).size(), 1, 60000);
        const QStringList fields = readLines(logOf(row.program)).first().split(u'|');
        QCOMPARE(fields.value(0), QStringLiteral("0"));
        QCOMPARE(fields.value(1), m_work);
        QCOMPARE(fields.value(2), m_suite + row.folder + u'/' + row.program);
    }
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u'\n')));
    QVERIFY(launcher->isVisible());
}

void ToolboxTest::clickingTwiceStartsTwoInstances() {
    installStandIn(m_suite + "lexmerge/lexmerge", "lexmerge");
    auto launcher = makeLauncher(m_suite);
    launcher->show();
    QTest::mouseClick(launcher->Command1009, Qt::LeftButton);
    QTest::mouseClick(launcher->Command1009, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(readLines(logOf("lexmerge")).size(), 2, 60000);
    QVERIFY(m_boxes.isEmpty());
}

void ToolboxTest::pathEndingInABlankIsTriedAsItStandsFirst() {
    const QString withBlank = m_suite + "Quillo词库更新/lexupdate ";
    const QString withoutBlank = m_suite + "Quillo词库更新/lexupdate";
    installStandIn(withoutBlank, "lexupdate");
    QCOMPARE(toolbox::resolveProgram(m_suite, QStringLiteral("Quillo词库更新/lexupdate ")),
             withoutBlank);
    installStandIn(withBlank, "lexupdate");
    QCOMPARE(toolbox::resolveProgram(m_suite, QStringLiteral("Quillo词库更新/lexupdate ")),
             withBlank);
    // Only blanks are dropped: a path is never shortened into another program's name.
    installStandIn(m_suite + "pintop/pintop", "pintop");
    QVERIFY(toolbox::resolveProgram(m_suite, QStringLiteral("pintop/pinto")).isEmpty());
}

void ToolboxTest::unstartableProgramShowsTheErrorBox_data() {
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("executable");
    QTest::addColumn<bool>("isFolder");
    QTest::newRow("missing") << QByteArray() << false << false;
    QTest::newRow("not executable") << QByteArray("#!/bin/sh\nexit 0\n") << false << false;
    QTest::newRow("a folder") << QByteArray() << true << true;
    QTest::newRow("not a program")
        << QByteArray("plain text, no interpreter line\n") << true << false;
}

void ToolboxTest::unstartableProgramShowsTheErrorBox() {
    QFETCH(QByteArray, contents);
    QFETCH(bool, executable);
    QFETCH(bool, isFolder);
    const QString program = m_suite + "lexsort/lexsort";
    if (isFolder)
        QVERIFY(QDir().mkpath(program));
    else if (!contents.isEmpty())
        writeFile(program, contents, executable);
    installStandIn(m_suite + "pintop/pintop", "pintop");

    auto launcher = makeLauncher(m_suite);
    launcher->show();
    QTest::mouseClick(launcher->Command1007, Qt::LeftButton);
    QCOMPARE(m_boxes, QStringList{kMissingTitle + u'|' + kMissingText});
    // The launcher stays usable.
    QVERIFY(launcher->isVisible());
    QTest::mouseClick(launcher->Command1006, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(readLines(logOf("pintop")).size(), 1, 60000);
    QCOMPARE(m_boxes.size(), 1);
}

void ToolboxTest::longInstallPathStillStartsTheTool() {
    // Far beyond the 260 bytes a fixed path buffer would hold, within what the system allows.
    QString folder = m_suite;
    for (int i = 0; i < 6; ++i)
        folder += QString(200, QChar(u'a' + i)) + u'/';
    QVERIFY(folder.toUtf8().size() > 1200);
    installStandIn(folder + "pintop/pintop", "pintop");
    auto launcher = makeLauncher(folder);
    launcher->show();
    QTest::mouseClick(launcher->Command1006, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(readLines(logOf("pintop")).size(), 1, 60000);
    QCOMPARE(readLines(logOf("pintop")).first().section(u'|', 2), folder + "pintop/pintop");
    QVERIFY(m_boxes.isEmpty());
}

void ToolboxTest::overlongInstallPathIsRefusedWithTheErrorBox() {
    // Longer than any path the system accepts: refused, and nothing is written past an end.
    QString folder = u'/' + QString(250, u'x');
    while (folder.size() < 9000)
        folder += u'/' + QString(250, u'词');
    auto launcher = makeLauncher(folder + u'/');
    launcher->show();
    for (const Expected &row : kExpected)
        QTest::mouseClick(launcher->findChild<QPushButton *>(row.button), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), kExpected.size());
    QVERIFY(launcher->isVisible());
}

void ToolboxTest::exitButtonEndsTheLauncher() {
    // "退出" must end the event loop with code 0.
    auto launcher = makeLauncher(m_suite);
    launcher->show();
    QTimer::singleShot(0, launcher.get(),
                       [&] { QTest::mouseClick(launcher->Command1014, Qt::LeftButton); });
    QCOMPARE(runEventLoop(), 0);
    QVERIFY(!launcher->isVisible());
}

void ToolboxTest::closeBoxEndsTheLauncher() {
    auto launcher = makeLauncher(m_suite);
    launcher->show();
    QVERIFY(QTest::qWaitForWindowExposed(launcher.get(), 60000));
    QTimer::singleShot(0, launcher.get(), [&] { launcher->windowHandle()->close(); });
    QCOMPARE(runEventLoop(), 0);
    QVERIFY(!launcher->isVisible());
}

QTEST_MAIN(ToolboxTest)
#include "toolbox_test.moc"
