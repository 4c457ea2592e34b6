#include "TovrinTest.h"

#include "production/core/FlashCompare.h"
#include "production/core/RWFlashTestThread.h"

#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "shell/AppContext.h"
#include "shell/Language.h"
#include "shell/Log.h"
#include "widgets/Fonts.h"
#include "widgets/WindowKit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tovrin::production {

using device::GetDeviceConfigThreadTest;
using shell::context;

namespace {
namespace msg {
constexpr int Checking = 0;
constexpr int CommunicateFailed = 14;
constexpr int CheckCompleted = 15;
constexpr int NotReady = 16;
constexpr int NotDetected = 17;
constexpr int FirmwareMismatch = 137;
} // namespace msg

// Codes of the flash test worker (RWFlashTestThread.h), and the two the
// window sends itself.
namespace code {
using namespace testcode;
constexpr int Testing = 8;
constexpr int Idle = 9;
} // namespace code

QString testingText(int cycle) { return QStringLiteral("%1_测试中......").arg(cycle); }

QString addressText(uint32_t address) { return QStringLiteral("%1").arg(address, 8, 16, QLatin1Char('0')); }
} // namespace

TovrinTest::TovrinTest(QWidget* parent)
    : QDialog(parent)
{
    widgets::startLog();
    shell::CheckLanguage();

    setObjectName(QStringLiteral("TovrinTest"));
    setWindowTitle(QStringLiteral("TovrinTest"));
    setWindowIcon(QIcon(context().skinPath() + QStringLiteral("Tovrin.png")));
    setFont(widgets::toQFont(context().applicationFont()));

    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setFrameShape(QFrame::StyledPanel);
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setMinimumHeight(m_statusLabel->fontMetrics().lineSpacing() * 3);
    setAlarm(false);

    m_flashTestBox = new QCheckBox(QStringLiteral("读/写Flash测试"), this);
    m_flashTestBox->setObjectName(QStringLiteral("flashTestBox"));
    m_compareAllRadio = new QRadioButton(QStringLiteral("比较全部Flash"), this);
    m_compareAllRadio->setObjectName(QStringLiteral("compareAllRadio"));
    m_ignorePartRadio = new QRadioButton(QStringLiteral("忽略部分Flash"), this);
    m_ignorePartRadio->setObjectName(QStringLiteral("ignorePartRadio"));
    auto* compareGroup = new QButtonGroup(this);
    compareGroup->addButton(m_compareAllRadio);
    compareGroup->addButton(m_ignorePartRadio);
    m_exposureBox = new QCheckBox(QStringLiteral("曝光模块"), this);
    m_exposureBox->setObjectName(QStringLiteral("exposureBox"));
    m_columnBox = new QCheckBox(QStringLiteral("起止列模块"), this);
    m_columnBox->setObjectName(QStringLiteral("columnBox"));
    m_lineJoinBox = new QCheckBox(QStringLiteral("拼行模块"), this);
    m_lineJoinBox->setObjectName(QStringLiteral("lineJoinBox"));

    m_startButton = new QPushButton(QStringLiteral("开始测试"), this);
    m_startButton->setObjectName(QStringLiteral("startButton"));
    m_stopButton = new QPushButton(QStringLiteral("停止测试"), this);
    m_stopButton->setObjectName(QStringLiteral("stopButton"));
    for (QPushButton* b : {m_startButton, m_stopButton}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(b->sizeHint().width() * 3 / 2);
    }
    connect(m_startButton, &QPushButton::clicked, this, &TovrinTest::StartTestSlot);
    connect(m_stopButton, &QPushButton::clicked, this, &TovrinTest::CloseTestSlot);

    // The compare options belong to the flash test, the module boxes to the
    // "ignore part" comparison: each level is indented under its owner.
    const int indent = fontMetrics().horizontalAdvance(QStringLiteral("MMM"));
    auto* compareRow = new QHBoxLayout;
    compareRow->addSpacing(indent);
    compareRow->addWidget(m_compareAllRadio);
    compareRow->addSpacing(indent);
    compareRow->addWidget(m_ignorePartRadio);
    compareRow->addStretch(1);
    auto* moduleRow = new QHBoxLayout;
    moduleRow->addSpacing(indent * 2);
    moduleRow->addWidget(m_exposureBox);
    moduleRow->addSpacing(indent / 2);
    moduleRow->addWidget(m_columnBox);
    moduleRow->addSpacing(indent / 2);
    moduleRow->addWidget(m_lineJoinBox);
    moduleRow->addStretch(1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_startButton);
    buttonRow->addWidget(m_stopButton);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    const int margin = indent / 2;
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(margin / 2 + 4);
    layout->addWidget(m_statusLabel);
    layout->addWidget(m_flashTestBox);
    layout->addLayout(compareRow);
    layout->addLayout(moduleRow);
    layout->addStretch(1);
    layout->addWidget(line);
    layout->addLayout(buttonRow);
    m_compareAllRadio->setChecked(true);
    resize(sizeHint().width() * 5 / 4, sizeHint().height());

    // Nothing can be started before the frame has been checked.
    setOptionsEnabled(true);
    setStartStopEnabled(false, false);
    showMessage(msg::Checking);

    m_test = new RWFlashTestThread(this);
    connect(m_test, &RWFlashTestThread::sendShowData, this, &TovrinTest::recvShowData, Qt::QueuedConnection);

    m_detection.start(new GetDeviceConfigThreadTest(this), this, &TovrinTest::recvShowData);
}

