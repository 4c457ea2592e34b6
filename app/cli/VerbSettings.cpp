// tovrin-cli settings: the frame's screen information record and the
// settings of Tovrin.ini; with options, stores new settings exactly as the
// settings window's OK does (the same job, SettingsSaveThread).
#include "Cli.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "shell/AppContext.h"
#include "shell/Settings.h"
#include "windows/settingsjob/ScreenSettings.h"
#include "windows/settingsjob/SettingsSave.h"

#include <QEventLoop>

#include <optional>

namespace tovrin::cli {
namespace {

using settingsjob::ControlState;

void printRecord(QTextStream& out, const records::ScreenRecord& r)
{
    out << "record: " << (r.isValid() ? "valid" : "no settings stored") << QStringLiteral(" (magic 0x%1)\n").arg(r.flag, 8, 16, QLatin1Char('0'));
    out << "  screen size class: " << r.Screen_Size << '\n'
        << "  smoothness: " << r.smoothness << '\n'
        << "  image mode: " << r.ImageMode << '\n'
        << "  rotation: " << r.Vertical_Mode << '\n'
        << "  double writing: " << r.OperationMode << '\n'
        << "  five-point calibration: " << r.FiveCalibration_en << '\n'
        << "  four-point calibration: " << r.FourCalib_en << '\n'
        << "  calibration way: " << r.CalibWay << " (" << r.calibWayCode << ")\n"
        << "  infrared exposure time: " << r.InfraredExpTimeS << '\n'
        << "  infrared exposure gain: " << r.InfraredExpGainS << '\n'
        << "  touch type: " << r.TouchType << '\n'
        << "  right-click mode: " << r.XPRightClickMode << '\n'
        << "  right-click distance threshold: " << static_cast<int32_t>(r.TouchRightClickDistThres) << '\n'
        << "  right-click time threshold: " << static_cast<int32_t>(r.TouchRightClickTimeThres) << '\n';
}

void printIni(QTextStream& out)
{
    namespace s = shell::settings;
    out << "Tovrin.ini:\n";
    for (const shell::IntSetting& key : {s::Screen_Size, s::Screen_Direction, s::Vertical_Mode, s::FourCalib_en,
                                         s::TouchType, s::AutoCheck, s::OperationMode, s::ImageMode, s::Smoothness,
                                         s::FiveCalibration_en, s::CalibWay, s::InfraredExpTimeS, s::InfraredExpGainS,
                                         s::InfraredExpTimeM, s::InfraredExpGainM, s::XPRightClickMode,
                                         s::TouchRightClickDistThres, s::TouchRightClickTimeThres})
        out << "  " << key.key << '=' << key.read() << '\n';
}

struct Options {
    std::optional<int> size, rotation, points, touchType, doubleWriting;
    bool any() const { return size || rotation || points || touchType || doubleWriting; }
};

// Parses "--name value" pairs; false on anything it does not know or a
// value outside the dialog's choices.
bool parseOptions(const QStringList& arguments, Options& o)
{
    for (int i = 0; i < arguments.size(); i += 2) {
        if (i + 1 >= arguments.size())
            return false;
        bool ok = false;
        const int v = arguments.at(i + 1).toInt(&ok);
        if (!ok)
            return false;
        const QString& name = arguments.at(i);
        if (name == QLatin1String("--size") && v >= 0 && v < settingsjob::kSizeClasses)
            o.size = v;
        else if (name == QLatin1String("--rotation") && v >= 0 && v < settingsjob::kRotations)
            o.rotation = v;
        else if (name == QLatin1String("--points") && (v == 16 || v == 4))
            o.points = v;
        else if (name == QLatin1String("--touch-type") && v >= 0 && v <= 2)
            o.touchType = v;
        else if (name == QLatin1String("--double-writing") && (v == 0 || v == 1))
            o.doubleWriting = v;
        else
            return false;
    }
    return true;
}

int apply(Session& session, const Options& o)
{
    // As the dialog does: the frame's record into the INI, the controls
    // from the INI, then the choices made.
    if (device::SwitchModeChecked(device::mode::Calibration).ok)
        settingsjob::syncIniFromDevice();
    ControlState c = settingsjob::loadControls();
    if (o.size)
        c.sizeIndex = *o.size;
    if (o.rotation) {
        c.rotation = *o.rotation;
        c.portrait = *o.rotation != 0;  // a rotation is a portrait mounting
    }
    if (o.points)
        c.fourPoint = *o.points == 4;
    if (o.touchType)
        c.touchType = *o.touchType;  // the choices are there only with AutoCheck (checked before)
    if (o.doubleWriting)
        c.doubleWritingOpen = *o.doubleWriting == 1;

    const settingsjob::DialogSettings settings = settingsjob::settingsFromControls(c);
    settingsjob::writeDialogSettings(settings);
    const records::ScreenRecord slave = settingsjob::buildSlaveRecord(settings);
    const records::ScreenRecord master = settingsjob::buildMasterRecord(slave);

    settingsjob::SettingsSaveThread job;
    QEventLoop loop;
    QObject::connect(&job, &settingsjob::SettingsSaveThread::sendData, &loop, [&loop](int) { loop.quit(); },
                     Qt::QueuedConnection);
    job.prepare(slave, master);
    job.startWork();
    loop.exec();
    job.wait();
    const settingsjob::SaveResult result = job.result();
    QTextStream& out = session.out();
    if (result.succeeded()) {
        out << (result.outcome == settingsjob::SaveOutcome::Unchanged ? "unchanged: nothing written\n"
                                                                      : "stored: Slave and Master read back equal\n");
        printRecord(out, slave);
    }
    if (!result.complete()) {
        // Held but not taken (no work mode, no reset) is not done either.
        if (result.succeeded() && !result.frameLost)
            session.say(QStringLiteral("the settings are stored, but the frame did not take %1")
                            .arg(result.workModeOk ? QStringLiteral("the reset") : QStringLiteral("work mode")));
        session.sayMessage(result.frameLost ? 61 : settingsjob::saveMessageId(result));
        return result.frameLost ? kExitNoFrame : kExitFailed;
    }
    return kExitDone;
}

// Prints the Slave's record as flash reads are made: in calibration mode,
// then back to work mode.
int print(Session& session)
{
    const device::ModeSwitchOutcome mode = device::SwitchModeChecked(device::mode::Calibration);
    if (!mode.ok) {
        const bool gone = mode.frameLost || mode.deviceAbsent || !device::g_bDevExist.load();
        session.sayMessage(gone ? 61 : mode.messageId >= 0 ? mode.messageId : 14);
        return gone ? kExitNoFrame : kExitFailed;
    }
    QTextStream& out = session.out();
    records::ScreenRecord record;
    const bool read = records::readScreenRecord(record);
    const device::ModeSwitchOutcome work =
        device::g_bDevExist.load() ? device::SwitchModeChecked(device::mode::Work) : device::ModeSwitchOutcome{};
    if (!device::g_bDevExist.load() || work.frameLost) {
        session.sayMessage(61);
        return kExitNoFrame;
    }
    if (!read) {
        session.sayMessage(18);
        return kExitFailed;
    }
    printRecord(out, record);
    printIni(out);
    if (!work.ok) {
        session.say(QStringLiteral("the frame did not go back to work mode"));
        session.sayMessage(work.messageId >= 0 ? work.messageId : 14);
        return kExitFailed;
    }
    return kExitDone;
}

int runSettings(Session& session, const QStringList& arguments)
{
    Options options;
    if (!parseOptions(arguments, options))
        return usage(session, "settings");
    // The window offers the touch types only with os_check/AutoCheck=1 and
    // stores Auto otherwise: a type chosen without it is refused before the
    // frame is touched.
    if (options.touchType && shell::settings::AutoCheck.read() == 0) {
        session.say(QStringLiteral("--touch-type is stored only with os_check/AutoCheck=1 in Tovrin.ini"));
        return kExitFailed;
    }
    if (const int opened = session.requireWorkingFrame(true); opened != kExitDone)
        return opened;
    if (options.any())
        return apply(session, options);
    return print(session);
}

const CliVerb kSettings{"settings",
                        "[--size 0-7] [--rotation 0-4] [--points 16|4] [--touch-type 0-2] [--double-writing 0|1]",
                        "print the frame's settings record and Tovrin.ini; with options store them as OK does",
                        runSettings};

} // namespace
} // namespace tovrin::cli
