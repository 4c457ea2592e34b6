// tovrin_fuzz_replay <target> <file or folder>...: runs one fuzz target once
// on every file given and on every file of the folders given (a missing
// folder counts as empty), in name order. A broken invariant or a crash
// ends the program abnormally; otherwise it prints how many inputs ran.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>
#include <cstring>

struct FuzzTarget {
    const char* name;
    int (*run)(const uint8_t*, size_t);
};
extern const FuzzTarget kFuzzTargets[];

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tovrin_fuzz_replay <target> <file or folder>...\n");
        return 2;
    }
    const FuzzTarget* target = nullptr;
    for (const FuzzTarget* t = kFuzzTargets; t->name; ++t)
        if (std::strcmp(t->name, argv[1]) == 0)
            target = t;
    if (!target) {
        std::fprintf(stderr, "tovrin_fuzz_replay: no target '%s'\n", argv[1]);
        return 2;
    }
    QStringList files;
    for (int i = 2; i < argc; ++i) {
        const QFileInfo info(QString::fromLocal8Bit(argv[i]));
        if (info.isDir()) {
            for (const QFileInfo& f : QDir(info.filePath()).entryInfoList(QDir::Files, QDir::Name))
                files << f.absoluteFilePath();
        } else if (info.isFile()) {
            files << info.absoluteFilePath();
        }
    }
    for (const QString& name : files) {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "tovrin_fuzz_replay: cannot read %s\n", qPrintable(name));
            return 1;
        }
        const QByteArray bytes = f.readAll();
        std::fprintf(stderr, "%s: %s (%lld bytes)\n", target->name, qPrintable(QFileInfo(name).fileName()),
                     static_cast<long long>(bytes.size()));
        target->run(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
    }
    std::printf("%s: %lld inputs replayed\n", target->name, static_cast<long long>(files.size()));
    return 0;
}
