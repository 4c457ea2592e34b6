#include "widgets/WindowKit.h"

#include "shell/AppContext.h"
#include "shell/Log.h"
#include "widgets/Button.h"
#include "widgets/Fonts.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace tovrin::widgets {

namespace {
std::atomic<double> g_pauseScale{1.0};
} // namespace

QPixmap skinPixmap(const QString& name)
{
    return QPixmap(shell::context().skinPath() + name);
}

Button* makeSkinButton(QWidget* parent, const char* objectName, const QString& normal, const QString& focus,
                       const QString& press, const QString& disabled)
{
    auto* button = new Button(parent);
    button->setObjectName(QString::fromLatin1(objectName));
    const QPixmap up = skinPixmap(normal);
    button->setNormalPixmap(up);
    button->setFocusPixmap(skinPixmap(focus));
    button->setPressPixmap(skinPixmap(press));
    button->setDisabledPixmap(skinPixmap(disabled));
    if (!up.isNull())
        button->resize(up.size());
    return button;
}

Button* makeCaptionButton(QWidget* parent, const QString& base, const QString& caption, const char* objectName)
{
    Button* button = makeSkinButton(parent, objectName, base + QStringLiteral("_Normal.png"),
                                    base + QStringLiteral("_Focus.png"), base + QStringLiteral("_Press.png"),
                                    base + QStringLiteral("_Enabled.png"));
    button->setCaptionMode(Button::CaptionCentred);
    button->setCaptionFont(toQFont(shell::context().buttonFont()));
    button->setCaption(caption);
    button->setScaledContents(true);
    return button;
}

void startLog()
{
    shell::PrepareLogFolders();
    shell::WriteLog("Tovrin log start!\n", true);
    shell::LogF("ChooseToolEnable = %d\n", shell::context().toolFlavour.load());
}

void endLog()
{
    shell::WriteLog("Tovrin log end!\n");
}

void FocusRow::show(int newPlace)
{
    place = newPlace;
    for (size_t i = 0; i < buttons.size(); ++i)
        buttons[i]->setFocusLook(static_cast<int>(i) + 1 == newPlace);
}

void FocusRow::next()
{
    if (!buttons.empty())
        show(place % static_cast<int>(buttons.size()) + 1);
}

void FocusRow::hide() const
{
    for (Button* button : buttons)
        button->setFocusLook(false);
}

Button* FocusRow::at(int p) const
{
    return p >= 1 && p <= static_cast<int>(buttons.size()) ? buttons[static_cast<size_t>(p - 1)] : nullptr;
}

int FocusRow::placeOf(const QObject* object) const
{
    const auto it = std::find(buttons.begin(), buttons.end(), object);
    return it == buttons.end() ? 0 : static_cast<int>(it - buttons.begin()) + 1;
}

void FocusRow::press(int p) const
{
    if (Button* button = at(p); button && button->isButtonEnabled())
        Q_EMIT button->clicked();
}

QKeyEvent* tabKeyPress(QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return nullptr;
    auto* key = static_cast<QKeyEvent*>(event);
    return key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ? key : nullptr;
}

void setPauseScale(double scale)
{
    g_pauseScale = scale < 0 ? 0 : scale;
}

int scaledPause(int ms)
{
    return static_cast<int>(std::lround(ms * g_pauseScale.load()));
}

void pauseGui(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void runBesideGui(const std::function<void()>& work)
{
    QEventLoop loop;
    QThread* thread = QThread::create(work);
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    thread->start();
    if (!thread->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    thread->wait();
    delete thread;
}

} // namespace tovrin::widgets
