#pragma once
// Runs a register script (ScriptParser.h) against the camera units, line
// after line, and stops at the first request that fails. The window
// switches the frame to calibration mode before it starts the thread, and
// back to work mode on code 30.
//
// Codes (sendData, and sendReport with the unit, address and value of the
// request that the text names):
//   13 srd done      15 pwd done      21 prd done      31 i2crd done    32 i2cwd done
//   22 prd failed    23 pwd failed    24 srd failed    25 brd failed    26 bwd failed
//   28 i2cwd failed  29 i2crd failed  (each ends the run)
//   27 a delay begins (number: ms; reported before the pause)
//   20 the script cannot be opened    30 the end of the script was reached
//   63 a line cannot be run (number: line, detail: what is wrong); every
//      such line is reported, then 64
//   64 the script was refused before anything ran (detail: why)
//   65 a burst file could not be read or written (detail: file); ends the run
// The whole script is read and checked before its first request: a script
// with a line that cannot be run runs nothing.
// A stop request and a frame that disappears end the run without a code.

#include "ServiceWorker.h"

#include <QString>

#include <atomic>
#include <mutex>

namespace tovrin::maintenance {

struct ScriptCommand;

namespace script {
constexpr int SingleRead = 13;
constexpr int PortWrite = 15;
constexpr int OpenFail = 20;
constexpr int PortRead = 21;
constexpr int PortReadFail = 22;
constexpr int PortWriteFail = 23;
constexpr int SingleReadFail = 24;
constexpr int BurstReadFail = 25;
constexpr int BurstWriteFail = 26;
constexpr int Delay = 27;
constexpr int I2cWriteFail = 28;
constexpr int I2cReadFail = 29;
constexpr int Done = 30;
constexpr int I2cRead = 31;
constexpr int I2cWrite = 32;
constexpr int LineRefused = 63;
constexpr int Refused = 64;
constexpr int BurstFile = 65;
} // namespace script

class RunScriptThread : public ServiceWorker {
    Q_OBJECT
public:
    explicit RunScriptThread(QObject* parent = nullptr);
    ~RunScriptThread() override;  // stops and waits

    void setScript(const QString& path);

protected:
    void work() override;

private:
    // Runs one command; false ends the script.
    bool execute(const ScriptCommand& command);
    void reportRequest(int code, uint32_t address, uint8_t value);

    std::mutex m_mutex;
    QString m_path;
};

} // namespace tovrin::maintenance
