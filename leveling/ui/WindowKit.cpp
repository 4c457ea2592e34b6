#include "WindowKit.h"

#include "shell/AppContext.h"
#include "widgets/Button.h"
#include "widgets/Fonts.h"

#include <QEventLoop>
#include <QThread>

#include <atomic>
#include <cmath>

namespace tovrin::leveling {

namespace {
std::atomic<double> g_pauseScale{1.0};
} // namespace

QPixmap skinPicture(const QString& name) { return QPixmap(shell::context().skinPath() + name); }

widgets::Button* makeSkinButton(QWidget* parent, const QString& base, const QString& caption, const char* objectName)
{
    auto* b = new widgets::Button(parent);
    b->setObjectName(QString::fromLatin1(objectName));
    const QPixmap normal = skinPicture(base + QStringLiteral("_Normal.png"));
    b->setNormalPixmap(normal);
    b->setPressPixmap(skinPicture(base + QStringLiteral("_Press.png")));
    b->setDisabledPixmap(skinPicture(base + QStringLiteral("_Enabled.png")));
    b->setFocusPixmap(skinPicture(base + QStringLiteral("_Focus.png")));
    b->setCaptionMode(widgets::Button::CaptionCentred);
    b->setCaptionFont(widgets::toQFont(shell::context().buttonFont()));
    b->setCaption(caption);
    b->setScaledContents(true);
    if (!normal.isNull())
        b->resize(normal.size());
    return b;
}

void setPauseScale(double scale) { g_pauseScale = scale < 0 ? 0 : scale; }

int scaledPause(int ms) { return static_cast<int>(std::lround(ms * g_pauseScale.load())); }

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

} // namespace tovrin::leveling
