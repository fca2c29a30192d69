#include "freqtune/forms/form1.h"

#include "freqtune/forms/form2.h"
#include "freqtune/forms/form4.h"

#include "shared/lexcore/file_io.h"
#include "shared/lexcore/lex_error.h"
#include "shared/toolshell/program.h"
#include "shared/toolshell/readme_viewer.h"
#include "shared/toolshell/settings.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace lex::freqtune {
namespace {

const QString kApplication = QStringLiteral("freqtune");

SettingsSection settings() {
    return {kApplication, QStringLiteral("option")};
}

// A stored option as a 16-bit integer; the default when it is absent or not a number.
int storedInt(const SettingsSection &s, const QString &key, int defaultValue) {
    int value = defaultValue;
    if (!parseInt16(s.text(key, QString::number(defaultValue)).toStdString(), value))
        value = defaultValue;
    return value;
}

} // namespace

Form1::Form1(QWidget *parent) : ToolForm(parent) {
    setWindowTitle(QStringLiteral("Quillo词库调频 Ver1.07"));
    setMainForm(true);
    Command3 = named(new QPushButton(QStringLiteral("导入词库"), this), "Command3");
    Command4 = named(new QPushButton(QStringLiteral("导出词库"), this), "Command4");
    Command5 = named(new QPushButton(QStringLiteral("词频统计"), this), "Command5");
    Command8 = named(new QPushButton(QStringLiteral("统计中断 "), this), "Command8");
    Command2 = named(new QPushButton(QStringLiteral("选项设置"), this), "Command2");
    Command1 = named(new QPushButton(QStringLiteral("说明文档"), this), "Command1");
    Command7 = named(new QPushButton(QStringLiteral("退出程序"), this), "Command7");
    Label1 = named(new QLabel(QStringLiteral("正在处理，请稍候……"), this), "Label1");
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setVisible(false);
    Progress = named(new QProgressBar(this), "Progress");
    Progress->setRange(0, 1000);
    Progress->setVisible(false);
    m_pump.setProgressBar(Progress);
    Command8->setEnabled(false);

    auto *grid = new QGridLayout;
    QPushButton *order[] = {Command3, Command4, Command5, Command8, Command2, Command1, Command7};
    for (int i = 0; i < 7; ++i) {
        order[i]->setAutoDefault(false);
        order[i]->setMinimumHeight(32);
        grid->addWidget(order[i], i / 2, i % 2);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(Label1);
    layout->addWidget(Progress);
    resize(300, 200);

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    m_loaded = Form_Load();
}

Form1::~Form1() = default;

bool Form1::Form_Load() {
    try {
        m_files = ToolFiles::in(toolFolder());
        m_db.open(m_files.database, m_files.templateFile);
        const SettingsSection stored = settings();
        m_options.freqOnly = storedInt(stored, QStringLiteral("Check1"), 0) != 0;
        m_options.lengthRange = storedInt(stored, QStringLiteral("Check2"), 0) != 0;
        m_options.l1 = storedInt(stored, QStringLiteral("L1"), 2);
        m_options.l2 = storedInt(stored, QStringLiteral("L2"), 10);
        m_batchArticles = false;
        createArticleFolders(m_files);
    } catch (const std::exception &e) {
        showMessage(this, qs(failureText(e)), kApplication, MessageIcon::Warning);
        return false;
    }
    return true;
}

bool Form1::Form_Unload() {
    if (m_busy == BusyState::StopRequested) {
        // The run ends at its next row: the window closes once it has.
        m_closeAfterRun = true;
        return false;
    }
    if (!idle())
        return false;
    const SettingsSection stored = settings();
    stored.saveCheck(QStringLiteral("Check1"), m_options.freqOnly);
    stored.saveCheck(QStringLiteral("Check2"), m_options.lengthRange);
    stored.saveText(QStringLiteral("L1"), QString::number(m_options.l1));
    stored.saveText(QStringLiteral("L2"), QString::number(m_options.l2));
    m_db.close();
    return true;
}

FrequencyDatabase &Form1::openDatabase() {
    // A failed replacement may have left it closed; lexcli may have imported meanwhile.
    if (!m_db.isOpen() || m_db.replaced())
        m_db.open(m_files.database, m_files.templateFile);
    return m_db;
}

void Form1::setRunning(std::initializer_list<QPushButton *> off) {
    for (QPushButton *b : off)
        b->setEnabled(false);
    Label1->setVisible(true);
    Progress->setValue(0);
    Progress->setVisible(true);
}

void Form1::setIdleButtons() {
    for (QPushButton *b : {Command1, Command2, Command3, Command4, Command5, Command7})
        b->setEnabled(true);
    Command8->setEnabled(false);
    Label1->setVisible(false);
    Progress->setVisible(false);
    m_statsRunning = false;
}

void Form1::Command1_Click() {
    ReadmeViewer::showFor(this);
}

void Form1::Command2_Click() {
    Form2 options(m_options, m_batchArticles, this);
    runModal(options);
}

void Form1::Command3_Click() {
    if (!idle())
        return;
    const QString path = fileDialog(this, QStringLiteral("导入的词库文件为"), false, toolDir());
    if (!fileExists(toPath(path)))
        return;
    setRunning({Command2, Command3, Command4, Command5, Command7});
    runOperation(
        [this, path](int) {
            importLexicon(openDatabase(), toPath(path), m_files.templateFile, pump());
            return OperationReport::message(std::string(kDone), QStringLiteral("导入词库"));
        },
        [this] { setIdleButtons(); });
}

void Form1::Command4_Click() {
    if (!idle())
        return;
    const QString path = fileDialog(this, QStringLiteral("导出的词库文件为"), true, toolDir());
    if (path.isEmpty())
        return;
    setRunning({Command1, Command2, Command3, Command4, Command5, Command7});
    runOperation(
        [this, path](int) {
            const ExportResult r = exportLexicon(openDatabase(), toPath(path), m_options, pump());
            return OperationReport::message(std::string(r.empty ? kNoRows : kDone),
                                            QStringLiteral("导出词库"));
        },
        [this] { setIdleButtons(); });
}

void Form1::Command5_Click() {
    if (!idle())
        return;
    runOperation(
        [this](int) {
            FrequencyDatabase &db = openDatabase();
            if (!db.hasRows())
                return OperationReport::message(std::string(kNoRows), QStringLiteral("词频统计"));
            std::vector<std::filesystem::path> articles;
            if (m_batchArticles) {
                articles = listArticles(m_files.unread);
            } else {
                const QString path = fileDialog(this, QStringLiteral("统计词频的文章为"), false,
                                                fromPath(m_files.unread));
                if (!fileExists(toPath(path)))
                    return OperationReport{};
                articles.push_back(toPath(path));
            }
            setRunning({Command2, Command3, Command4, Command5, Command7});
            Command8->setEnabled(true);
            m_statsRunning = true;
            runStatistics(db, articles, m_files.read, pump());
            // No completion box: the results take its place, after a stop too.
            ShowFrequencies();
            return OperationReport{};
        },
        [this] { setIdleButtons(); });
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    }
}

void Form1::Command8_Click() {
    if (m_statsRunning && m_busy == BusyState::Busy)
        m_busy = BusyState::StopRequested;
}

void Form1::ShowFrequencies() {
    QStringList items;
    for (const FrequencyItem &item : listFrequencies(m_db))
        items.append(QString::fromStdU16String(itemText(item)));
    Form4 results(items, m_files.log, this);
    runModal(results);
}

} // namespace lex::freqtune
