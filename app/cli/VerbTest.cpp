// tovrin-cli test: the device test of the engineering tool (sensor and FPGA
// communication of both units, with the version log), exactly as the Test
// button runs it.
#include "Cli.h"

#include "maintenance/check/DeviceTest.h"
#include "shell/AppContext.h"

namespace tovrin::cli {
namespace {

int runTest(Session& session, const QStringList& arguments)
{
    if (!arguments.isEmpty())
        return usage(session, "test");
    if (const int opened = session.openFrame(false); opened != kExitDone)
        return opened;
    QTextStream& out = session.out();
    const check::DeviceTestReport report = check::runDeviceTest([&](int id) {
        out << shell::context().text(id).trimmed() << Qt::endl;
    });
    if (!report.enter.ok) {
        session.sayMessage(report.enter.deviceAbsent ? 17 : 142);
        return report.enter.deviceAbsent ? kExitNoFrame : kExitFailed;
    }
    if (report.versionLogError >= 0)
        session.sayMessage(report.versionLogError);
    struct Group {
        const char* name;
        int message;
    };
    static constexpr Group kGroups[] = {{"left sensor", 26}, {"left FPGA", 27}, {"right sensor", 29}, {"right FPGA", 30}};
    for (const Group& g : kGroups)
        out << g.name << ": " << (report.failedGroups.contains(g.message) ? "bad" : "ok") << '\n';
    if (!report.passed()) {
        for (int id : report.messages)
            session.sayMessage(id);
        return kExitFailed;
    }
    out << shell::context().text(31).trimmed() << '\n';
    return kExitDone;
}

const CliVerb kTest{"test", "", "the device test: sensor and FPGA communication of both units", runTest};

} // namespace
} // namespace tovrin::cli
