#pragma once
// The launcher window: one button per tool and "退出".
//
// Controls (objectName = member name = name used by the tests):
//   Label1       static text "词库工具"
//   Command1005  "bigseg"      Command1010  "词库注音"
//   Command1011  "调频"        Command1012  "词库更新"
//   Command1008  "词库筛选"    Command1009  "词库整理"
//   Command1006  "词库固顶"    Command1007  "词库排序"
//   Command1013  "词库转换"    Command1015  "词库检查"
//           Command1014  "退出"

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace toolbox {

// Dialog units of a font: x * avgCharWidth / 4 and y * charHeight / 8, rounded.
struct DialogUnits {
    int baseX;
    int baseY;
    QRect toPixels(int x, int y, int width, int height) const;
};
DialogUnits dialogUnits(const QFont &font);

// 宋体 9 point where it is installed, otherwise a Chinese font of the system.
QFont launcherFont();

class ToolboxDialog : public QWidget {
    Q_OBJECT
public:
    // `folder` is the launcher folder (see launcherFolder()).
    explicit ToolboxDialog(const QString &folder, QWidget *parent = nullptr);

    // Shows the error box; tests install a recorder instead of the blocking message box.
    using ErrorBox = std::function<void(const QString &text, const QString &title)>;
    void setErrorBox(ErrorBox errorBox);

    // Starts folder + relativePath with no arguments in the current directory, not waited
    // for; a missing or unstartable program gets the error box.
    void LaunchTool(const QString &relativePath);

    QLabel *Label1;
    QPushButton *Command1005;
    QPushButton *Command1011;
    QPushButton *Command1008;
    QPushButton *Command1006;
    QPushButton *Command1010;
    QPushButton *Command1012;
    QPushButton *Command1009;
    QPushButton *Command1007;
    QPushButton *Command1013;
    QPushButton *Command1015;
    QPushButton *Command1014;

private:
    QString m_folder;
    ErrorBox m_errorBox;
};

} // namespace toolbox
