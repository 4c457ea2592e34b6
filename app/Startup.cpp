#include "Startup.h"

#include "calibration/run/Accuracy.h"
#include "calibration/ui/MouseFinger.h"
#include "device/HidLink.h"
#include "device/HidapiTransport.h"
#include "production/TovrinTest.h"
#include "shell/AppContext.h"
#include "shell/CommentIniWriter.h"
#include "shell/Folders.h"
#include "shell/Language.h"
#include "shell/Settings.h"
#include "sim/FactoryFrame.h"
#include "sim/Fingers.h"
#include "sim/SimEnvironment.h"
#include "sim/SimTransport.h"
#include "widgets/Fonts.h"
#include "widgets/FullScreen.h"
#include "windows/Tovrin.h"
#include "windows/TovrinUser.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace tovrin::app {

Arguments parseArguments(const QStringList& arguments, bool simulateFromEnvironment)
{
    Arguments a;
    a.simulate = simulateFromEnvironment;
    bool haveFirst = false;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--simulate")) {
            a.simulate = true;
        } else if (arguments.at(i) == QLatin1String("--production-test")) {
            // The production test's menu entry: flavour 4 has no stored switch,
            // and a menu start must not change what a plain start runs.
            a.productionTest = true;
        } else if (!haveFirst) {
            a.first = arguments.at(i);
            haveFirst = true;
        }
    }
    return a;
}

int chooseFlavour(const QString& firstArgument)
{
    const QString key = QString::fromLatin1(shell::settings::ChooseToolEnable.key);
    int flavour = 0;
    if (firstArgument == QLatin1String("-M"))
        flavour = 1;
    else if (firstArgument == QLatin1String("-D"))
        flavour = 2;
    else if (firstArgument == QLatin1String("-U"))
        flavour = 3;
    if (flavour) {
        shell::writeSetting(shell::kSettingsFile, key, QString::number(flavour));
        return flavour;
    }
    flavour = shell::settings::ChooseToolEnable.read();
    return (flavour == 0 || flavour == 2 || flavour == 3 || flavour == 4) ? flavour : 1;
}

SingleInstance::SingleInstance(const QString& lockFolder)
{
    const QString folder = lockFolder.isEmpty() ? shell::lockFolder() : lockFolder;
    m_path = folder + QStringLiteral("/Tovrin.lock");
    m_lock = std::make_unique<QLockFile>(m_path);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire()
{
    // A lock whose process is gone counts as stale and is taken over.
    return m_lock->tryLock(0);
}

QString SingleInstance::lockFilePath() const
{
    return m_path;
}

namespace {

void warn(const QString& text)
{
    // Also on the terminal: a start from a shell or a script sees why it ended.
    std::fprintf(stderr, "Tovrin: %s\n", text.toLocal8Bit().constData());
    // Scripted runs must not hang on the box.
    const int quitAfter = qEnvironmentVariableIntValue("TOVRIN_QUIT_AFTER_MS");
    if (quitAfter > 0) {
        QTimer::singleShot(quitAfter, qApp, [] {
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
        });
    }
    QMessageBox::warning(nullptr, QStringLiteral("Tovrin"), text, QMessageBox::Ok);
}

} // namespace

int run(int argc, char** argv)
{
    QGuiApplication::setDesktopSettingsAware(false);  // colours and fonts are the skin's, not the desktop's
    QApplication application(argc, argv);
    // Writable files go to the application folder, or per user when the tool
    // is installed; the data folder becomes the current one.
    shell::setUpFolders(QCoreApplication::applicationDirPath());

    shell::BuildContext();
    QApplication::setFont(widgets::toQFont(shell::context().applicationFont()));

    const Arguments args = parseArguments(QCoreApplication::arguments(), qgetenv("TOVRIN_SIMULATE") == "1");
    const int flavour = args.productionTest ? 4 : chooseFlavour(args.first);
    shell::context().toolFlavour = flavour;

    SingleInstance instance;
    if (!instance.acquire()) {
        warn(shell::context().text(52));
        return 0;
    }
    if (!QDir(shell::context().skinPath()).exists()) {
        warn(shell::context().text(23));
        return 0;
    }

    if (args.simulate) {
        auto frame = sim::makeDefaultSimulatedFrame();
        if (const std::string unknown = sim::applySimulationEnvironment(*frame); !unknown.empty())
            std::fprintf(stderr, "Tovrin: unknown simulator item: %s\n", unknown.c_str());
        device::setTransport(sim::makeSimTransport(frame));
        // The simulated frame is mounted on this desktop, and the mouse is its
        // finger on the calibration surfaces.
        if (const QScreen* screen = widgets::frameScreen())
            frame->fingers().setScreen(screen->geometry().width(), screen->geometry().height());
        calib::ui::MouseFinger::Hands hands;
        hands.down = [frame](QPointF p) { frame->fingers().press(p.x(), p.y()); };
        hands.move = [frame](QPointF p) { frame->fingers().move(p.x(), p.y()); };
        hands.up = [frame] { frame->fingers().lift(); };
        application.installEventFilter(new calib::ui::MouseFinger(std::move(hands), &application));
        // Where the finger really was is known: every stored calibration is
        // measured on a grid of other touches, for the log.
        calib::setGridProbe(calib::GridProbe{
            calib::touchThroughFrame([frame](double x, double y) { frame->fingers().press(x, y); },
                                     [frame] { frame->fingers().lift(); })});
    }
    else {
        device::setTransport(std::make_shared<device::HidapiTransport>());
    }

    // For scripted runs (and the start-up tests): leave after a while, first
    // saving a picture of the main window when TOVRIN_SCREENSHOT names a file.
    QWidget* mainWindow = nullptr;
    const int quitAfter = qEnvironmentVariableIntValue("TOVRIN_QUIT_AFTER_MS");
    if (quitAfter > 0) {
        QTimer::singleShot(quitAfter, &application, [&mainWindow] {
            const QString picture = qEnvironmentVariable("TOVRIN_SCREENSHOT");
            if (!picture.isEmpty() && mainWindow && !mainWindow->grab().save(picture))
                std::fprintf(stderr, "Tovrin: could not save %s\n", picture.toLocal8Bit().constData());
            QCoreApplication::exit(0);
        });
    }

    int status = 0;
    if (flavour == 3) {
        auto window = std::make_unique<windows::TovrinUser>();
        mainWindow = window.get();
        widgets::showFullScreenOn(window.get());
        status = application.exec();
    } else if (flavour == 4) {
        auto window = std::make_unique<production::TovrinTest>();
        mainWindow = window.get();
        window->show();
        status = application.exec();
    } else {
        auto window = std::make_unique<windows::Tovrin>();
        mainWindow = window.get();
        window->show();
        status = application.exec();
    }
    calib::setGridProbe(std::nullopt);
    device::setTransport(nullptr);
    return status;
}

} // namespace tovrin::app
