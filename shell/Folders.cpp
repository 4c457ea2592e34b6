#include "Folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <mutex>

#include <unistd.h>

namespace tovrin::shell {

namespace {

// An XDG variable counts only when it holds an absolute path.
QString xdgOr(const QString& value, const QString& fallback)
{
    return (!value.isEmpty() && QDir::isAbsolutePath(value)) ? QDir::cleanPath(value) : fallback;
}

std::mutex g_mutex;
Folders g_folders{QStringLiteral("."), QStringLiteral("."), QStringLiteral("."), QStringLiteral("."), false};

QString inFolder(const QString& folder, const QString& name)
{
    if (name.isEmpty())
        return folder;
    return folder + QLatin1Char('/') + name;
}

} // namespace

Folders decideFolders(const FolderFacts& facts)
{
    Folders f;
    if (!facts.tovrinHome.isEmpty()) {
        const QString home = QDir::cleanPath(facts.tovrinHome);
        f.config = f.data = f.share = f.lock = home;
        return f;
    }
    const QString appDir = QDir::cleanPath(facts.appDir);
    const QString runtime = xdgOr(facts.xdgRuntimeDir, QString());
    if (facts.appDirWritable && !facts.shareBeside) {
        f.config = f.data = f.share = appDir;
        f.lock = runtime.isEmpty() ? appDir : runtime;
        return f;
    }
    f.perUser = true;
    const QString home = facts.home.isEmpty() ? QStringLiteral("/") : QDir::cleanPath(facts.home);
    f.config = xdgOr(facts.xdgConfigHome, home + QStringLiteral("/.config")) + QStringLiteral("/tovrin");
    f.data = xdgOr(facts.xdgDataHome, home + QStringLiteral("/.local/share")) + QStringLiteral("/tovrin");
    f.share = facts.shareBeside ? QDir::cleanPath(appDir + QStringLiteral("/../share/tovrin")) : appDir;
    f.lock = runtime.isEmpty() ? f.data : runtime;
    return f;
}

FolderFacts folderFacts(const QString& appDir)
{
    FolderFacts facts;
    facts.appDir = QDir(appDir).absolutePath();
    // access() asks the kernel: it knows read-only mounts and the caller's groups.
    facts.appDirWritable = ::access(QFile::encodeName(facts.appDir).constData(), W_OK) == 0;
    facts.shareBeside = QFileInfo(facts.appDir + QStringLiteral("/../share/tovrin")).isDir();
    if (const QString home = qEnvironmentVariable("TOVRIN_HOME"); !home.isEmpty())
        facts.tovrinHome = QDir(home).absolutePath();  // a relative name: from the folder started in
    facts.xdgConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    facts.xdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    facts.xdgRuntimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    facts.home = qEnvironmentVariable("HOME");
    if (facts.home.isEmpty())
        facts.home = QDir::homePath();
    return facts;
}

void useFolders(const Folders& folders)
{
    std::lock_guard lock(g_mutex);
    g_folders = folders;
}

Folders folders()
{
    std::lock_guard lock(g_mutex);
    return g_folders;
}

QString configPath(const QString& name)
{
    if (name.contains(QLatin1Char('/')))
        return name;
    return inFolder(folders().config, name);
}

QString dataPath(const QString& name)
{
    return inFolder(folders().data, name);
}

QString sharePath(const QString& name)
{
    return inFolder(folders().share, name);
}

QString lockFolder()
{
    return folders().lock;
}

bool prepareFolders(const Folders& folders)
{
    if (!QDir().mkpath(folders.config) || !QDir().mkpath(folders.data))
        return false;
    if (!folders.perUser || folders.share == folders.config)
        return true;
    for (const char* name : kDefaultIniFiles) {
        const QString target = inFolder(folders.config, QString::fromLatin1(name));
        const QString shipped = inFolder(folders.share, QString::fromLatin1(name));
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink() || !QFileInfo::exists(shipped))
            continue;
        if (QFile::copy(shipped, target)) {
            // The shipped file is read-only for the user; the copy is theirs to
            // change, and theirs alone (DeviceInfo.ini holds the encryption word).
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        }
    }
    return true;
}

Folders setUpFolders(const QString& appDir)
{
    const Folders f = decideFolders(folderFacts(appDir));
    prepareFolders(f);
    useFolders(f);
    QDir::setCurrent(f.data);
    return f;
}

} // namespace tovrin::shell
