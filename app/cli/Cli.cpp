#include "Cli.h"

#include "app/frame/FrameFactory.h"
#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "device/Finger.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "records/RecordJournal.h"
#include "shell/AppContext.h"
#include "shell/Clock.h"
#include "shell/Folders.h"
#include "shell/Language.h"
#include "shell/Log.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace tovrin::cli {

std::vector<CliVerbInfo>& verbs()
{
    static std::vector<CliVerbInfo> list;
    return list;
}

Session::Session()
    : m_out(stdout)
    , m_err(stderr)
{
}

Session::~Session()
{
    m_out.flush();
    m_err.flush();
}

void Session::useFinger(std::shared_ptr<device::Finger> finger)
{
    m_finger = std::move(finger);
}

void Session::say(const QString& line)
{
    m_err << line << Qt::endl;
}

void Session::sayMessage(int messageId, const QStringList& arguments)
{
    QString text = shell::context().text(messageId);
    if (messageId == 142)
        text = device::errorWordsText(text);
    for (const QString& a : arguments)
        text = text.arg(a);
    say(text.trimmed());
}

QString Session::filePath(const QString& argument) const
{
    if (argument.isEmpty() || QFileInfo(argument).isAbsolute())
        return argument;
    return QDir(m_callerFolder).absoluteFilePath(argument);
}

int Session::openFrame(bool bootLoaderAccepted)
{
    if (m_open)
        return kExitDone;
    // The engineering window's detection, stepped here until it reports:
    // the same open, status test and log lines.
    int code = 0;
    std::atomic<bool> stop{false};
    device::DeviceCheckState = device::kStateOpen;
    device::DetectionMachine machine(
        device::DetectionMachine::Variant::Engineering, [&code](int c) { code = c; }, &stop);
    for (int step = 0; step < 8 && code == 0; ++step)
        machine.step();
    m_productId = machine.productId();
    switch (code) {
    case device::detection::kApplicationOpened:
        m_open = true;
        m_statusResult = device::g_getStatusError.load();
        // The frame answered its status test: the link works (the window's
        // detection thread says so at its next watch; this one has stopped).
        if (m_statusResult != device::kStatusNoLink)
            device::g_isDeviceCommunicate = 1;
        return kExitDone;
    case device::detection::kBootLoaderOpened:
        m_bootLoader = true;
        if (bootLoaderAccepted) {
            m_open = true;
            return kExitDone;
        }
        sayMessage(16);  // the firmware is not ready: only an update helps
        return kExitFailed;
    default:
        sayMessage(17);
        return kExitNoFrame;
    }
}

int Session::requireWorkingFrame(bool notCalibratedAccepted)
{
    if (const int opened = openFrame(); opened != kExitDone)
        return opened;
    if (m_statusResult == device::kStatusReady)
        return kExitDone;
    if (m_statusResult == device::kStatusNotCalibrated && notCalibratedAccepted)
        return kExitDone;
    sayMessage(device::statusMessageId(m_statusResult));
    // Records a pulled write left invalid: the journal may hold them.
    if (m_statusResult == device::kStatusNotCalibrated && records::journalHasOpenEntries())
        say(QStringLiteral("the journal holds an unfinished write: tovrin-cli records check shows what "
                           "tovrin-cli records restore can put back"));
    return kExitFailed;
}

