#pragma once
// Register scripts: plain text, one command per line, fields separated by
// blanks. Parsing is pure; RunScriptThread executes what it finds.
//
//   1 prd <addr> <count>             port read (any unit address)
//   1 pwd <addr> <value> <count>     FPGA port write (value: one byte)
//   1 srd <addr>                     FPGA single register read
//   1 brd <addr> <count> <file>      burst read of count bytes into file (any unit address)
//   1 bwd <n> <addr> <last> <file>   burst write of n bytes from file (any unit address)
//   1 # <ms>                         delay
//   1 i2cwd <reg> <count> <value>    sensor register write
//   1 i2crd <reg> <count>            sensor register read
//
// - The first field is a decimal number: only lines starting with 1 run;
//   other numbers skip the line quietly. A line that does not start with a
//   number cannot be read.
// - Addresses, registers, counts and values are hexadecimal ("0x" allowed);
//   n and ms are decimal; a file name has at most 15 characters.
// - Text after the fields is a comment. A command word other than the
//   ones above skips the line quietly.
// - A line holds at most 511 characters; a longer one is refused whole (it
//   would otherwise run with its last field cut).
// - prd and brd take any unit address as written (bit 28: the Slave; bits
//   24-25: register port, sensor or flash), so brd can save flash records;
//   pwd and srd take FPGA register addresses (bit 28 set: the Slave) and go
//   to the Slave also when the page's Slave box is ticked, as the sensor
//   commands do.
// - bwd: n bytes from the start of the file are written to the window that
//   begins at <addr> and ends at <last> (same unit and space); n must fit.
// - Burst files are plain names in the application folder: no folder, no
//   "..", never one of the tool's own settings (.ini) or language (.lrp) files.
//
// A line that cannot be read (a field missing, not a number or out of range,
// a line too long) makes the whole script refused before anything runs;
// nothing is guessed and no value is stored wrapped.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace tovrin::maintenance {

constexpr int kScriptLineMax = 511;
constexpr int kScriptWordMax = 63;
constexpr int kScriptFileNameMax = 15;
constexpr int kBurstReadMax = 624;
constexpr int kBurstWriteMax = 128;
constexpr int kPortCountMax = 4096;
constexpr int kDelayMaxMs = 3600000;       // one hour
constexpr qint64 kScriptSizeMax = 1 << 20;  // 1 MiB of text is far beyond any register script

enum class ScriptOp { PortRead, PortWrite, SingleRead, BurstRead, BurstWrite, Delay, I2cWrite, I2cRead };

struct ScriptCommand {
    ScriptOp op = ScriptOp::Delay;
    uint32_t address = 0;     // prd, pwd, srd, brd, bwd: unit address; i2c: register
    uint32_t value = 0;       // pwd, i2cwd
    int count = 0;            // prd, pwd, brd, i2c; bwd: n
    uint32_t windowLast = 0;  // bwd: last address of the register window
    int delayMs = 0;
    std::string file;         // brd, bwd
};

struct ScriptLine {
    enum Kind {
        Blank,      // nothing but blanks
        Skipped,    // first number other than 1, or another command word: quietly skipped
        Command,    // runs
        Malformed,  // cannot be read: the script is refused (problem)
    };
    Kind kind = Blank;
    int number = 0;          // line number, from 1
    ScriptCommand command;
    QString problem;         // Malformed: what is wrong
};

// Why a burst file name is refused (empty: it is fine).
QString burstFileNameProblem(QByteArrayView name);

// One line without its line end.
ScriptLine parseScriptLine(QByteArrayView text, int lineNumber);

// A whole script. Refused (empty result and a reason) when it is not text
// (holds a NUL byte) or larger than kScriptSizeMax.
struct ParsedScript {
    bool refused = false;
    QString reason;
    std::vector<ScriptLine> lines;  // every line, blank ones included
};
ParsedScript parseScript(const QByteArray& bytes);

} // namespace tovrin::maintenance
