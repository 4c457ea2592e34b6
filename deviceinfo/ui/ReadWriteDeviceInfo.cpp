#include "ReadWriteDeviceInfo.h"

#include "deviceinfo/core/DeviceInfoOps.h"
#include "deviceinfo/core/XlsExport.h"

#include "device/UnitOps.h"
#include "shell/AppContext.h"
#include "shell/Folders.h"
#include "shell/Log.h"
#include "shell/Settings.h"
#include "widgets/Fonts.h"

#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace tovrin::deviceinfo {

namespace {
constexpr int kCommunicateFailed = 14;
} // namespace

ReadWriteDeviceInfo::ReadWriteDeviceInfo(QWidget* parent, const UnitImage& master, const UnitImage& slave)
    : QDialog(parent)
    , m_masterImage(master)
    , m_slaveImage(slave)
    , m_thread(new DeviceInfoThread(this))
{
    // Each device information session has a log file of its own.
    shell::WriteLog("Tovrin log start!\n", true);
    shell::LogF("ChooseToolEnable = %d\n", shell::context().toolFlavour.load());

    setObjectName(QStringLiteral("ReadWriteDeviceInfo"));
    setWindowTitle(QStringLiteral("Device Information"));
    setFont(widgets::toQFont(shell::context().applicationFont()));

    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setMinimumHeight(m_statusLabel->fontMetrics().lineSpacing() * 3);
    m_statusLabel->setStyleSheet(QStringLiteral("QLabel { color:rgb(0,38,102); background:rgb(244,247,252); "
                                                "border:1px solid rgb(193,203,220); padding:4px; }"));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    const auto header = [this](const QString& text) {
        auto* l = new QLabel(text, this);
        l->setStyleSheet(QStringLiteral("font-weight:bold; color:rgb(0,38,102);"));
        return l;
    };
    grid->addWidget(header(QString()), 0, 0);
    grid->addWidget(header(QStringLiteral("Input:")), 0, 1);
    grid->addWidget(header(QStringLiteral("Master:")), 0, 2);
    grid->addWidget(header(QStringLiteral("Slave:")), 0, 3);
    auto* validator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Za-z_0-9]+")), this);
    const int editWidth = fontMetrics().horizontalAdvance(QStringLiteral("0x00000000WWWWWW"));
    for (int f = 0; f < kFieldCount; ++f) {
        const QString key = QLatin1String(fieldKeys()[static_cast<size_t>(f)]);
        grid->addWidget(new QLabel(key + QLatin1Char(':'), this), f + 1, 0);
        auto make = [&](const char* column, bool readOnly) {
            auto* e = new QLineEdit(this);
            e->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(column), key));
            e->setMinimumWidth(editWidth);
            e->setReadOnly(readOnly);
            if (readOnly)
                e->setStyleSheet(QStringLiteral("QLineEdit { background:rgb(238,241,246); color:rgb(40,40,40); }"));
            return e;
        };
        m_input[static_cast<size_t>(f)] = make("input", false);
        m_input[static_cast<size_t>(f)]->setValidator(validator);
        m_master[static_cast<size_t>(f)] = make("master", true);
        m_slave[static_cast<size_t>(f)] = make("slave", true);
        grid->addWidget(m_input[static_cast<size_t>(f)], f + 1, 1);
        grid->addWidget(m_master[static_cast<size_t>(f)], f + 1, 2);
        grid->addWidget(m_slave[static_cast<size_t>(f)], f + 1, 3);
    }

    m_readButton = new QPushButton(QStringLiteral("Read"), this);
    m_readButton->setObjectName(QStringLiteral("readButton"));
    m_writeButton = new QPushButton(QStringLiteral("Write"), this);
    m_writeButton->setObjectName(QStringLiteral("writeButton"));
    for (QPushButton* b : {m_readButton, m_writeButton}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(b->sizeHint().width() * 3 / 2);
    }
    connect(m_readButton, &QPushButton::clicked, this, &ReadWriteDeviceInfo::ReadSlot);
    connect(m_writeButton, &QPushButton::clicked, this, &ReadWriteDeviceInfo::WriteSlot);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_readButton);
    buttons->addWidget(m_writeButton);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_statusLabel);
    layout->addLayout(grid);
    layout->addWidget(line);
    layout->addLayout(buttons);

    const QStringList typed = loadIniTexts(shell::kDeviceInfoFile);
    for (int f = 0; f < kFieldCount; ++f)
        m_input[static_cast<size_t>(f)]->setText(typed.value(f));

    connect(m_thread, &DeviceInfoThread::sendResult, this, &ReadWriteDeviceInfo::onResult, Qt::QueuedConnection);
}

// A job under way keeps the dialog open: by the time it goes, its worker
// has ended.
ReadWriteDeviceInfo::~ReadWriteDeviceInfo() { m_thread->wait(); }

void ReadWriteDeviceInfo::done(int result)
{
    if (!isBusy())
        QDialog::done(result);
}

void ReadWriteDeviceInfo::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

QString ReadWriteDeviceInfo::statusText() const { return m_statusLabel->text(); }

bool ReadWriteDeviceInfo::isBusy() const { return !m_thread->hasEnded() || !m_readButton->isEnabled(); }

void ReadWriteDeviceInfo::showStatus(const QString& text)
{
    QString t = text;
    while (t.endsWith(QLatin1Char('\n')))
        t.chop(1);
    m_statusLabel->setText(t);
}

void ReadWriteDeviceInfo::setBusy(bool busy)
{
    m_readButton->setEnabled(!busy);
    m_writeButton->setEnabled(!busy);
}

void ReadWriteDeviceInfo::ReadSlot()
{
    if (isBusy())
        return;
    if (device::g_bDevExist.load() == 0) {
        showStatus(shell::context().text(kCommunicateFailed));
        return;
    }
    setBusy(true);
    m_thread->setRead();
    m_thread->startWork();
}

void ReadWriteDeviceInfo::WriteSlot()
{
    if (isBusy())
        return;
    if (device::g_bDevExist.load() == 0) {
        showStatus(shell::context().text(kCommunicateFailed));
        return;
    }
    QStringList typed;
    for (QLineEdit* e : m_input)
        typed << e->text();
    // The whole input is checked before anything is erased.
    const ParsedInput parsed = parseInput(typed);
    if (!parsed.info) {
        showStatus(parsed.problem + QStringLiteral("\nNothing was written."));
        return;
    }
    setBusy(true);
    m_thread->setWrite(*parsed.info, typed, m_masterImage, m_slaveImage, shell::kDeviceInfoFile,
                       QDir(shell::dataPath()).absoluteFilePath(kWorkbookFileName));
    m_thread->startWork();
}

void ReadWriteDeviceInfo::fillColumn(std::array<QLineEdit*, kFieldCount>& column, const std::optional<DeviceInfo>& info)
{
    if (!info)
        return;  // a unit without a valid record keeps what its column showed
    const QStringList texts = displayTexts(*info);
    for (int f = 0; f < kFieldCount; ++f)
        column[static_cast<size_t>(f)]->setText(texts.at(f));
}

void ReadWriteDeviceInfo::onResult(const DeviceInfoJobResult& result)
{
    m_thread->wait();  // it has sent its result and is ending
    if (!result.isWrite || result.write.ok) {
        fillColumn(m_master, result.read.master.info);
        fillColumn(m_slave, result.read.slave.info);
    }
    showStatus(result.status);
    setBusy(false);
    Q_EMIT jobFinished();
}

} // namespace tovrin::deviceinfo