QString TovrinTest::statusText() const { return m_statusLabel->text(); }

bool TovrinTest::isConnected() const { return m_connected && device::g_bDevExist.load() != 0; }

void TovrinTest::setAlarm(bool alarm)
{
    // A failed test must not look like a running one from across the line.
    m_statusLabel->setStyleSheet(alarm ? QStringLiteral("QLabel { color:rgb(176,0,0); background:rgb(253,236,236); padding:6px; }")
                                       : QStringLiteral("QLabel { color:rgb(0,38,102); background:rgb(244,247,252); padding:6px; }"));
    QFont font = m_statusLabel->font();
    font.setBold(alarm);
    m_statusLabel->setFont(font);
}

void TovrinTest::showMessage(int messageId)
{
    setAlarm(false);
    m_outcomeShown = false;
    m_statusId = messageId;
    m_statusLabel->setText(context().text(messageId));
    Q_EMIT statusShown(m_statusLabel->text());
}

void TovrinTest::showText(const QString& text, bool alarm)
{
    setAlarm(alarm);
    m_outcomeShown = alarm;
    m_statusId = -1;
    m_statusLabel->setText(text);
    Q_EMIT statusShown(text);
}

void TovrinTest::setOptionsEnabled(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_flashTestBox, m_compareAllRadio, m_ignorePartRadio,
                                                      m_exposureBox, m_columnBox, m_lineJoinBox})
        w->setEnabled(enabled);
}

void TovrinTest::setStartStopEnabled(bool start, bool stop)
{
    m_startButton->setEnabled(start);
    m_stopButton->setEnabled(stop);
}

void TovrinTest::setTestingControls()
{
    setStartStopEnabled(false, true);
    setOptionsEnabled(false);
}

void TovrinTest::setIdleControls()
{
    setStartStopEnabled(true, false);
    setOptionsEnabled(true);
}