namespace {

const CliVerbInfo* findVerb(const QString& name)
{
    for (const CliVerbInfo& v : verbs())
        if (name == QLatin1String(v.name))
            return &v;
    return nullptr;
}

// Standard error carries the messages a production script reads; debug
// lines of the libraries belong in the log with everything else the tool
// notes along the way.
void routeDebugLines(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg) {
        std::string line = message.toStdString();
        if (line.empty() || line.back() != '\n')
            line += '\n';
        shell::WriteLog(line);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

void printHelp(QTextStream& s)
{
    s << "usage: tovrin-cli [--simulate | --device <node>] <verb> [arguments]\n\n"
         "Runs one job of the tool on the frame and exits with\n"
         "  0 done, 1 refused or failed, 2 bad usage, 3 no frame.\n\n"
         "  --simulate   use the simulated frame (also TOVRIN_SIMULATE=1)\n"
         "  --device <node>  open this hidraw node (/dev/hidrawN) instead of the\n"
         "               first frame found; see /sys/class/hidraw/*/device/uevent\n"
         "  --help       this text; '<verb> --help' for one verb\n\n"
         "Verbs:\n";
    for (const CliVerbInfo& v : verbs()) {
        const QString line = QStringLiteral("  %1 %2").arg(QLatin1String(v.name), QLatin1String(v.synopsis));
        s << line.leftJustified(44) << ' ' << v.summary << '\n';
    }
    s << "\nThe tool works in its application folder (Tovrin.ini, language file, log/)\n"
         "when that folder is writable; installed, it keeps Tovrin.ini, Tovrin_Key.ini\n"
         "and DeviceInfo.ini in $XDG_CONFIG_HOME/tovrin (~/.config/tovrin), logs and\n"
         "other files it writes in $XDG_DATA_HOME/tovrin (~/.local/share/tovrin).\n"
         "TOVRIN_HOME names one folder for all of them. File arguments are taken\n"
         "relative to the folder the command is started in.\n";
    s.flush();
}

} // namespace

int usage(Session& session, const char* verbName)
{
    const CliVerbInfo* v = findVerb(QLatin1String(verbName));
    if (v)
        session.say(QStringLiteral("usage: tovrin-cli [--simulate] %1 %2").arg(QLatin1String(v->name), QLatin1String(v->synopsis)).trimmed());
    return kExitUsage;
}

int run(int argc, char** argv)
{
    // Only a job that names a screen needs the screens (and a display or the
    // offscreen platform): every other one runs without a window system.
    bool screens = false;
    for (int i = 1; i < argc; ++i)
        screens = screens || std::strcmp(argv[i], "--screen-name") == 0;
    std::unique_ptr<QCoreApplication> app =
        screens ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    std::sort(verbs().begin(), verbs().end(),
              [](const CliVerbInfo& a, const CliVerbInfo& b) { return std::strcmp(a.name, b.name) < 0; });

    bool simulate = app::simulateFromEnvironment();
    bool help = false;
    QString node;
    QStringList rest;
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--simulate")) {
            simulate = true;
        } else if (a == QLatin1String("--device") || a.startsWith(QLatin1String("--device="))) {
            // The node to open, before or after the verb: "--device /dev/hidraw3".
            if (a.size() > 8)
                node = a.mid(9);
            else if (i + 1 < arguments.size())
                node = arguments.at(++i);
            if (node.isEmpty()) {
                Session session;
                session.say(QStringLiteral("tovrin-cli: --device needs a node, e.g. --device /dev/hidraw0"));
                return kExitUsage;
            }
        } else if (rest.isEmpty() && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
            help = true;
        } else {
            rest << a;
        }
    }

    Session session;
    if (help || rest.isEmpty()) {
        QTextStream& s = help ? session.out() : session.err();
        printHelp(s);
        return help ? kExitDone : kExitUsage;
    }
    const CliVerbInfo* verb = findVerb(rest.first());
    if (!verb) {
        session.say(QStringLiteral("tovrin-cli: unknown verb '%1' (see --help)").arg(rest.first()));
        return kExitUsage;
    }
    const QStringList verbArguments = rest.mid(1);
    if (simulate && !node.isEmpty()) {
        session.say(QStringLiteral("tovrin-cli: --device names a real frame's node; the simulated frame has none"));
        return kExitUsage;
    }
    if (verbArguments.contains(QLatin1String("--help"))) {
        session.out() << "usage: tovrin-cli [--simulate] " << verb->name << ' ' << verb->synopsis << "\n  "
                      << verb->summary << '\n';
        return kExitDone;
    }

    // The tool's folders (INI files, language file, logs): the application
    // folder, per-user folders when installed, or TOVRIN_HOME.
    session.setCallerFolder(QDir::currentPath());
    shell::setUpFolders(QCoreApplication::applicationDirPath());
    shell::LoadTexts();

    const app::ChosenFrame frame = app::makeFrame(app::FrameChoice{simulate, node.toStdString()});
    if (!frame.unknownItem.isEmpty()) {
        session.say(QStringLiteral("tovrin-cli: unknown simulator item: %1").arg(frame.unknownItem));
        return kExitUsage;
    }
    session.useFinger(frame.finger);
    // Tests and demonstrations of the simulated frame need not sit out
    // the frame's real waits (status test, retries, polling).
    if (simulate && qgetenv("TOVRIN_SIM_FAST_WAITS") == "1")
        setSleeper([](int) { std::this_thread::yield(); });
    app::installFrame(frame);

    shell::PrepareLogFolders();
    shell::WriteLog("Tovrin log start!\n", true);
    qInstallMessageHandler(routeDebugLines);
    shell::LogF("tovrin-cli %s\n", verb->name);
    const int status = verb->run(session, verbArguments);
    shell::WriteLog("Tovrin log end!\n");
    qInstallMessageHandler(nullptr);
    device::CloseHidDevice();
    app::removeFrame();
    if (frame.flush)
        frame.flush();
    return status;
}

} // namespace tovrin::cli
