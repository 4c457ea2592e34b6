#pragma once
// Where the tool keeps its files.
//
// A build tree or a portable copy keeps everything in its application
// folder (the executable's folder), as it always has. An installed tool
// (the executable's folder is not writable, or an install prefix holds
// share/tovrin/ beside it) keeps what it writes per user, by the XDG rules:
//
//   configuration  $XDG_CONFIG_HOME/tovrin/   Tovrin.ini, Tovrin_Key.ini, DeviceInfo.ini
//   data           $XDG_DATA_HOME/tovrin/     log/, SampleData/, the record journal,
//                                             spreadsheets
//   shared         <prefix>/share/tovrin/     skin/, Tovrin_language.lrp, the default
//                                             INI files (read only)
//   lock           $XDG_RUNTIME_DIR/          Tovrin.lock
//
// An XDG variable that is unset, empty or not an absolute path counts as
// missing: $HOME/.config and $HOME/.local/share stand in; without a runtime
// folder the lock goes into the data folder. TOVRIN_HOME names one folder
// that takes every role, like an application folder.
//
// decideFolders() is the one place that decides; everything else asks
// configPath(), dataPath(), sharePath() or lockFolder().

#include <QString>

namespace tovrin::shell {

struct Folders {
    QString config;
    QString data;
    QString share;
    QString lock;
    bool perUser = false;  // true: the user's XDG folders; false: one application folder
};

// What the decision looks at.
struct FolderFacts {
    QString appDir;                // the executable's folder
    bool appDirWritable = true;
    bool shareBeside = false;      // appDir/../share/tovrin exists: an install prefix
    QString tovrinHome;            // TOVRIN_HOME
    QString xdgConfigHome;         // XDG_CONFIG_HOME
    QString xdgDataHome;           // XDG_DATA_HOME
    QString xdgRuntimeDir;         // XDG_RUNTIME_DIR
    QString home;                  // HOME
};

Folders decideFolders(const FolderFacts& facts);

// The facts of this process for an executable in appDir: its environment
// and the file system.
FolderFacts folderFacts(const QString& appDir);

// The folders of this process. Until useFolders() is called every role is
// the current folder ".", which is what the tests of single parts expect.
void useFolders(const Folders& folders);
Folders folders();

// A file of the configuration folder. A name with a folder part (a path)
// is returned as it is, so that callers may name any file.
QString configPath(const QString& name);
// The data folder, or a file or folder in it. Other parts of the tool keep
// their own sub-folders here (log/, SampleData/, records/).
QString dataPath(const QString& name = QString());
// A read-only file or folder shipped with the tool.
QString sharePath(const QString& name);
QString lockFolder();

// The INI files the tool ships with its defaults and copies into the
// configuration folder at a user's first start.
inline constexpr const char* kDefaultIniFiles[] = {"Tovrin.ini", "Tovrin_Key.ini", "DeviceInfo.ini"};

// Creates the configuration and data folders; on a per-user start copies
// the shipped default INI files that the configuration folder lacks (never
// over a file the user has). False when a folder cannot be created.
bool prepareFolders(const Folders& folders);

// Start-up of every program of the tool: decides the folders for the
// executable in appDir, prepares and uses them, and makes the data folder
// the current folder (so that a relative name lands there too).
Folders setUpFolders(const QString& appDir);

} // namespace tovrin::shell