void TovrinTest::recvShowData(int value)
{
    if (m_detection.isClosed())
        return;
    switch (value) {
    case code::Ended:
        // Detection looks for the frame again once the test thread is gone.
        m_test->wait();
        setStartStopEnabled(false, false);
        m_detection.restart();
        break;
    case code::ModeSwitchFailed:
        showText(QStringLiteral("模式转换失败！"), true);
        break;
    case code::TestFailed:
        showText(QStringLiteral("测试失败！"), true);
        break;
    case code::CycleStarted:
        m_cycle = m_test->cycle();
        setTestingControls();
        showText(testingText(m_cycle));
        break;
    case code::MasterDiffers:
        setIdleControls();
        showText(QStringLiteral("Master Flash存在不同。地址：0x%1").arg(addressText(m_test->differenceAddress())), true);
        break;
    case code::SlaveDiffers:
        setIdleControls();
        showText(QStringLiteral("Slave Flash存在不同。地址：0x%1").arg(addressText(m_test->differenceAddress())), true);
        break;
    case code::FlashReadError:
        showText(QStringLiteral("读Flash出错"), true);
        break;
    case device::detection::kAppeared:
        showMessage(msg::Checking);
        break;
    case code::Testing:
        setTestingControls();
        break;
    case code::Idle:
        setIdleControls();
        break;
    case device::detection::kApplicationOpened: {
        const int result = device::g_getStatusError.load();
        m_connected = result != device::kStatusNoLink;
        switch (result) {
        case device::kStatusNoLink:
            setStartStopEnabled(false, false);
            showMessage(msg::CommunicateFailed);
            break;
        case device::kStatusFirmwareNotReady:
            showMessage(msg::NotReady);
            break;
        case device::kStatusTimedOut:
            showMessage(msg::FirmwareMismatch);
            break;
        default:
            // Any other result marks both error words as a failed switch
            // does; the flash test stays possible.
            device::markSwitchFailure();
            [[fallthrough]];
        case device::kStatusReady:
        case device::kStatusHardwareFault:
        case device::kStatusNotCalibrated:
            setIdleControls();
            // The outcome of a test that ended stays in view until the next
            // start: an operator coming back must see the failure.
            if (!m_outcomeShown)
                showMessage(msg::CheckCompleted);
            break;
        }
        break;
    }
    case device::detection::kBootLoaderOpened:
        m_connected = false;
        setStartStopEnabled(false, false);
        showMessage(msg::NotReady);
        break;
    case device::detection::kNoFrame:
        m_connected = false;
        device::g_bDevExist = 0;
        setStartStopEnabled(false, false);
        showMessage(msg::NotDetected);
        break;
    default:
        break;
    }
}

void TovrinTest::readOptions()
{
    m_options.selected = m_flashTestBox->isChecked();
    if (m_compareAllRadio->isChecked())
        m_options.compareMode = CompareMode::All;
    else if (m_ignorePartRadio->isChecked())
        m_options.compareMode = CompareMode::IgnoreListed;
    // Rebuilt each time, so that starting again never lengthens it.
    m_options.ignore = ignoreListFor(m_exposureBox->isChecked(), m_columnBox->isChecked(), m_lineJoinBox->isChecked());
}

void TovrinTest::StartTestSlot()
{
    readOptions();
    if (!m_options.selected)
        return;
    setTestingControls();
    m_cycle = 0;
    showText(testingText(m_cycle));
    m_test->requestStop();
    m_test->wait();
    m_test->setOptions(m_options);
    m_test->startWork();
}

void TovrinTest::CloseTestSlot()
{
    if (!m_options.selected)
        return;
    setIdleControls();
    showText(QStringLiteral("测试完毕"));
    m_test->requestStop();
    m_test->wait();
}

void TovrinTest::keyPressEvent(QKeyEvent* event)
{
    // Escape closes through the close handling (QDialog would only hide).
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TovrinTest::closeEvent(QCloseEvent* event)
{
    if (!m_detection.isClosed()) {
        // Stopped whatever the frame's state: a running thread would open the
        // frame again behind the closed link.
        m_detection.close();
        m_test->requestStop();
        m_test->wait();
        device::CloseHidDevice();
        widgets::endLog();
    }
    QDialog::closeEvent(event);
}

} // namespace tovrin::production
