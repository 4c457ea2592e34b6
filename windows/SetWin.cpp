#include "windows/SetWin.h"

#include "device/DeviceStatus.h"
#include "jobs/TaskWorker.h"
#include "shell/AppContext.h"
#include "widgets/Button.h"
#include "widgets/Fonts.h"
#include "widgets/MyMessageBox.h"
#include "widgets/WindowKit.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>

#include <initializer_list>
#include <memory>
#include <utility>

namespace tovrin::windows {

using settingsjob::ControlState;
using shell::context;
using widgets::Button;
using widgets::MyMessageBox;

namespace {

namespace msg {
constexpr int Set = 1;
constexpr int Reconnect = 9;
constexpr int Cancel = 13;
constexpr int ResetFailed = 32;
constexpr int ResetSucceeded = 33;
constexpr int ShowSize = 85;
constexpr int FirstSize = 86;  // 86-93: " <=30 inches" .. " >=96 inches"
constexpr int ShowMode = 94;
constexpr int Landscape = 95;
constexpr int Portrait = 96;
constexpr int NoRotation = 97;
constexpr int Clockwise = 98;
constexpr int Contrarotate = 99;
constexpr int Mirror = 100;
constexpr int ParameReset = 101;
constexpr int DoubleWriting = 102;
constexpr int Open = 103;
constexpr int Close = 104;
constexpr int TouchType = 109;
constexpr int Single = 110;
constexpr int Much = 111;
constexpr int CalibrationSet = 112;
constexpr int Auto = 113;
constexpr int Point16 = 114;
constexpr int Point4 = 115;
constexpr int Ok = 116;
constexpr int Warning = 117;
constexpr int DeviceReconnect = 139;
} // namespace msg

const QString kTextStyle = QStringLiteral("color:rgb(0,38,102)");
const QString kGroupStyle = QStringLiteral(
    "QGroupBox{color:rgb(0,38,102); border:1px solid rgb(150,178,212); border-radius:6px;"
    " background-color:rgba(255,255,255,150); margin-top:0.9em; padding-top:0.5em;}"
    "QGroupBox::title{subcontrol-origin:margin; left:12px; padding:0 5px;}"
    "QGroupBox:disabled{color:rgb(150,160,175);}");
const QString kSkin = QStringLiteral("set/");

// Focus positions of the groups and the buttons.
enum Place { kPlaceSize = 1, kPlaceMode, kPlaceRotation, kPlaceCalibration, kPlaceTouchType, kPlaceDoubleWriting,
             kPlaceReconnect, kPlaceParameReset, kPlaceOk, kPlaceCancel, kPlaces = kPlaceCancel };

} // namespace

SetWin::SetWin(QWidget* parent, std::optional<records::ScreenRecord> deviceRecord)
    : QDialog(parent)
    , m_deviceRecord(std::move(deviceRecord))
{
    setObjectName(QStringLiteral("SetWin"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setMouseTracking(true);
    buildControls();
    // The opening read has mirrored the frame's record into the INI.
    applyControls(settingsjob::loadControls());
}

SetWin::~SetWin()
{
    // The dialog refuses to close while a job of its own runs; a window that
    // goes away under it all the same (its opener is destroyed) never waits
    // for the frame: the job runs to its end by itself and then goes.
    for (jobs::Worker* worker : std::initializer_list<jobs::Worker*>{m_saveThread, m_task}) {
        if (worker && !worker->hasEnded()) {
            worker->setParent(nullptr);
            connect(worker, &jobs::Worker::ended, worker, &QObject::deleteLater);
        }
    }
}

// ---- Building ----------------------------------------------------------------

QGroupBox* SetWin::makeGroup(int titleId, const char* objectName)
{
    auto* group = new QGroupBox(context().text(titleId), this);
    group->setObjectName(QString::fromLatin1(objectName));
    group->setStyleSheet(kGroupStyle);
    group->setFont(widgets::toQFont(context().buttonFont()));
    return group;
}

QRadioButton* SetWin::makeRadio(QWidget* parent, const QString& text, const char* objectName)
{
    auto* radio = new QRadioButton(text, parent);
    radio->setObjectName(QString::fromLatin1(objectName));
    radio->setStyleSheet(kTextStyle);
    radio->setFont(widgets::toQFont(context().applicationFont()));
    return radio;
}

void SetWin::buildControls()
{
    m_background = widgets::skinPixmap(kSkin + QStringLiteral("set.png"));
    const QSize size = m_background.isNull() ? QSize(760, 620) : m_background.size();
    resize(size);
    setFixedSize(size);
    if (!m_background.isNull()) {
        QPalette p = palette();
        p.setBrush(QPalette::Window, QBrush(m_background));
        setPalette(p);
        setAutoFillBackground(true);
    }
    m_bandHeight = static_cast<int>(size.height() / 8.85);

    auto titleButton = [this](const char* normal, const char* pressed, const char* name) {
        Button* b = widgets::makeSkinButton(this, name, kSkin + QLatin1String(normal), kSkin + QLatin1String(normal),
                                   kSkin + QLatin1String(pressed), kSkin + QLatin1String(normal));
        b->setCaptionMode(-1);
        return b;
    };
    m_minButton = titleButton("min1.png", "min2.png", "minButton");
    m_quitButton = titleButton("quit1.png", "quit2.png", "quitButton");
    connect(m_minButton, &Button::clicked, this, &QDialog::showMinimized);
    connect(m_quitButton, &Button::clicked, this, &QDialog::close);

    m_titleLabel = new QLabel(context().text(msg::Set), this);
    m_titleLabel->setObjectName(QStringLiteral("titleLabel"));
    m_titleLabel->setStyleSheet(QStringLiteral("color:rgb(255,255,255)"));
    QFont titleFont = widgets::toQFont(context().titleFont());
    m_titleLabel->setFont(titleFont);

    // Show Size: eight classes in two columns.
    m_sizeGroup = makeGroup(msg::ShowSize, "sizeGroup");
    m_sizeButtons = new QButtonGroup(this);
    auto* sizeLayout = new QGridLayout(m_sizeGroup);
    for (int i = 0; i < settingsjob::kSizeClasses; ++i) {
        const QByteArray name = "sizeRadio" + QByteArray::number(i);
        m_sizeRadios[static_cast<size_t>(i)] = makeRadio(m_sizeGroup, context().text(msg::FirstSize + i), name.constData());
        m_sizeButtons->addButton(m_sizeRadios[static_cast<size_t>(i)], i);
        sizeLayout->addWidget(m_sizeRadios[static_cast<size_t>(i)], i % 4, i / 4);
    }

    // Show Mode with the rotation.
    m_modeGroup = makeGroup(msg::ShowMode, "modeGroup");
    auto* modeLayout = new QGridLayout(m_modeGroup);
    m_landscapeRadio = makeRadio(m_modeGroup, context().text(msg::Landscape), "landscapeRadio");
    m_portraitRadio = makeRadio(m_modeGroup, context().text(msg::Portrait), "portraitRadio");
    m_rotationCombo = new QComboBox(m_modeGroup);
    m_rotationCombo->setObjectName(QStringLiteral("rotationCombo"));
    m_rotationCombo->setStyleSheet(kTextStyle);
    m_rotationCombo->setFont(widgets::toQFont(context().applicationFont()));
    m_rotationCombo->addItems({context().text(msg::NoRotation), context().text(msg::Clockwise),
                               context().text(msg::Contrarotate), context().text(msg::Clockwise) + context().text(msg::Mirror),
                               context().text(msg::Contrarotate) + context().text(msg::Mirror)});
    modeLayout->addWidget(m_landscapeRadio, 0, 0);
    modeLayout->addWidget(m_portraitRadio, 0, 1);
    modeLayout->addWidget(m_rotationCombo, 1, 0, 1, 2);

    m_calibrationGroup = makeGroup(msg::CalibrationSet, "calibrationGroup");
    auto* calibrationLayout = new QGridLayout(m_calibrationGroup);
    m_point16Radio = makeRadio(m_calibrationGroup, context().text(msg::Point16), "point16Radio");
    m_point4Radio = makeRadio(m_calibrationGroup, context().text(msg::Point4), "point4Radio");
    m_point16Radio->setChecked(true);
    calibrationLayout->addWidget(m_point16Radio, 0, 0);
    calibrationLayout->addWidget(m_point4Radio, 0, 1);

    m_touchTypeGroup = makeGroup(msg::TouchType, "touchTypeGroup");
    m_touchTypeButtons = new QButtonGroup(this);
    auto* touchLayout = new QGridLayout(m_touchTypeGroup);
    m_autoRadio = makeRadio(m_touchTypeGroup, context().text(msg::Auto), "autoRadio");
    m_singleRadio = makeRadio(m_touchTypeGroup, context().text(msg::Single), "singleRadio");
    m_muchRadio = makeRadio(m_touchTypeGroup, context().text(msg::Much), "muchRadio");
    m_touchTypeButtons->addButton(m_autoRadio, 0);
    m_touchTypeButtons->addButton(m_singleRadio, 1);
    m_touchTypeButtons->addButton(m_muchRadio, 2);
    touchLayout->addWidget(m_autoRadio, 0, 0);
    touchLayout->addWidget(m_singleRadio, 0, 1);
    touchLayout->addWidget(m_muchRadio, 0, 2);
    m_touchTypeGroup->setEnabled(false);

    m_doubleWritingGroup = makeGroup(msg::DoubleWriting, "doubleWritingGroup");
    auto* writingLayout = new QGridLayout(m_doubleWritingGroup);
    m_openRadio = makeRadio(m_doubleWritingGroup, context().text(msg::Open), "openRadio");
    m_closeRadio = makeRadio(m_doubleWritingGroup, context().text(msg::Close), "closeRadio");
    writingLayout->addWidget(m_openRadio, 0, 0);
    writingLayout->addWidget(m_closeRadio, 0, 1);

    m_reconnectGroup = new QGroupBox(this);
    m_reconnectGroup->setObjectName(QStringLiteral("reconnectGroup"));
    m_reconnectGroup->setStyleSheet(kGroupStyle);
    m_reconnectLabel = new QLabel(context().text(msg::DeviceReconnect), m_reconnectGroup);
    m_reconnectLabel->setObjectName(QStringLiteral("reconnectLabel"));
    m_reconnectLabel->setStyleSheet(kTextStyle);
    m_reconnectLabel->setFont(widgets::toQFont(context().applicationFont()));
    m_reconnectLabel->setWordWrap(true);

    auto pushButton = [this](int captionId, const char* name, const QString& normal, const QString& press,
                             const QString& focus) {
        Button* b = widgets::makeSkinButton(this, name, kSkin + normal, kSkin + focus, kSkin + press,
                                   kSkin + QStringLiteral("button_Enabled.png"));
        b->setCaptionMode(Button::CaptionCentred);
        b->setCaptionFont(widgets::toQFont(context().buttonFont()));
        b->setCaption(context().text(captionId));
        return b;
    };
    const QString normal = QStringLiteral("button_Normal.png"), press = QStringLiteral("button_Press.png"),
                  focus = QStringLiteral("button_Focus.png");
    m_reconnectButton = pushButton(msg::Reconnect, "reconnectButton", normal, press, focus);
    m_reconnectButton->setParent(m_reconnectGroup);
    m_reconnectButton->setFixedSize(m_reconnectButton->size());
    auto* reconnectLayout = new QHBoxLayout(m_reconnectGroup);
    const int inner = size.width() / 60;
    reconnectLayout->setContentsMargins(inner, inner / 2, inner, inner / 2);
    reconnectLayout->addWidget(m_reconnectLabel, 1);
    reconnectLayout->addWidget(m_reconnectButton, 0, Qt::AlignVCenter);
    m_parameResetButton = pushButton(msg::ParameReset, "parameResetButton", QStringLiteral("button_Normal2.png"),
                                     QStringLiteral("button_Press2.png"), QStringLiteral("button_Focus2.png"));
    m_okButton = pushButton(msg::Ok, "okButton", normal, press, focus);
    m_cancelButton = pushButton(msg::Cancel, "cancelButton", normal, press, focus);
    connect(m_reconnectButton, &Button::clicked, this, &SetWin::ResetButSlot);
    connect(m_parameResetButton, &Button::clicked, this, &SetWin::ResetButtonSlot);
    connect(m_okButton, &Button::clicked, this, &SetWin::OKButtonSlot);
    connect(m_cancelButton, &Button::clicked, this, &QDialog::close);

    // Landscape shows no rotation.
    connect(m_landscapeRadio, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            m_rotationCombo->setCurrentIndex(0);
        m_rotationCombo->setEnabled(!on);
    });

    // The window handles Tab and Return itself.
    for (QWidget* w : findChildren<QWidget*>())
        w->setFocusPolicy(w == m_rotationCombo || qobject_cast<QRadioButton*>(w) ? Qt::ClickFocus : Qt::NoFocus);
    placeControls();
}

void SetWin::placeControls()
{
    const int w = width(), h = height();
    const int margin = w * 3 / 100;
    const int column = (w - 3 * margin) / 2;
    const int gap = margin / 2;
    const int sizeHeight = h * 33 / 100;
    const int rowHeight = h * 14 / 100;

    const int top = m_bandHeight + gap;
    m_sizeGroup->setGeometry(margin, top, column, sizeHeight);
    m_modeGroup->setGeometry(2 * margin + column, top, column, sizeHeight);
    const int second = top + sizeHeight + gap;
    m_calibrationGroup->setGeometry(margin, second, column, rowHeight);
    m_touchTypeGroup->setGeometry(2 * margin + column, second, column, rowHeight);
    const int third = second + rowHeight + gap;
    m_doubleWritingGroup->setGeometry(margin, third, column, rowHeight);
    m_reconnectGroup->setGeometry(2 * margin + column, third, column, rowHeight);

    const int buttonsTop = third + rowHeight + gap + gap / 2;
    const int okWidth = m_okButton->width(), resetWidth = m_parameResetButton->width();
    const int spacing = margin;
    const int total = resetWidth + 2 * okWidth + 2 * spacing;
    int x = w - margin - total;
    m_parameResetButton->move(x, buttonsTop);
    x += resetWidth + spacing;
    m_okButton->move(x, buttonsTop);
    x += okWidth + spacing;
    m_cancelButton->move(x, buttonsTop);

    const QSize t = m_quitButton->size();
    const int titleY = (m_bandHeight - t.height()) / 2;
    m_quitButton->move(w - margin / 2 - t.width(), titleY);
    m_minButton->move(w - margin / 2 - 2 * t.width() - margin / 3, titleY);
    m_titleLabel->setGeometry(m_bandHeight * 12 / 10, 0, w / 2, m_bandHeight);
}

// ---- Controls and the INI ------------------------------------------------------

void SetWin::applyControls(const ControlState& c)
{
    (c.portrait ? m_portraitRadio : m_landscapeRadio)->setChecked(true);
    m_rotationCombo->setCurrentIndex(c.portrait ? c.rotation : 0);
    m_rotationCombo->setEnabled(c.portrait);

    m_touchTypeGroup->setEnabled(c.touchTypeEnabled);
    m_touchTypeButtons->setExclusive(false);
    for (QAbstractButton* b : m_touchTypeButtons->buttons())
        b->setChecked(false);
    m_touchTypeButtons->setExclusive(true);
    if (c.touchType)
        m_touchTypeButtons->button(*c.touchType)->setChecked(true);

    m_sizeButtons->setExclusive(false);
    for (QRadioButton* r : m_sizeRadios)
        r->setChecked(false);
    m_sizeButtons->setExclusive(true);
    if (c.sizeIndex)
        m_sizeRadios[static_cast<size_t>(*c.sizeIndex)]->setChecked(true);

    (c.doubleWritingOpen ? m_openRadio : m_closeRadio)->setChecked(true);
    (c.fourPoint ? m_point4Radio : m_point16Radio)->setChecked(true);
}

ControlState SetWin::controlState() const
{
    ControlState c;
    c.portrait = m_portraitRadio->isChecked();
    c.rotation = std::max(0, m_rotationCombo->currentIndex());
    c.touchTypeEnabled = m_touchTypeGroup->isEnabled();
    if (m_touchTypeButtons->checkedId() >= 0)
        c.touchType = m_touchTypeButtons->checkedId();
    if (m_sizeButtons->checkedId() >= 0)
        c.sizeIndex = m_sizeButtons->checkedId();
    c.doubleWritingOpen = m_openRadio->isChecked();
    c.fourPoint = m_point4Radio->isChecked();
    return c;
}

void SetWin::ResetButtonSlot()
{
    applyControls(settingsjob::loadControls());
}

// ---- Device --------------------------------------------------------------------

void SetWin::showWarning(int messageId)
{
    QString text = context().text(messageId);
    if (messageId == device::kEquipmentAnomaliesMessage)
        text = device::errorWordsText(text);
    MyMessageBox::setAnswer(MyMessageBox::AnswerCancel);
    MyMessageBox box(this, context().text(msg::Warning), text, 1, 1);
}

void SetWin::ResetButSlot()
{
    if (isBusy())
        return;
    // Work mode, then the reset; both in the worker, the buttons off meanwhile.
    struct Switches {
        device::ModeSwitchOutcome work;
        device::ModeSwitchOutcome reset;
    };
    auto got = std::make_shared<Switches>();
    if (!m_task)
        m_task = new jobs::TaskWorker(this);
    setButtonsEnabled(false);
    m_task->run(
        [got] {
            got->work = device::SwitchModeChecked(device::mode::Work);
            if (got->work.ok)
                got->reset = device::SwitchModeChecked(device::mode::Reset);
        },
        this,
        [this, got] {
            setButtonsEnabled(true);
            setFocusPosition(m_focus);
            if (!got->work.ok) {
                showWarning(msg::ResetFailed);
                return;
            }
            showWarning(got->reset.ok ? msg::ResetSucceeded : msg::ResetFailed);
        });
}

bool SetWin::isSaving() const
{
    return m_saveThread && !m_saveThread->hasEnded();
}

bool SetWin::isBusy() const
{
    return isSaving() || (m_task && !m_task->hasEnded());
}

void SetWin::setButtonsEnabled(bool enabled)
{
    for (Button* b : {m_reconnectButton, m_parameResetButton, m_okButton, m_cancelButton, m_quitButton})
        b->setButtonEnabled(enabled);
}

void SetWin::OKButtonSlot()
{
    if (isBusy())
        return;
    // Landscape keeps no rotation, whatever the combo box showed.
    if (m_landscapeRadio->isChecked())
        m_rotationCombo->setCurrentIndex(0);
    const settingsjob::DialogSettings settings = settingsjob::settingsFromControls(controlState());
    settingsjob::writeDialogSettings(settings);
    const records::ScreenRecord slave = settingsjob::buildSlaveRecord(settings);
    const records::ScreenRecord master = settingsjob::buildMasterRecord(slave);

    if (!m_saveThread)
        m_saveThread = new settingsjob::SettingsSaveThread(this);
    setButtonsEnabled(false);
    m_saveThread->prepare(slave, master);
    m_saveThread->startWork();
    // The save runs to its end; the dialog goes on once it has.
    m_saveThread->whenEnded(this, [this] { saveEnded(); });
}

void SetWin::saveEnded()
{
    m_lastSave = m_saveThread->result();
    const int outcome = static_cast<int>(m_lastSave->outcome);
    setButtonsEnabled(true);
    setFocusPosition(m_focus);
    Q_EMIT saveFinished(outcome);
    if (m_lastSave->complete()) {
        close();
        return;
    }
    // Never a silent failure: say what went wrong; the dialog stays open
    // (settings held but the frame not back at work: Reconnect is here).
    showWarning(settingsjob::saveMessageId(*m_lastSave));
}

// ---- Closing, keys, dragging ---------------------------------------------------

void SetWin::done(int result)
{
    if (isBusy())
        return;  // the save or Reconnect ends first
    if (!m_closedReported) {
        m_closedReported = true;
        Q_EMIT sendShowData(3);
    }
    QDialog::done(result);
}

void SetWin::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool SetWin::event(QEvent* event)
{
    if (QKeyEvent* tab = widgets::tabKeyPress(event)) {
        keyPressEvent(tab);
        return true;
    }
    return QDialog::event(event);
}

void SetWin::setFocusPosition(int position)
{
    m_focus = position;
    const std::array<Button*, 4> buttons{m_reconnectButton, m_parameResetButton, m_okButton, m_cancelButton};
    for (size_t i = 0; i < buttons.size(); ++i)
        buttons[i]->setFocusLook(position == kPlaceReconnect + static_cast<int>(i));
    QWidget* target = nullptr;
    auto checkedOr = [](QButtonGroup* group, QWidget* fallback) {
        return group->checkedButton() ? static_cast<QWidget*>(group->checkedButton()) : fallback;
    };
    switch (position) {
    case kPlaceSize: target = checkedOr(m_sizeButtons, m_sizeRadios[0]); break;
    case kPlaceMode: target = m_portraitRadio->isChecked() ? m_portraitRadio : m_landscapeRadio; break;
    case kPlaceRotation: target = m_rotationCombo; break;
    case kPlaceCalibration: target = m_point4Radio->isChecked() ? m_point4Radio : m_point16Radio; break;
    case kPlaceTouchType: target = checkedOr(m_touchTypeButtons, m_autoRadio); break;
    case kPlaceDoubleWriting: target = m_openRadio->isChecked() ? m_openRadio : m_closeRadio; break;
    default: break;
    }
    if (target)
        target->setFocus(Qt::TabFocusReason);
    else
        setFocus(Qt::OtherFocusReason);
}

void SetWin::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Tab:
        setFocusPosition(m_focus % kPlaces + 1);
        return;
    case Qt::Key_Backtab:
        setFocusPosition(m_focus <= 1 ? kPlaces : m_focus - 1);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        switch (m_focus) {
        case kPlaceReconnect: ResetButSlot(); return;
        case kPlaceParameReset: ResetButtonSlot(); return;
        case kPlaceOk: OKButtonSlot(); return;
        case kPlaceCancel: close(); return;
        default: return;
        }
    default:
        QDialog::keyPressEvent(event);
    }
}

void SetWin::mousePressEvent(QMouseEvent* event)
{
    const int y = event->position().toPoint().y();
    if (event->button() == Qt::LeftButton && y >= 0 && y <= static_cast<int>(height() / 8.85))
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    QDialog::mousePressEvent(event);
}

void SetWin::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragOffset && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - *m_dragOffset);
    QDialog::mouseMoveEvent(event);
}

void SetWin::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragOffset.reset();
    QDialog::mouseReleaseEvent(event);
}

} // namespace tovrin::windows
