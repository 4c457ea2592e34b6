// AdjustScreenWin: construction, layout, keyboard and mouse, Save&Exit,
// Forgo&Exit and the countdown. Codes: AdjustScreenCodes.cpp; frames and
// plots: AdjustScreenPaint.cpp; the image-debug panel: AdjustScreenDebug.cpp.
#include "AdjustScreenWin.h"

#include "ImageDebugPanel.h"
#include "widgets/WindowKit.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "leveling/core/CImagePreviewThread.h"
#include "leveling/core/ExposureThread.h"
#include "leveling/core/LevelingAcceptance.h"
#include "leveling/core/LevelingCodes.h"
#include "leveling/core/LevelingSave.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/LevelingTexts.h"
#include "leveling/core/OpeningSteps.h"
#include "shell/AppContext.h"
#include "widgets/Button.h"
#include "widgets/Fonts.h"
#include "widgets/MyMessageBox.h"
#include "widgets/MySlider.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace tovrin::leveling {

namespace {

const QString kGreyStyle = QStringLiteral("color:rgb(40,40,40)");
const QString kRedStyle = QStringLiteral("color:red;");

QString text(int id) { return shell::context().text(id); }

} // namespace

void AdjustScreenWin::setPauseScale(double scale) { widgets::setPauseScale(scale); }

