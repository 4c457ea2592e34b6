#include "ServiceTexts.h"

#include "BurnFPGAThread.h"
#include "FpgaDownload.h"
#include "RunScriptThread.h"

namespace tovrin::maintenance {
namespace {

// "%s: ... Addr: 0x%04x  value: 0x%02x" with the unit, the low 16 bits of
// the unit address and the byte.
QString requestText(const char* what, const ServiceReport& r)
{
    return QString::asprintf("%s: %s Addr: 0x%04x  value: 0x%02x", r.unit.toUtf8().constData(), what,
                             static_cast<unsigned>(r.address & 0xFFFFu), static_cast<unsigned>(r.value));
}

QString unitText(const char* format, const ServiceReport& r)
{
    return QString::asprintf(format, r.unit.toUtf8().constData());
}

} // namespace

QStringList fpgaTexts(const ServiceReport& r)
{
    switch (r.code) {
    case fpga::OpenFail:
        return {QStringLiteral("FPGA File Open Fail!\n")};
    case fpga::Begin:
        return {QStringLiteral("The FPGA script begins to burn!")};
    case fpga::Chunk:
        return {QString::asprintf("Write %s Fapga process : %d", r.unit.toUtf8().constData(),
                                  fpgaPercent(r.number, static_cast<int>(r.size)))};
    case fpga::WriteFail:
        return {QStringLiteral("g_BurnFPGASucEvent: WaitForSingleObject Failed!\n Download FPGA failed!")};
    case fpga::Done:
        return {QStringLiteral("Success!"), QString::asprintf("Write FPGA Code %dKB Success!", r.number * kFpgaChunk / 1024)};
    case fpga::VerifyFail:
        if (r.detail == QLatin1String("read"))
            return {QString::asprintf("%s flash at 0x%05x could not be read back!\n Download FPGA failed!",
                                      r.unit.toUtf8().constData(), static_cast<unsigned>(r.number))};
        return {QString::asprintf("%s flash at 0x%05x does not hold what was written!\n Download FPGA failed!",
                                  r.unit.toUtf8().constData(), static_cast<unsigned>(r.number))};
    case fpga::Empty:
        return {QStringLiteral("FPGA File is empty: nothing was written!")};
    case fpga::TooLarge:
        return {QStringLiteral("FPGA File is %1 bytes, larger than the FPGA area (%2 bytes): nothing was written!")
                    .arg(r.size)
                    .arg(kFpgaAreaSize)};
    case fpga::BadKey:
        return {QStringLiteral("FPGA key setting %1=\"%2\" is not one hexadecimal byte: nothing was written!")
                    .arg(QLatin1String(kFpgaKeySetting), r.detail)};
    default:
        return {};
    }
}

QStringList scriptTexts(const ServiceReport& r)
{
    switch (r.code) {
    case script::SingleRead:
        return {requestText("FPGASingleRead", r)};
    case script::PortWrite:
        return {requestText("FPGAPortWrite", r)};
    case script::OpenFail:
        return {QStringLiteral("Script Open Fail!")};
    case script::PortRead:
        return {requestText("FPGAPortRead", r)};
    case script::PortReadFail:
        return {unitText("%s: FPGAPortRead error", r), QStringLiteral("PortRead timeout exit, please try again!")};
    case script::PortWriteFail:
        return {unitText("%s: FPGAPortWrite error", r), QStringLiteral("PortWrite timeout exit, please try again!")};
    case script::SingleReadFail:
        return {unitText("%s: FPGASingleRead error", r), QStringLiteral("SingleRead timeout exit, please try again!")};
    case script::BurstReadFail:
        return {QStringLiteral("BurstRead timeout exit, please try again!")};
    case script::BurstWriteFail:
        return {QStringLiteral("BurstWrite timeout exit, please try again!")};
    case script::Delay:
        return {QString::asprintf("Delay %d ms!", r.number)};
    case script::I2cWriteFail:
        return {unitText("%s: I2CWrite error", r)};
    case script::I2cReadFail:
        return {unitText("%s: I2C_Read error", r)};
    case script::Done:
        return {QStringLiteral("Success!")};
    case script::I2cRead:
        return {requestText("I2C_Read", r)};
    case script::I2cWrite:
        return {requestText("I2CWrite", r)};
    case script::LineRefused:
        return {QStringLiteral("Script line %1 cannot be run: %2.").arg(r.number).arg(r.detail)};
    case script::Refused:
        return {QStringLiteral("Script refused: %1; nothing was run.").arg(r.detail)};
    case script::BurstFile:
        if (r.unit.isEmpty())  // bwd
            return {QStringLiteral("BurstWrite: file %1 does not hold %2 bytes, please check it!").arg(r.detail).arg(r.number)};
        return {QStringLiteral("BurstRead: the data could not be written to file %1, please check the folder and the disk!")
                    .arg(r.detail)};
    default:
        return {};
    }
}

QStringList flashJobTexts(FlashJobKind kind, const ServiceReport& r)
{
    const QByteArray unit = r.unit.toUtf8();
    switch (r.code) {
    case flashjob::EraseFail:
        return {QString::asprintf("%s Flash: erasing the sector at 0x%05x failed!", unit.constData(), r.number)};
    case flashjob::ReadFail:
        return {QString::asprintf("%s Flash: reading the block at 0x%05x failed!", unit.constData(), r.number)};
    case flashjob::WriteFail:
        return {QString::asprintf("%s Flash: writing at 0x%05x failed!", unit.constData(), r.number)};
    case flashjob::VerifyFail:
        return {QString::asprintf("%s Flash: 0x%05x does not read back what was written!", unit.constData(), r.number)};
    case flashjob::FileFail:
        return {QStringLiteral("The flash dump could not be written to %1 (folder not writable or disk full): nothing was saved.")
                    .arg(r.detail)};
    case flashjob::Done:
        if (kind == FlashJobKind::Dump)
            return {QStringLiteral("Read Flash Complete......")};
        return {};
    default:
        return {};
    }
}

QString flashImageProblem(const QString& path, const FlashImageFile& image)
{
    switch (image.status) {
    case FlashImageFile::CannotOpen:
        return QStringLiteral("Flash image %1 cannot be opened: nothing was written.").arg(path);
    case FlashImageFile::WrongSize:
        return QStringLiteral("Flash image %1 is %2 bytes, a flash image is %3 bytes: nothing was written.")
            .arg(path)
            .arg(image.size)
            .arg(kFlashImageSize);
    case FlashImageFile::Ok:
        break;
    }
    return {};
}

} // namespace tovrin::maintenance
