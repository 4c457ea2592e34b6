#include "windows/settingsjob/ScreenSettings.h"

#include "shell/CommentIniWriter.h"
#include "shell/Log.h"
#include "shell/Settings.h"

namespace tovrin::settingsjob {

namespace settings = shell::settings;

ControlState loadControls(const QString& file)
{
    ControlState c;
    c.portrait = settings::Screen_Direction.read(file) != 0;
    const int rotation = settings::Vertical_Mode.read(file);
    // A rotation the combo box does not offer shows as "No rotation".
    c.rotation = c.portrait && rotation >= 0 && rotation < kRotations ? rotation : 0;
    c.touchTypeEnabled = settings::AutoCheck.read(file) != 0;
    if (c.touchTypeEnabled) {
        const int t = settings::TouchType.read(file);
        c.touchType = t == 2 || t == 1 ? t : 0;
    }
    const int size = settings::Screen_Size.read(file);
    if (size >= 0 && size < kSizeClasses)
        c.sizeIndex = size;
    c.doubleWritingOpen = settings::OperationMode.read(file) != 0;
    c.fourPoint = settings::FourCalib_en.read(file) == 1;
    return c;
}

DialogSettings settingsFromControls(const ControlState& c, const QString& file)
{
    DialogSettings s;
    s.screenDirection = c.portrait ? 1 : 0;
    s.verticalMode = c.portrait ? c.rotation : 0;
    s.touchType = c.touchTypeEnabled ? c.touchType.value_or(0) : 0;
    if (c.sizeIndex) {
        s.screenSize = *c.sizeIndex;
    } else {
        const int stored = settings::Screen_Size.read(file);
        s.screenSize = stored >= 0 && stored < kSizeClasses ? stored : kDefaultSize;
    }
    s.operationMode = c.doubleWritingOpen ? 1 : 0;
    s.fourCalib = c.fourPoint ? 1 : 0;
    s.imageMode = settings::ImageMode.read(file) != 0 ? 1 : 0;
    return s;
}

void writeDialogSettings(const DialogSettings& s, const QString& file)
{
    shell::CommentIniWriter ini(file);
    ini.setValue(QString::fromLatin1(settings::Screen_Direction.key), s.screenDirection);
    ini.setValue(QString::fromLatin1(settings::Vertical_Mode.key), s.verticalMode);
    ini.setValue(QString::fromLatin1(settings::TouchType.key), s.touchType);
    ini.setValue(QString::fromLatin1(settings::Screen_Size.key), s.screenSize);
    ini.setValue(QString::fromLatin1(settings::OperationMode.key), s.operationMode);
    ini.setValue(QString::fromLatin1(settings::FourCalib_en.key), s.fourCalib);
    ini.setValue(QString::fromLatin1(settings::ImageMode.key), s.imageMode);
    ini.close();
}

std::vector<std::pair<QString, int>> iniFromDeviceRecord(const std::optional<records::ScreenRecord>& record)
{
    auto key = [](const shell::IntSetting& s) { return QString::fromLatin1(s.key); };
    if (!record)
        return {};
    if (record->isValid()) {
        const int rotation = record->Vertical_Mode;
        return {{key(settings::Vertical_Mode), rotation >= 1 ? rotation : 0},
                {key(settings::Screen_Direction), rotation >= 1 ? 1 : 0},
                {key(settings::FiveCalibration_en), record->FiveCalibration_en},
                {key(settings::Screen_Size), record->Screen_Size},
                {key(settings::OperationMode), record->OperationMode},
                {key(settings::CalibWay), record->CalibWay},
                {key(settings::ImageMode), record->ImageMode},
                {key(settings::Smoothness), record->smoothness},
                {key(settings::FourCalib_en), record->FourCalib_en},
                {key(settings::TouchType), record->TouchType}};
    }
    return {{key(settings::Screen_Direction), 0}, {key(settings::Vertical_Mode), 0},
            {key(settings::FiveCalibration_en), 0}, {key(settings::Screen_Size), kDefaultSize},
            {key(settings::OperationMode), 0}, {key(settings::CalibWay), 1},
            {key(settings::ImageMode), 1}, {key(settings::Smoothness), 1},
            {key(settings::FourCalib_en), 0}, {key(settings::TouchType), 0}};
}

std::optional<records::ScreenRecord> syncIniFromDevice(const QString& file)
{
    records::ScreenRecord record;
    if (!records::readScreenRecord(record)) {
        shell::WriteLog("SetWin: the Slave screen record could not be read; Tovrin.ini kept\n");
        return std::nullopt;
    }
    const auto writes = iniFromDeviceRecord(record);
    shell::CommentIniWriter ini(file);
    for (const auto& [k, v] : writes)
        ini.setValue(k, v);
    ini.close();
    return record;
}

records::ScreenRecord buildSlaveRecord(const DialogSettings& s, const QString& file)
{
    records::ScreenRecord r;
    r.flag = records::kScreenInfoFlag;
    r.Screen_Size = lowByte(s.screenSize);
    r.smoothness = 0;
    r.ImageMode = 1;
    r.Vertical_Mode = lowByte(s.screenDirection != 0 ? s.verticalMode : 0);
    r.OperationMode = lowByte(s.operationMode);
    r.FiveCalibration_en = 0;
    r.FourCalib_en = lowByte(s.fourCalib);
    r.CalibWay = 1;
    r.calibWayCode = 8;  // goes with calibration way 1
    r.InfraredExpTimeS = lowByte(settings::InfraredExpTimeS.read(file));
    r.InfraredExpGainS = lowByte(settings::InfraredExpGainS.read(file));
    r.zero = 0;
    r.TouchType = lowByte(s.touchType);
    r.XPRightClickMode = lowByte(settings::XPRightClickMode.read(file));
    // The thresholds are signed 32-bit numbers: -1 is stored as FF FF FF FF.
    r.TouchRightClickDistThres = static_cast<uint32_t>(settings::TouchRightClickDistThres.read(file));
    r.TouchRightClickTimeThres = static_cast<uint32_t>(settings::TouchRightClickTimeThres.read(file));
    return r;
}

records::ScreenRecord buildMasterRecord(const records::ScreenRecord& slave, const QString& file)
{
    records::ScreenRecord r = slave;
    r.InfraredExpGainS = lowByte(settings::InfraredExpGainM.read(file));
    r.InfraredExpTimeS = lowByte(settings::InfraredExpTimeM.read(file));
    return r;
}

} // namespace tovrin::settingsjob
