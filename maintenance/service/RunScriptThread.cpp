#include "RunScriptThread.h"

#include "ScriptParser.h"

#include "device/UnitOps.h"
#include "shell/Clock.h"
#include "shell/Log.h"

#include <QFile>
#include <QFileInfo>

namespace tovrin::maintenance {

namespace {

// What the folder holds under a burst file's name: a link may lead out of
// the application folder, and a program is never overwritten.
QString burstFileProblem(const std::string& name)
{
    const QFileInfo info(QString::fromStdString(name));
    if (info.isSymLink())
        return QStringLiteral("its file %1 is a link, which may lead out of the application folder").arg(info.fileName());
    if (info.isFile() && info.isExecutable())
        return QStringLiteral("its file %1 is a program").arg(info.fileName());
    return {};
}

} // namespace

RunScriptThread::RunScriptThread(QObject* parent)
    : ServiceWorker(parent)
{
}

RunScriptThread::~RunScriptThread() { stopAndWait(); }

void RunScriptThread::setScript(const QString& path)
{
    std::lock_guard lock(m_mutex);
    m_path = path;
}

void RunScriptThread::reportRequest(int code, uint32_t address, uint8_t value)
{
    ServiceReport r;
    r.code = code;
    r.unit = QString::fromLatin1(device::CurrentUnitName());
    r.address = address;
    r.value = value;
    report(r);
}

void RunScriptThread::work()
{
    QString path;
    {
        std::lock_guard lock(m_mutex);
        path = m_path;
    }
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        report({script::OpenFail, {}, 0, 0, 0, 0, path});
        return;
    }
    // One byte more than a script may hold tells a huge file apart without
    // reading it whole.
    const QByteArray bytes = file.read(kScriptSizeMax + 1);
    file.close();
    const ParsedScript parsed = parseScript(bytes);
    if (parsed.refused) {
        shell::LogF("RunScript: refused: %s\n", parsed.reason.toUtf8().constData());
        report({script::Refused, {}, 0, 0, 0, 0, parsed.reason});
        return;
    }
    // Every line is checked before the first request goes out: a script
    // that stopped at its fifth line would leave the frame half set up.
    int refused = 0;
    for (const ScriptLine& line : parsed.lines) {
        QString problem = line.problem;
        if (line.kind == ScriptLine::Command && !line.command.file.empty())
            problem = burstFileProblem(line.command.file);
        if (line.kind == ScriptLine::Malformed || !problem.isEmpty()) {
            shell::LogF("RunScript: line %d: %s\n", line.number, problem.toUtf8().constData());
            report({script::LineRefused, {}, 0, 0, line.number, 0, problem});
            ++refused;
        }
    }
    if (refused > 0) {
        report({script::Refused, {}, 0, 0, refused, 0,
                refused == 1 ? QStringLiteral("1 line cannot be run") : QStringLiteral("%1 lines cannot be run").arg(refused)});
        return;
    }
    for (const ScriptLine& line : parsed.lines) {
        if (stopped())
            return;
        if (line.kind == ScriptLine::Command && !execute(line.command))
            return;
    }
    if (!stopped())
        report({script::Done, {}, 0, 0, 0, 0, {}});
}

bool RunScriptThread::execute(const ScriptCommand& c)
{
    using namespace device;
    uint8_t value = 0xFF;
    switch (c.op) {
    case ScriptOp::PortRead:
        if (!PortRead(c.address, c.count, value)) {
            reportRequest(script::PortReadFail, c.address, value);
            return false;
        }
        reportRequest(script::PortRead, LastRegAddress.load(), value);
        return true;
    case ScriptOp::PortWrite:
        if (!PortWrite(c.address, static_cast<uint8_t>(c.value), c.count, false)) {
            reportRequest(script::PortWriteFail, c.address, static_cast<uint8_t>(c.value));
            return false;
        }
        reportRequest(script::PortWrite, LastRegAddress.load(), static_cast<uint8_t>(c.value));
        return true;
    case ScriptOp::SingleRead:
        if (!RegisterRead(c.address, false, value)) {
            reportRequest(script::SingleReadFail, c.address, value);
            return false;
        }
        reportRequest(script::SingleRead, LastRegAddress.load(), value);
        return true;
    case ScriptOp::BurstRead: {
        // The bytes must really reach the file: a file that cannot be written
        // (read-only folder, full disk) is a failure, not a success.
        const QString name = QString::fromStdString(c.file);
        const QFileInfo before(name);
        const qint64 oldSize = before.exists() ? before.size() : 0;
        if (!BurstReadToFile(c.address, c.count, c.file)) {
            reportRequest(script::BurstReadFail, c.address, 0xFF);
            return false;
        }
        const QFileInfo after(name);
        const qint64 newSize = after.exists() ? after.size() : -1;
        if (newSize != c.count && newSize != oldSize + c.count) {
            shell::LogF("RunScript: brd could not write %s\n", c.file.c_str());
            report({script::BurstFile, QString::fromLatin1(CurrentUnitName()), c.address, 0, c.count, 0, name});
            return false;
        }
        return true;
    }
    case ScriptOp::BurstWrite: {
        const QString name = QString::fromStdString(c.file);
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly) || f.size() < c.count) {
            report({script::BurstFile, {}, c.address, 0, c.count, f.exists() ? f.size() : -1, name});
            return false;
        }
        f.close();
        if (!BurstWriteFromFile(c.address, c.count, c.file)) {
            reportRequest(script::BurstWriteFail, c.address, 0xFF);
            return false;
        }
        return true;
    }
    case ScriptOp::Delay:
        // The text comes first, so that it is shown while the thread sleeps.
        report({script::Delay, {}, 0, 0, c.delayMs, 0, {}});
        sleepMsUnless(c.delayMs, stopFlag());
        return true;
    case ScriptOp::I2cWrite:
        if (!I2cWrite(c.address, c.count, static_cast<uint8_t>(c.value))) {
            reportRequest(script::I2cWriteFail, c.address, static_cast<uint8_t>(c.value));
            return false;
        }
        reportRequest(script::I2cWrite, LastRegAddress.load(), static_cast<uint8_t>(c.value));
        return true;
    case ScriptOp::I2cRead:
        if (!I2cRead(c.address, c.count, value)) {
            reportRequest(script::I2cReadFail, c.address, value);
            return false;
        }
        reportRequest(script::I2cRead, LastRegAddress.load(), value);
        return true;
    }
    return false;
}

} // namespace tovrin::maintenance
