#include "keys/ui/KeyTestWin.h"

#include "keys/ui/KeyPainting.h"
#include "keys/ui/KeyWindowParts.h"
#include "keys/ui/FingerKeys.h"
#include "shell/AppContext.h"
#include "widgets/Button.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace tovrin::keys::ui {

using shell::context;

namespace {
constexpr int kInitializing = 65;
constexpr int kInstruction = 80;
constexpr int kExit = 11;
} // namespace

KeyTestWin::KeyTestWin(QWidget* parent, QSize size)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("KeyTestWin"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    resize(keyWindowSize(size));

    const KeyConfiguration configuration = readKeyConfiguration();
    m_hasKeys = checkConfiguration(configuration) == LayoutCheck::Ok;
    m_depiction = layOutKeys(configuration, width(), height());
    printKeysForFinger(configuration);

    m_statusLabel = makeKeyLabel(this, "statusLabel");
    m_instructionLabel = makeKeyLabel(this, "instructionLabel");
    m_instructionLabel->setText(context().text(kInstruction));
    m_exitButton = makeKeyButton(this, kExit, "exitButton");
    m_exitButton->setFocusLook(true);
    connect(m_exitButton, &widgets::Button::clicked, this, &KeyTestWin::ReturnSlot);
    layOut();

    showStatus(kInitializing);
    if (!m_hasKeys) {
        showStatus(kNoKeyMessage);
        // Once the opener has connected to the window.
        QTimer::singleShot(0, this, [this] { Q_EMIT sendShowData(6); });
    }
    m_thread = new KeyTestThread(this);
    connect(m_thread, &KeyTestThread::sendData, this, &KeyTestWin::recvData, Qt::QueuedConnection);
    m_thread->startWork();
}

KeyTestWin::~KeyTestWin()
{
    if (m_thread)
        m_thread->stopAndWait();
}

PressedKey KeyTestWin::shownKey() const
{
    const PressedKey k = m_thread ? m_thread->state().pressed() : PressedKey{};
    // Only a key of the layout lights up: edge 5 or a number beyond the
    // edge's keys shows nothing.
    return m_depiction.key(k.edge, k.number) ? k : PressedKey{};
}

void KeyTestWin::showStatus(int messageId)
{
    m_statusId = messageId;
    m_statusLabel->setText(context().text(messageId));
}

void KeyTestWin::layOut()
{
    if (!m_statusLabel)
        return;
    m_depiction = layOutKeys(m_depiction.configuration, width(), height());
    placeKeyLabels(m_depiction, m_statusLabel, m_instructionLabel);
    placeKeyButtons(this, {m_exitButton});
}

void KeyTestWin::recvData(int code)
{
    if (!frameConnected()) {
        showStatus(kDevicePulledOutMessage);
        ReturnSlot();
        return;
    }
    switch (code) {
    case testcode::kRepaint:
        update();
        break;
    case testcode::kReadFailed:
    case testcode::kTesting:
        // Without a key layout the refusal stays in view.
        if (m_hasKeys)
            showStatus(code == testcode::kReadFailed ? 81 : 82);
        break;
    default:
        break;
    }
}

void KeyTestWin::ReturnSlot()
{
    if (m_closing)
        return;
    m_closing = true;
    // The window goes on while its worker ends (it may wait for the frame's
    // answer to a request) and closes once it has.
    m_thread->stopThen(this, [this] {
        m_closed = true;
        Q_EMIT sendShowData(3);
        QDialog::done(QDialog::Rejected);
    });
}

void KeyTestWin::done(int result)
{
    if (!m_closed) {
        ReturnSlot();
        return;
    }
    QDialog::done(result);
}

void KeyTestWin::closeEvent(QCloseEvent* event)
{
    if (!m_closed) {
        event->ignore();
        ReturnSlot();
        return;
    }
    QDialog::closeEvent(event);
}

void KeyTestWin::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(m_statusLabel->font());
    KeyScene scene;
    scene.depiction = &m_depiction;
    scene.title = context().text(7);  // "Key Test"
    scene.pressed = shownKey();
    paintKeyScene(painter, scene);
}

void KeyTestWin::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        ReturnSlot();
        return;
    }
    QDialog::keyPressEvent(event);
}

std::optional<QPointF> KeyTestWin::touchPoint(const QPointF& local) const
{
    return fingerKeyTouch(m_depiction, local);
}

void KeyTestWin::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    layOut();
}

} // namespace tovrin::keys::ui
