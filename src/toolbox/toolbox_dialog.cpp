#include "toolbox/toolbox_dialog.h"

#include "toolbox/tool_table.h"

#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>

namespace toolbox {

namespace {

int mulDiv(int value, int numerator, int denominator) {
    return (value * numerator + denominator / 2) / denominator;
}

void showErrorBox(const QString &text, const QString &title) {
    // No owner and the answer is ignored: the launcher stays as it was.
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No);
    box.exec();
}

} // namespace

QRect DialogUnits::toPixels(int x, int y, int width, int height) const {
    return QRect(mulDiv(x, baseX, 4), mulDiv(y, baseY, 8), mulDiv(width, baseX, 4),
                 mulDiv(height, baseY, 8));
}

DialogUnits dialogUnits(const QFont &font) {
    // The average width of the 52 Latin letters, rounded, as dialog templates measure it.
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(alphabet);
    return DialogUnits{(letters + 26) / 52, metrics.height()};
}

QFont launcherFont() {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSize(9);
    return font;
}

ToolboxDialog::ToolboxDialog(const QString &folder, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_folder(folder), m_errorBox(showErrorBox) {
    setWindowTitle(QStringLiteral("词库工具"));
    setFont(launcherFont());
    const DialogUnits du = dialogUnits(font());

    Label1 = new QLabel(QStringLiteral("词库工具"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setGeometry(du.toPixels(66, 9, 77, 12));

    QPushButton **buttons[] = {&Command1005, &Command1011, &Command1008, &Command1006,
                               &Command1010, &Command1012, &Command1009, &Command1007,
                               &Command1013, &Command1015};
    for (std::size_t i = 0; i < kToolTable.size(); ++i) {
        const ToolRow &row = kToolTable[i];
        auto *button = new QPushButton(QString::fromUtf16(row.caption), this);
        button->setObjectName(QStringLiteral("Command%1").arg(row.command));
        const int column = static_cast<int>(i) / 4;
        const int line = static_cast<int>(i) % 4;
        if (column < 2)
            button->setGeometry(du.toPixels(column == 0 ? 39 : 110, 30 + 30 * line, 50, 20));
        else // the ninth and the tenth, a fifth row under the two columns
            button->setGeometry(du.toPixels(i == 8 ? 39 : 110, 157, 50, 20));
        const QString path = QString::fromUtf16(row.path);
        connect(button, &QPushButton::clicked, this, [this, path] { LaunchTool(path); });
        *buttons[i] = button;
    }

    Command1014 = new QPushButton(QStringLiteral("退出"), this);
    Command1014->setObjectName(QStringLiteral("Command%1").arg(kExitCommand));
    Command1014->setGeometry(du.toPixels(73, 187, 50, 20));
    connect(Command1014, &QPushButton::clicked, this, &QWidget::close);

    // The designed client area is kept whole; only the frame is added around it.
    setFixedSize(du.toPixels(0, 0, 212, 235).size());
    move(100, 100);
}

void ToolboxDialog::setErrorBox(ErrorBox errorBox) {
    m_errorBox = errorBox ? std::move(errorBox) : ErrorBox(showErrorBox);
}

void ToolboxDialog::LaunchTool(const QString &relativePath) {
    // Every click starts a new process; nothing about it is kept.
    const QString program = resolveProgram(m_folder, relativePath);
    if (program.isEmpty() || !QProcess::startDetached(program, {}, QDir::currentPath()))
        m_errorBox(QStringLiteral("你需要运行的程序并不存在"), QStringLiteral("致命错误！"));
}

} // namespace toolbox
