#pragma once
// Start-up: which tool runs (engineering, end-user or production test), one
// instance per user, the application folder as working folder, the context
// with skin, fonts and texts, the transport (real frame or --simulate).

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLockFile;

namespace tovrin::app {

struct Arguments {
    bool simulate = false;        // --simulate anywhere on the command line, or TOVRIN_SIMULATE=1
    bool productionTest = false;  // --production-test anywhere: the production test for this start
    QString first;                // the first other argument: "-M", "-D", "-U" or anything
};

Arguments parseArguments(const QStringList& arguments, bool simulateFromEnvironment);

// The tool flavour: a switch is stored in Tovrin.ini and used; without one
// the stored value is used when it is 0, 2, 3 or 4, else 1.
int chooseFlavour(const QString& firstArgument);

// The per-user single-instance lock, keyed "Tovrin", in shell::lockFolder() unless another
// is given. A lock left by a crashed instance does not block the next start.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockFolder = QString());
    ~SingleInstance();
    bool acquire();
    QString lockFilePath() const;

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_path;
};

// The whole start-up and event loop; returns the exit status.
int run(int argc, char** argv);

} // namespace tovrin::app