AdjustScreenWin::AdjustScreenWin(QWidget* parent, std::optional<bool> storedLevelingUsable)
    : QDialog(parent)
    , m_frames(g_FrameReady)
{
    installEventFilter(this);
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &AdjustScreenWin::TimerOutSlot);
    setObjectName(QStringLiteral("AdjustScreenWin"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    setWindowState(windowState() | Qt::WindowFullScreen);

    m_config = readLevelingConfig(device::ExtendedFrameDevice.load() == 1);
    buildWidgets();

    // The settings of this window's run.
    g_CompressEnable = m_config.compress ? 1 : 0;
    g_PreviewOnly = m_config.previewOnly ? 1 : 0;
    g_ExposureLimit = m_config.exposureLimit;
    g_WindowClosing = 0;
    g_AutoSaveArmed = 1;
    g_FirstRun = 1;
    g_ExposureDone = 0;
    g_ExposureMarkM = 0;
    g_ExposureMarkS = 0;
    g_OnlyLastLine = 0;
    g_SensorTestPending = 0;
    for (int code = kFirstDebugRequest; code < kFirstDebugRequest + kDebugRequestCount; ++code)
        debugRequest(code) = 0;

    openFramesAndRecords(storedLevelingUsable);
    startWorkers();
}

AdjustScreenWin::~AdjustScreenWin()
{
    // The workers write into the frame buffers: they end before the buffers go.
    stopWorkers();
    m_frames.close();
}

void AdjustScreenWin::buildWidgets()
{
    const QFont labelFont = widgets::toQFont(shell::context().applicationFont());
    auto makeLabel = [&](const QString& t, const char* name) {
        auto* l = new QLabel(t, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(labelFont);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setStyleSheet(kGreyStyle);
        return l;
    };
    m_hint = makeLabel(text(47), "hintLabel");
    m_hint->setStyleSheet(QStringLiteral("color:rgb(0,38,102)"));
    m_leftLabel = makeLabel(text(48), "leftLabel");
    m_rightLabel = makeLabel(text(48), "rightLabel");

    auto makeImage = [&](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setAlignment(Qt::AlignCenter);
        l->setStyleSheet(QStringLiteral("background:rgb(12,16,24);border:1px solid rgb(120,150,190);"));
        return l;
    };
    m_leftImage = makeImage("leftImage");
    m_rightImage = makeImage("rightImage");

    const int lower = g_SearchLower.load();
    const int upper = g_SearchUpper.load();
    auto makeSlider = [&](const char* name) {
        auto* s = new widgets::MySlider(Qt::Horizontal, this);
        s->setObjectName(QString::fromLatin1(name));
        s->setFocusPolicy(Qt::NoFocus);
        s->setRange(lower, upper);
        s->setMouseTracking(true);
        return s;
    };
    m_leftSlider = makeSlider("leftSlider");
    m_rightSlider = makeSlider("rightSlider");
    {
        const QSignalBlocker a(m_leftSlider), b(m_rightSlider);
        m_leftSlider->setValue(g_StartLineM.load());
        m_rightSlider->setValue(g_StartLineS.load());
    }
    auto makeValue = [&](const char* name) {
        auto* l = makeLabel(QString(), name);
        l->setAlignment(Qt::AlignCenter);
        l->setStyleSheet(QStringLiteral("color:rgb(0,38,102);font-weight:bold;"));
        return l;
    };
    m_leftValue = makeValue("leftValue");
    m_rightValue = makeValue("rightValue");
    connect(m_leftSlider, &QSlider::valueChanged, this, &AdjustScreenWin::LeftSliderSlot);
    connect(m_rightSlider, &QSlider::valueChanged, this, &AdjustScreenWin::RightSliderSlot);

    m_leftMinus = widgets::makeCaptionButton(this, QStringLiteral("minus"), QString(), "leftMinusButton");
    m_leftAdd = widgets::makeCaptionButton(this, QStringLiteral("add"), QString(), "leftAddButton");
    m_rightMinus = widgets::makeCaptionButton(this, QStringLiteral("minus"), QString(), "rightMinusButton");
    m_rightAdd = widgets::makeCaptionButton(this, QStringLiteral("add"), QString(), "rightAddButton");
    m_exposureButton = widgets::makeCaptionButton(this, QStringLiteral("button"), text(49), "exposureButton");
    m_readjustButton = widgets::makeCaptionButton(this, QStringLiteral("button"), text(50), "readjustButton");
    m_saveButton = widgets::makeCaptionButton(this, QStringLiteral("button"), text(51), "saveButton");
    m_exitButton = widgets::makeCaptionButton(this, QStringLiteral("button"), text(44), "exitButton");
    connect(m_leftMinus, &widgets::Button::clicked, this, &AdjustScreenWin::LeftMinusSlot);
    connect(m_leftAdd, &widgets::Button::clicked, this, &AdjustScreenWin::LeftAddSlot);
    connect(m_rightMinus, &widgets::Button::clicked, this, &AdjustScreenWin::RightMinusSlot);
    connect(m_rightAdd, &widgets::Button::clicked, this, &AdjustScreenWin::RightAddSlot);
    connect(m_exposureButton, &widgets::Button::clicked, this, &AdjustScreenWin::ExposureButSlot);
    connect(m_readjustButton, &widgets::Button::clicked, this, &AdjustScreenWin::ReAdjustingButSlot);
    connect(m_saveButton, &widgets::Button::clicked, this, &AdjustScreenWin::ReturnSlot);
    connect(m_exitButton, &widgets::Button::clicked, this, &AdjustScreenWin::ExitSlot);

    for (int i = 1; i <= 10; ++i) {
        QWidget* w = i == 3 ? static_cast<QWidget*>(m_leftSlider)
                   : i == 6 ? static_cast<QWidget*>(m_rightSlider)
                            : static_cast<QWidget*>(buttonAt(i));
        w->installEventFilter(this);
    }

    if (m_config.extended && m_config.adjustDebug) {
        m_panel = new ImageDebugPanel(this);
        connect(m_panel->flashRead, &widgets::Button::clicked, this, &AdjustScreenWin::FlashReadButSlot);
        connect(m_panel->flashWrite, &widgets::Button::clicked, this, &AdjustScreenWin::FlashWriteButSlot);
        connect(m_panel->regSlave, &QCheckBox::clicked, this, &AdjustScreenWin::SlaveCButSlot);
        connect(m_panel->closePreview, &QCheckBox::clicked, this, &AdjustScreenWin::ClosePreviewSlot);
        connect(m_panel->read, &widgets::Button::clicked, this, &AdjustScreenWin::ReadButSlot);
        connect(m_panel->write, &widgets::Button::clicked, this, &AdjustScreenWin::WriteButSlot);
        connect(m_panel->onlyLastLine, &QCheckBox::clicked, this, &AdjustScreenWin::OnlyLastLineSlot);
        connect(m_panel->updateBK, &widgets::Button::clicked, this, &AdjustScreenWin::UpdateBKButSlot);
        connect(m_panel->saveData, &widgets::Button::clicked, this, &AdjustScreenWin::SaveDataButSlot);
        connect(m_panel->resetFpga, &widgets::Button::clicked, this, &AdjustScreenWin::ResetFpgaButSlot);
        connect(m_panel->writeColumn, &widgets::Button::clicked, this, &AdjustScreenWin::WriteColumnButSlot);
    }
    setControlsEnabled(false);
    setSaveEnabled(false);
    moveFocus(6);
}

void AdjustScreenWin::openFramesAndRecords(std::optional<bool> storedLevelingUsable)
{
    m_framesOk = m_frames.open();
    if (!m_framesOk) {
        // No frame can be fetched or drawn: say so and start nothing.
        setLabel(kMaster, text(63));
        setLabel(kSlave, text(63));
        return;
    }
    clearLastFrames();
    if (storedLevelingUsable)
        applyStoredLeveling(*storedLevelingUsable);
    else
        checkStoredLeveling();
    m_frameLine[kMaster] = g_StartLineM.load();
    m_frameLine[kSlave] = g_StartLineS.load();
}

void AdjustScreenWin::startWorkers()
{
    m_exposureThread = new ExposureThread(this);
    connect(m_exposureThread, &ExposureThread::sendData, this, &AdjustScreenWin::recvData, Qt::QueuedConnection);
    CImagePreviewThread::Options options;
    options.extended = m_config.extended;
    options.lineNum = m_config.lineNum;
    options.adjustDebug = m_config.adjustDebug;
    options.testSensor = m_config.testSensor;
    m_imageThread = new CImagePreviewThread(m_frames, options, this);
    connect(m_imageThread, &CImagePreviewThread::sendData, this, &AdjustScreenWin::recvData, Qt::QueuedConnection);
    if (m_framesOk)
        m_imageThread->startWork();
}

// ---- Layout ------------------------------------------------------------------

void AdjustScreenWin::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (m_panel)
        layoutDebug();
    else
        layoutNormal();
}

void AdjustScreenWin::layoutNormal()
{
    const int w = width();
    const int h = height();
    const int m = w / 40;                 // outer margin
    const int pad = m / 2;                // inside a card
    const int band = h / 22;              // title band
    const int column = (w - 3 * m) / 2;   // one unit's card
    const int xs[2] = {m, 2 * m + column};
    const int line = m_hint->fontMetrics().lineSpacing();

    const int hintTop = band + m / 2;
    m_hint->setGeometry(m, hintTop, w - 2 * m, 5 * line);
    const int cardTop = hintTop + 5 * line + m / 2;
    const int inner = column - 2 * pad;
    const int imageHeight = std::max(40, inner * m_config.lineNum * 8 / 640 + 2);
    const int scaleHeight = 8 + m_hint->fontMetrics().height();
    const int profileHeight = h / 8;
    QLabel* images[2] = {m_leftImage, m_rightImage};
    QLabel* labels[2] = {m_leftLabel, m_rightLabel};
    QLabel* values[2] = {m_leftValue, m_rightValue};
    widgets::MySlider* sliders[2] = {m_leftSlider, m_rightSlider};
    widgets::Button* minus[2] = {m_leftMinus, m_rightMinus};
    widgets::Button* add[2] = {m_leftAdd, m_rightAdd};
    const int step = minus[0]->height() > 0 ? minus[0]->height() : h / 27;
    const int buttonsTop = h - m - m_saveButton->height();
    for (int u = 0; u < 2; ++u) {
        const int x = xs[u] + pad;
        int y = cardTop + pad;
        images[u]->setGeometry(x, y, inner, imageHeight);
        y += imageHeight + scaleHeight;
        m_profileRect[u] = QRect(x, y, inner, profileHeight);
        y += profileHeight + pad;
        minus[u]->move(x, y);
        add[u]->move(x + inner - step, y);
        const int valueWidth = step * 2;
        sliders[u]->setGeometry(x + step + pad, y, inner - 2 * step - 3 * pad - valueWidth, step);
        values[u]->setGeometry(x + inner - step - pad - valueWidth, y, valueWidth, step);
        y += step + pad;
        const int labelHeight = std::min(6 * line, buttonsTop - m - pad - y);
        labels[u]->setGeometry(x, y, inner, std::max(labelHeight, 2 * line));
        m_cardRect[u] = QRect(xs[u], cardTop, column, y + labels[u]->height() + pad - cardTop);
    }
    const int bw = m_saveButton->width();
    const int total = 4 * bw + 3 * m;
    widgets::Button* row[4] = {m_exposureButton, m_readjustButton, m_saveButton, m_exitButton};
    for (int i = 0; i < 4; ++i)
        row[i]->move((w - total) / 2 + i * (bw + m), buttonsTop);
}

void AdjustScreenWin::layoutDebug()
{
    // The plots of the last lines stand where the debug view draws them:
    // Master's baseline at h / 7.2, Slave's at h / 2.12, between w/4 and 3w/4.
    const int w = width();
    const int h = height();
    const int m = w / 60;
    const int masterBase = static_cast<int>(h / 7.2);
    const int slaveBase = static_cast<int>(h / 2.12);
    const int column = w / 2 - 2 * m;
    const int imageHeight = column * 88 / 640 + 2;
    // The hint shares the top left with nothing: its font shrinks until it fits.
    const QRect hintBox(m, h / 60 + m / 2, w / 4 - 2 * m, masterBase - h / 60);
    m_hint->setGeometry(hintBox);
    QFont hintFont = widgets::toQFont(shell::context().applicationFont());
    for (int size = hintFont.pointSize(); size > 5; --size) {
        hintFont.setPointSize(size);
        const QRect needed = QFontMetrics(hintFont).boundingRect(QRect(0, 0, hintBox.width(), 10000),
                                                                 Qt::TextWordWrap, m_hint->text());
        if (needed.height() <= hintBox.height())
            break;
    }
    m_hint->setFont(hintFont);
    const int imageTop = masterBase + m;
    m_leftImage->setGeometry(m, imageTop, column, imageHeight);
    m_rightImage->setGeometry(w / 2 + m, imageTop, column, imageHeight);
    const int labelTop = imageTop + imageHeight + 8 + m_hint->fontMetrics().height();
    const int labelHeight = slaveBase - 127 - m / 2 - labelTop;
    m_leftLabel->setGeometry(m, labelTop, column, std::max(labelHeight, h / 20));
    m_rightLabel->setGeometry(w / 2 + m, labelTop, column, std::max(labelHeight, h / 20));
    const int step = m_leftMinus->height();
    const int sliderWidth = w / 4 - 4 * m - 2 * step;
    const int sliderTop = slaveBase - 127 / 2;
    auto placeSlider = [&](int x, widgets::Button* minus, widgets::MySlider* slider, widgets::Button* add,
                           QLabel* value) {
        minus->move(x, sliderTop);
        slider->setGeometry(x + step + m / 2, sliderTop, sliderWidth, step);
        add->move(x + step + m + sliderWidth, sliderTop);
        value->setGeometry(x, sliderTop + step, 2 * step + sliderWidth + m, step);
    };
    placeSlider(m, m_leftMinus, m_leftSlider, m_leftAdd, m_leftValue);
    placeSlider(3 * w / 4 + m, m_rightMinus, m_rightSlider, m_rightAdd, m_rightValue);
    widgets::Button* row[4] = {m_exposureButton, m_readjustButton, m_saveButton, m_exitButton};
    const int bw = m_saveButton->width();
    const int total = 4 * bw + 3 * m;
    const int rowTop = slaveBase + m;
    for (int i = 0; i < 4; ++i)
        row[i]->move((w - total) / 2 + i * (bw + m), rowTop);
    const int panelTop = rowTop + m_saveButton->height() + m;
    m_panel->setGeometry(m, panelTop, w - 2 * m, h - panelTop - m);
}

// ---- Controls ----------------------------------------------------------------

widgets::Button* AdjustScreenWin::buttonAt(int index) const
{
    switch (index) {
    case 1: return m_leftMinus;
    case 2: return m_leftAdd;
    case 4: return m_rightMinus;
    case 5: return m_rightAdd;
    case 7: return m_exposureButton;
    case 8: return m_readjustButton;
    case 9: return m_saveButton;
    case 10: return m_exitButton;
    default: return nullptr;
    }
}

void AdjustScreenWin::setControlsEnabled(bool enabled)
{
    m_leftSlider->setEnabled(enabled);
    m_rightSlider->setEnabled(enabled);
    for (widgets::Button* b : {m_leftMinus, m_leftAdd, m_rightMinus, m_rightAdd, m_exposureButton, m_readjustButton})
        b->setButtonEnabled(enabled);
    moveFocus(m_focusIndex);
}

void AdjustScreenWin::setSaveEnabled(bool enabled)
{
    m_saveButton->setButtonEnabled(enabled);
    moveFocus(m_focusIndex);
}

bool AdjustScreenWin::controlsEnabled() const { return m_exposureButton->isButtonEnabled(); }
bool AdjustScreenWin::saveEnabled() const { return m_saveButton->isButtonEnabled(); }
QString AdjustScreenWin::leftText() const { return m_leftLabel->text(); }
QString AdjustScreenWin::rightText() const { return m_rightLabel->text(); }
QString AdjustScreenWin::hintText() const { return m_hint->text(); }
QString AdjustScreenWin::saveCaption() const { return m_saveButton->caption(); }
bool AdjustScreenWin::countdownRunning() const { return m_timer->isActive(); }
bool AdjustScreenWin::readjustEnabled() const { return m_readjustButton->isButtonEnabled(); }
bool AdjustScreenWin::leftMarkedRed() const { return m_leftRed; }
bool AdjustScreenWin::rightMarkedRed() const { return m_rightRed; }
bool AdjustScreenWin::levelingThreadRunning() const { return m_imageThread && !m_imageThread->hasEnded(); }
bool AdjustScreenWin::exposureThreadRunning() const { return m_exposureThread && !m_exposureThread->hasEnded(); }

void AdjustScreenWin::greyLabels()
{
    m_leftLabel->setStyleSheet(kGreyStyle);
    m_rightLabel->setStyleSheet(kGreyStyle);
    m_leftRed = m_rightRed = false;
}

void AdjustScreenWin::setLabel(int unit, const QString& t, bool red)
{
    QLabel* l = unit == kMaster ? m_leftLabel : m_rightLabel;
    l->setText(t);
    if (red)
        l->setStyleSheet(kRedStyle);
    (unit == kMaster ? m_leftRed : m_rightRed) = red;
}

void AdjustScreenWin::stopCountdown()
{
    m_timer->stop();
    m_saveButton->setCaption(text(51));
}

void AdjustScreenWin::moveFocus(int index)
{
    m_focusIndex = index;
    for (int i = 1; i <= 10; ++i) {
        if (widgets::Button* b = buttonAt(i))
            b->setFocusLook(i == index);
    }
    // The sliders take no keyboard focus; their focus look is a frame.
    const QString focused = QStringLiteral("QSlider{border:2px solid rgb(0,120,215);border-radius:4px;}");
    m_leftSlider->setStyleSheet(index == 3 ? focused : QString());
    m_rightSlider->setStyleSheet(index == 6 ? focused : QString());
}

void AdjustScreenWin::pause(int ms, std::function<void()> then)
{
    QTimer::singleShot(widgets::scaledPause(ms), this, std::move(then));
}

// ---- Keyboard and mouse --------------------------------------------------------

bool AdjustScreenWin::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab) {
            keyPressEvent(key);
            return true;
        }
    }
    if (event->type() == QEvent::MouseMove && watched != this) {
        if (m_timer->isActive())
            stopCountdown();
        for (int i = 1; i <= 10; ++i) {
            const QObject* control = i == 3 ? static_cast<QObject*>(m_leftSlider)
                                   : i == 6 ? static_cast<QObject*>(m_rightSlider)
                                            : static_cast<QObject*>(buttonAt(i));
            if (control == watched && m_focusIndex != i)
                moveFocus(i);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void AdjustScreenWin::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        ExitSlot();
        return;
    case Qt::Key_Space:
        ReAdjustingButSlot();
        return;
    case Qt::Key_Tab:
        moveFocus(m_focusIndex % 10 + 1);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (widgets::Button* b = buttonAt(m_focusIndex); b && b->isButtonEnabled())
            Q_EMIT b->clicked();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const bool add = event->key() == Qt::Key_Right;
        if (m_focusIndex == 3)
            add ? LeftAddSlot() : LeftMinusSlot();
        else if (m_focusIndex == 6)
            add ? RightAddSlot() : RightMinusSlot();
        if (m_focusIndex == 3 || m_focusIndex == 6)
            moveFocus(m_focusIndex);
        return;
    }
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tovrin::leveling
