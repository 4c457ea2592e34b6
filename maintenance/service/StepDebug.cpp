#include "StepDebug.h"

#include "device/UnitOps.h"

namespace tovrin::maintenance {
namespace {

QString requestText(const char* what, const StepResult& r)
{
    return QString::asprintf("%s: %s Addr: 0x%04x  value: 0x%02x", r.unit.toUtf8().constData(), what,
                             static_cast<unsigned>(r.address & 0xFFFFu), static_cast<unsigned>(r.value));
}

StepResult finish(bool ok, uint8_t value, const char* what, const char* failStatus, const char* failOutput)
{
    StepResult r;
    r.ok = ok;
    r.unit = QString::fromLatin1(device::CurrentUnitName());
    r.address = device::LastRegAddress.load();
    r.value = value;
    if (ok) {
        r.outputText = requestText(what, r);
    } else {
        r.statusText = QString::fromLatin1(failStatus);
        r.outputText = QString::asprintf(failOutput, r.unit.toUtf8().constData());
    }
    return r;
}

} // namespace

std::optional<uint32_t> parseStepHex(const QString& text)
{
    QString t = text.trimmed();
    t.remove(QLatin1Char('_'));
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    if (t.isEmpty() || t.size() > 8)
        return std::nullopt;
    bool ok = false;
    const uint value = t.toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return value;
}

QString stepHexText(uint32_t value)
{
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0'));
}

StepInput checkStepInput(const QString& addressText, const QString& valueText, bool sensor, bool write)
{
    StepInput in;
    const auto address = parseStepHex(addressText);
    const uint32_t maxAddress = sensor ? 0xFFu : 0xFFFFu;
    if (!address) {
        in.problem = QStringLiteral("Reg Addr \"%1\" is not a hexadecimal number.").arg(addressText);
        return in;
    }
    if (*address > maxAddress) {
        in.problem = QStringLiteral("Reg Addr %1 is out of range: %2 registers are 0x00-%3.")
                         .arg(stepHexText(*address), QLatin1String(sensor ? "sensor" : "FPGA"), stepHexText(maxAddress));
        return in;
    }
    StepRequest request{sensor, *address, 0};
    if (write) {
        const auto value = parseStepHex(valueText);
        if (!value) {
            in.problem = QStringLiteral("Value \"%1\" is not a hexadecimal number.").arg(valueText);
            return in;
        }
        if (*value > 0xFF) {
            in.problem = QStringLiteral("Value %1 does not fit one byte (0x00-0xff).").arg(stepHexText(*value));
            return in;
        }
        request.value = static_cast<uint8_t>(*value);
    }
    in.request = request;
    return in;
}

StepResult stepWrite(const StepRequest& q)
{
    if (q.sensor) {
        const bool ok = device::I2cWrite(q.address, 1, q.value);
        return finish(ok, q.value, "I2CWrite", "send message: write_i2c_reg err", "%s: I2CWrite error\n");
    }
    const bool ok = device::PortWrite(q.address, q.value, 1, false);
    return finish(ok, q.value, "FPGAPortWrite", "send message: write_reg err.", "%s: FPGAPortWrite error\n");
}

StepResult stepRead(const StepRequest& q)
{
    uint8_t value = 0xFF;
    if (q.sensor) {
        const bool ok = device::I2cRead(q.address, 1, value);
        return finish(ok, value, "I2C_Read", "send message: read_i2c_reg err.", "%s: I2C_Read error\n");
    }
    const bool ok = device::RegisterRead(q.address, false, value);
    return finish(ok, value, "FPGASingleRead", "send message: read_FPGASingle_reg err.", "%s: FPGASingleRead error\n");
}

} // namespace tovrin::maintenance
