#include "Versions.h"

#include "HInfo.h"
#include "UpdateSteps.h"
#include "records/CalibrationRecord.h"
#include "shell/AppContext.h"
#include "shell/Log.h"

#include <array>

namespace tovrin::update {

using device::Unit;

QString versionString(uint32_t word)
{
    const records::Version v{word};
    return QStringLiteral("%1.%2.%3").arg(v.major()).arg(v.minor()).arg(v.build());
}

QString firmwareIdText(uint32_t word)
{
    const records::Version v{word};
    return shell::context().text(42).arg(v.major()).arg(v.minor()).arg(v.build());
}

VersionReport readVersionReport(bool slaveOnly)
{
    VersionReport r;
    r.slaveOnly = slaveOnly;
    for (const Unit unit : {Unit::Master, Unit::Slave}) {
        if (slaveOnly && unit == Unit::Master)
            continue;
        if (!readImageInformation(unit))
            return r;
        const size_t u = unit == Unit::Slave ? 1 : 0;
        r.image[u] = records::g_ImageVersion[u].load();
        r.bootLoader[u] = records::g_BootloaderVersion[u].load();
    }
    r.ok = true;
    return r;
}

QString versionText(const VersionReport& report, const QString& toolVersion)
{
    const shell::AppContext& ctx = shell::context();
    QString text = ctx.text(41) + toolVersion + QStringLiteral("\n");
    if (report.slaveOnly)
        return text + firmwareIdText(report.image[1]);
    text += QStringLiteral("(M)") + firmwareIdText(report.image[0]);
    text += QStringLiteral("(S)") + firmwareIdText(report.image[1]);
    const uint32_t stored = report.bootLoader[1];
    const records::Version boot{shownBootLoaderWord(stored)};
    text += ctx.text(43).arg(boot.major()).arg(boot.minor()).arg(boot.build());
    if (stored == kErasedVersionWord)
        shell::WriteLog("BootloaderID: V1.0.7\n");
    else
        shell::LogF("BootloaderID: V%d.%d.%d\n", boot.major(), boot.minor(), boot.build());
    return text;
}

int logVersions()
{
    struct UnitLog {
        Unit unit;
        const char* head;
        int hinfoFailed;
        int imageFailed;
    };
    static constexpr UnitLog kUnits[] = {
        {Unit::Master, "\nMaster:\n", 73, 74},
        {Unit::Slave, "--------------------------------------\n\nSlave:\n", 75, 76},
    };
    for (const UnitLog& u : kUnits) {
        shell::WriteLog(u.head);
        std::array<uint8_t, kHInfoReadSize> area{};
        if (!readHInfoArea(u.unit, area)) {
            shell::WriteLog("ReadHInfo Failed!\n");
            return u.hinfoFailed;
        }
        const HInfo h = decodeHInfo(std::span(area).first<kHInfoSize>());
        shell::LogF("HInfo:\n0x%08x,0x%02x,0x%02x,0x%08x,0x%08x,0x%08x,0x%08x,0x%08x,0x%08x,0x%08x,0x%08x\n", h.magic,
                    h.b4, h.b5, h.w6, h.version, h.w14, h.w18, h.w22, h.w26, h.w30, h.w34);
        if (!readImageInformation(u.unit)) {
            shell::WriteLog("ReadImage Failed!\n");
            return u.imageFailed;
        }
        const size_t i = u.unit == Unit::Slave ? 1 : 0;
        const uint32_t image = records::g_ImageVersion[i].load();
        const uint32_t boot = records::g_BootloaderVersion[i].load();
        if (u.unit == Unit::Master)
            shell::LogF("Imageversion:0x%08x,bootloader version=0x%08x\n", image, boot);
        else
            shell::LogF("Imageversion:0x%08x, bootloader version=0x%08x\n", image, boot);
    }
    return -1;
}

} // namespace tovrin::update
