#pragma once
// tovrin-cli: every job of the tool without windows, for production lines,
// scripts and checks on the wire. A verb drives the same worker classes as
// the windows do; this file only holds what all verbs share: the exit codes,
// the session (output, the frame, the folders) and the verb registry.
//
// A verb is registered by a file of this folder with a CliVerb object at
// namespace scope:
//
//   const tovrin::cli::CliVerb kStatus{"status", "", "the frame's status test", runStatus};
//
// The files are compiled straight into the executable, so the registration
// is never dropped by the linker.

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstdint>
#include <memory>
#include <vector>

namespace tovrin::device {
class Finger;
}

namespace tovrin::cli {

// Exit codes: stable, production scripts test them.
enum ExitCode : int {
    kExitDone = 0,     // the job was done
    kExitFailed = 1,   // the job was refused or failed (the message says why)
    kExitUsage = 2,    // bad command line
    kExitNoFrame = 3,  // no frame found
};

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Standard output (results) and standard error (messages), UTF-8.
    QTextStream& out() { return m_out; }
    QTextStream& err() { return m_err; }

    // Prints message id's text of the current language on standard error,
    // with the arguments filled in.
    void sayMessage(int messageId, const QStringList& arguments = {});
    // Prints a line on standard error.
    void say(const QString& line);

    // Running against the simulated frame (--simulate or TOVRIN_SIMULATE=1).
    bool simulated() const { return static_cast<bool>(m_finger); }
    // The simulated frame's finger (device/Finger.h); null on a real frame.
    device::Finger* finger() const { return m_finger.get(); }

    // A file argument of the command line, relative to the folder the
    // command was started in (the tool itself works in its application
    // folder, where its INI files and logs are).
    QString filePath(const QString& argument) const;

    // Finds and opens the frame exactly as the engineering window's
    // detection does and runs the status test. Returns kExitDone when a
    // frame with its application runs (statusResult() then holds the status
    // test's result), kExitNoFrame when there is none. A frame in its boot
    // loader counts as opened when bootLoaderAccepted, else it is refused
    // with a message (kExitFailed).
    int openFrame(bool bootLoaderAccepted = false);
    bool frameOpen() const { return m_open; }
    bool inBootLoader() const { return m_bootLoader; }
    uint16_t productId() const { return m_productId; }
    int statusResult() const { return m_statusResult; }

    // The frame's status test result as a verb that needs a working frame
    // takes it: kExitDone when ready (or only not leveled/calibrated, when
    // notCalibratedAccepted), else the status message and kExitFailed.
    int requireWorkingFrame(bool notCalibratedAccepted);

    // Set up by main(); not for verbs.
    void useFinger(std::shared_ptr<device::Finger> finger);
    void setCallerFolder(const QString& folder) { m_callerFolder = folder; }

private:
    QTextStream m_out;
    QTextStream m_err;
    std::shared_ptr<device::Finger> m_finger;
    QString m_callerFolder;
    bool m_open = false;
    bool m_bootLoader = false;
    uint16_t m_productId = 0;
    int m_statusResult = -1;
};

using VerbFunction = int (*)(Session& session, const QStringList& arguments);

struct CliVerbInfo {
    const char* name;
    const char* synopsis;  // the arguments after the verb, "" for none
    const char* summary;   // one line for --help
    VerbFunction run;
};

std::vector<CliVerbInfo>& verbs();

struct CliVerb {
    CliVerb(const char* name, const char* synopsis, const char* summary, VerbFunction run)
    {
        verbs().push_back({name, synopsis, summary, run});
    }
};

// The usage line of a verb ("tovrin-cli [--simulate] status") on standard
// error; returns kExitUsage so that a verb can `return usage(session, "x")`.
int usage(Session& session, const char* verbName);

// Runs the whole command line (main() of tovrin-cli).
int run(int argc, char** argv);

} // namespace tovrin::cli
