#include "Log.h"

#include "AppContext.h"
#include "Clock.h"
#include "Folders.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tovrin::shell {

QString logFolderName(const QDate& date)
{
    return QString::asprintf("%d-%02d-%02d", date.year(), date.month(), date.day());
}

std::string formatLogLine(const QDateTime& when, const std::string& text)
{
    const QDate d = when.date();
    const QTime t = when.time();
    char line[kMaxLogLine + 1];
    std::snprintf(line, sizeof line, "(%d-%d-%d %02d:%02d:%02d) %s", d.year(), d.month(), d.day(),
                  t.hour(), t.minute(), t.second(), text.c_str());
    return line;
}

namespace {

// Removes a folder with everything in it, read-only entries included. A
// symbolic link is removed as a link: what it points to lies outside the log
// and is never touched (neither deleted nor made writable).
void removeTree(const QString& path)
{
    if (QFileInfo(path).isSymLink()) {
        QFile::remove(path);
        return;
    }
    // The iterator does not descend into linked folders; links themselves
    // are listed and skipped below, since changing a link's permissions
    // would change its target's.
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    std::vector<QString> entries;
    while (it.hasNext())
        entries.push_back(it.next());
    // Make everything writable first: a read-only folder refuses to lose its files.
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                    | QFileDevice::ReadOwner);
    for (const QString& e : entries) {
        const QFileInfo info(e);
        if (info.isSymLink())
            continue;
        QFile::setPermissions(e, QFile::permissions(e) | QFileDevice::WriteOwner | QFileDevice::ReadOwner
                                     | (info.isDir() ? QFileDevice::ExeOwner : QFileDevice::Permissions()));
    }
    // removeRecursively() unlinks links inside the tree without following them.
    QDir(path).removeRecursively();
}

bool appendTo(const std::string& path, const std::string& bytes, bool truncate)
{
    if (path.empty())
        return false;
    std::FILE* f = std::fopen(path.c_str(), truncate ? "wb" : "ab");
    if (!f)
        return false;
    // One write call per line: lines of concurrent threads never tear.
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return true;
}

std::string vformat(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char small[512];
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0)
        return {};
    if (n < static_cast<int>(sizeof small))
        return std::string(small, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, args);
    big.resize(static_cast<size_t>(n));
    return big;
}

} // namespace

void PrepareLogFolders()
{
    const QString logRoot = dataPath(QStringLiteral("log"));
    QDir().mkpath(logRoot);
    const QDate today = localNow().date();
    QDir().mkpath(logRoot + "/" + logFolderName(today));

    QStringList kept;
    for (int back = 0; back < 7; ++back)
        kept << logFolderName(today.addDays(-back));

    const QStringList folders = QDir(logRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& name : folders) {
        if (!kept.contains(name))
            removeTree(logRoot + "/" + name);
    }
}

void AppContext::WriteLog(const std::string& text, bool newFile, bool raw)
{
    const QDateTime now = localNow();
    if (raw) {
        appendTo(logFilePath(), text, false);
        return;
    }
    if (newFile) {
        const QDate d = now.date();
        const QTime t = now.time();
        const QString folder = dataPath(QStringLiteral("log/")) + logFolderName(d);
        QDir().mkpath(folder);
        // Built whole, not into a fixed buffer: an installed tool's log lives
        // under the user's home, whose path may be long.
        char stem[32];
        std::snprintf(stem, sizeof stem, "/Tovrin_log_%02d%02d%02d", t.hour(), t.minute(), t.second());
        const std::string path = folder.toStdString() + stem + ".txt";
        const std::string prefix = folder.toStdString() + stem + "_";
        {
            std::lock_guard lock(m_mutex);
            m_logFilePath = path;
            m_logPrefix = prefix;
        }
        appendTo(path, formatLogLine(now, text), true);
        return;
    }
    appendTo(logFilePath(), formatLogLine(now, text), false);
}

void WriteLog(const std::string& text, bool newFile, bool raw)
{
    AppContext::instance().WriteLog(text, newFile, raw);
}

void LogF(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = vformat(format, args);
    va_end(args);
    WriteLog(text);
}

void LogRawF(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = vformat(format, args);
    va_end(args);
    WriteLog(text, false, true);
}

} // namespace tovrin::shell
