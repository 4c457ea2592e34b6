// tovrin-cli status: finds the frame and prints what its status test said.
#include "Cli.h"

#include "device/DeviceStatus.h"
#include "shell/AppContext.h"

namespace tovrin::cli {
namespace {

QString hex32(uint32_t v)
{
    return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0'));
}

int runStatus(Session& session, const QStringList& arguments)
{
    if (!arguments.isEmpty())
        return usage(session, "status");
    const int opened = session.openFrame(true);
    if (opened != kExitDone)
        return opened;
    QTextStream& out = session.out();
    out << "product: 0x" << QStringLiteral("%1").arg(session.productId(), 4, 16, QLatin1Char('0')) << '\n';
    if (session.inBootLoader()) {
        out << "firmware: boot loader\n";
        return kExitFailed;
    }
    const int result = session.statusResult();
    QString text = shell::context().text(device::statusMessageId(result));
    if (device::statusMessageId(result) == 142)
        text = device::errorWordsText(text);
    out << "status: " << result << ' ' << text.trimmed() << '\n';
    out << "error words: " << hex32(device::g_ErrorCodeM.load()) << ' ' << hex32(device::g_ErrorCodeS.load()) << '\n';
    out << "extended frame: " << device::ExtendedFrameDevice.load() << '\n';
    return result == device::kStatusReady ? kExitDone : kExitFailed;
}

const CliVerb kStatus{"status", "", "find the frame and run its status test", runStatus};

} // namespace
} // namespace tovrin::cli
