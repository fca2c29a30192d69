#include <QtTest>
class ToolShellTest : public QObject { Q_OBJECT private slots: void placeholder() {} };
QTEST_MAIN(ToolShellTest)
#include "toolshell_test.moc"
