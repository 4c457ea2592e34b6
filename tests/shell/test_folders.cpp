// Where the tool keeps its files: the application folder of a build tree or
// portable copy, the user's XDG folders when installed, TOVRIN_HOME; and the
// parts that read and write files asking those folders.
#include "shell/AppContext.h"
#include "shell/CommentIniWriter.h"
#include "shell/Folders.h"
#include "shell/Language.h"
#include "shell/Log.h"
#include "shell/Settings.h"
#include "shell/Skin.h"
#include "tests/support/TemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tovrin::shell;

namespace {

// A user's desktop session on an installed tool: everything set.
FolderFacts installed()
{
    FolderFacts f;
    f.appDir = "/usr/bin";
    f.appDirWritable = false;
    f.shareBeside = true;
    f.xdgConfigHome = "/home/tech/.config";
    f.xdgDataHome = "/home/tech/.local/share";
    f.xdgRuntimeDir = "/run/user/1000";
    f.home = "/home/tech";
    return f;
}

FolderFacts buildTree()
{
    FolderFacts f = installed();
    f.appDir = "/src/tovrin/build/bin";
    f.appDirWritable = true;
    f.shareBeside = false;
    return f;
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Puts the process's folders back to "." when a test ends.
struct KeepFolders {
    Folders saved = folders();
    ~KeepFolders() { useFolders(saved); }
};

} // namespace

TEST(Folders, AWritableApplicationFolderKeepsEverythingAsBefore)
{
    const Folders f = decideFolders(buildTree());
    EXPECT_FALSE(f.perUser);
    EXPECT_EQ(f.config, "/src/tovrin/build/bin");
    EXPECT_EQ(f.data, "/src/tovrin/build/bin");
    EXPECT_EQ(f.share, "/src/tovrin/build/bin");
    EXPECT_EQ(f.lock, "/run/user/1000") << "one instance per user, whichever copy it is";

    FolderFacts noRuntime = buildTree();
    noRuntime.xdgRuntimeDir.clear();
    EXPECT_EQ(decideFolders(noRuntime).lock, "/src/tovrin/build/bin");
}

TEST(Folders, AReadOnlyApplicationFolderWritesPerUser)
{
    const Folders f = decideFolders(installed());
    EXPECT_TRUE(f.perUser);
    EXPECT_EQ(f.config, "/home/tech/.config/tovrin");
    EXPECT_EQ(f.data, "/home/tech/.local/share/tovrin");
    EXPECT_EQ(f.share, "/usr/share/tovrin");
    EXPECT_EQ(f.lock, "/run/user/1000");

    // A read-only portable copy (a mounted medium) reads its shipped files
    // beside the executable and writes per user.
    FolderFacts medium = installed();
    medium.appDir = "/media/stick/tovrin";
    medium.shareBeside = false;
    const Folders m = decideFolders(medium);
    EXPECT_TRUE(m.perUser);
    EXPECT_EQ(m.share, "/media/stick/tovrin");
    EXPECT_EQ(m.config, "/home/tech/.config/tovrin");
}

TEST(Folders, AnInstallPrefixWritesPerUserEvenWhenWritable)
{
    // root running the installed tool, a prefix under the user's home, or an
    // unpacked package: the folder is writable but is an install, not a copy.
    FolderFacts f = installed();
    f.appDir = "/tmp/root/usr/bin";
    f.appDirWritable = true;
    const Folders d = decideFolders(f);
    EXPECT_TRUE(d.perUser);
    EXPECT_EQ(d.share, "/tmp/root/usr/share/tovrin");
    EXPECT_EQ(d.data, "/home/tech/.local/share/tovrin");
}

TEST(Folders, TovrinHomeOverridesAll)
{
    for (FolderFacts f : {installed(), buildTree()}) {
        f.tovrinHome = "/srv/line3/tovrin/";
        const Folders d = decideFolders(f);
        EXPECT_FALSE(d.perUser);
        EXPECT_EQ(d.config, "/srv/line3/tovrin");
        EXPECT_EQ(d.data, "/srv/line3/tovrin");
        EXPECT_EQ(d.share, "/srv/line3/tovrin");
        EXPECT_EQ(d.lock, "/srv/line3/tovrin");
    }
}

TEST(Folders, MissingXdgVariablesFallBackToHome)
{
    // Unset, empty and relative values all count as missing.
    for (const QString& value : {QString(), QString(""), QString("relative/config")}) {
        FolderFacts f = installed();
        f.xdgConfigHome = value;
        f.xdgDataHome = value;
        f.xdgRuntimeDir = value;
        const Folders d = decideFolders(f);
        EXPECT_EQ(d.config, "/home/tech/.config/tovrin") << value.toStdString();
        EXPECT_EQ(d.data, "/home/tech/.local/share/tovrin");
        EXPECT_EQ(d.lock, "/home/tech/.local/share/tovrin") << "no runtime folder: the lock goes with the data";
    }
}

TEST(Folders, FactsComeFromTheFileSystemAndTheEnvironment)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(QDir().mkpath(prefix.filePath("bin")));
    EXPECT_FALSE(folderFacts(prefix.filePath("bin")).shareBeside);
    ASSERT_TRUE(QDir().mkpath(prefix.filePath("share/tovrin")));
    const FolderFacts f = folderFacts(prefix.filePath("bin"));
    EXPECT_TRUE(f.shareBeside);
    EXPECT_TRUE(f.appDirWritable);
    EXPECT_EQ(decideFolders(f).share, QDir::cleanPath(prefix.filePath("share/tovrin")));

    qputenv("TOVRIN_HOME", "relative-home");
    EXPECT_EQ(folderFacts(prefix.filePath("bin")).tovrinHome, QDir::current().absoluteFilePath("relative-home"));
    qunsetenv("TOVRIN_HOME");
}

TEST(Folders, FirstStartCopiesTheShippedIniFilesButNeverOverTheUsers)
{
    QTemporaryDir root;
    Folders f;
    f.perUser = true;
    f.share = root.filePath("share");
    f.config = root.filePath("home/.config/tovrin");
    f.data = root.filePath("home/.local/share/tovrin");
    f.lock = f.data;
    ASSERT_TRUE(QDir().mkpath(f.share));
    put(f.share + "/Tovrin.ini", "; shipped\n[Tovrin_Config]\nChooseToolEnable=1\n");
    put(f.share + "/Tovrin_Key.ini", "[Key_Value]\nKeyCnt=0\n");
    QFile::setPermissions(f.share + "/Tovrin.ini", QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

    ASSERT_TRUE(prepareFolders(f));
    EXPECT_TRUE(QFileInfo(f.data).isDir());
    EXPECT_EQ(bytesOf(f.config + "/Tovrin.ini"), "; shipped\n[Tovrin_Config]\nChooseToolEnable=1\n");
    EXPECT_TRUE(QFileInfo(f.config + "/Tovrin.ini").isWritable()) << "the copy is the user's to change";
    EXPECT_TRUE(QFile::exists(f.config + "/Tovrin_Key.ini"));
    EXPECT_FALSE(QFile::exists(f.config + "/DeviceInfo.ini")) << "nothing shipped, nothing copied";

    put(f.config + "/Tovrin.ini", "[Tovrin_Config]\nChooseToolEnable=3\n");
    ASSERT_TRUE(prepareFolders(f));
    EXPECT_EQ(bytesOf(f.config + "/Tovrin.ini"), "[Tovrin_Config]\nChooseToolEnable=3\n");

    // One application folder copies nothing: its files are already in place.
    Folders portable{root.filePath("app"), root.filePath("app"), f.share, root.filePath("app"), false};
    ASSERT_TRUE(prepareFolders(portable));
    EXPECT_FALSE(QFile::exists(root.filePath("app/Tovrin.ini")));
}

TEST(Folders, UntilSetUpEveryRoleIsTheCurrentFolder)
{
    EXPECT_EQ(configPath(kSettingsFile), "./Tovrin.ini");
    EXPECT_EQ(dataPath("log"), "./log");
    EXPECT_EQ(sharePath(kLanguageFile), "./Tovrin_language.lrp");
    EXPECT_EQ(configPath("sub/Other.ini"), "sub/Other.ini") << "a path is taken as given";
    EXPECT_EQ(configPath("/etc/x.ini"), "/etc/x.ini");
}

// Every reader and writer of the tool's files asks the folders: settings
// from the configuration folder, texts and skins from the shared folder,
// logs into the data folder; the current folder gets nothing.
TEST(Folders, SettingsTextsSkinsAndLogsUseTheirFolders)
{
    KeepFolders keep;
    tovrin::test::InTemporaryFolder elsewhere;
    QTemporaryDir root;
    Folders f{root.filePath("config"), root.filePath("data"), root.filePath("share"), root.filePath("run"), true};
    for (const QString& d : {f.config, f.data, f.share, f.lock})
        ASSERT_TRUE(QDir().mkpath(d));
    useFolders(f);

    put(f.config + "/Tovrin.ini", "[Tovrin_Config]\nLanguage=1\nCalibTime=55\n");
    EXPECT_EQ(settings::CalibTime.read(), 55);
    ASSERT_TRUE(writeSetting("Tovrin_Config/ChooseToolEnable", 3));
    EXPECT_TRUE(bytesOf(f.config + "/Tovrin.ini").contains("ChooseToolEnable=3"));

    put(f.share + "/Tovrin_language.lrp", "[Language]\nLanguageCnt=2\n[Language_1]\n52=Schon offen.\n");
    LoadTexts();
    EXPECT_EQ(context().text(52), "Schon offen.");

    SelectSkin();
    EXPECT_EQ(context().skinPath(), f.share + "/skin/1920/");

    PrepareLogFolders();
    WriteLog("Tovrin log start!\n", true);
    EXPECT_TRUE(QString::fromStdString(context().logFilePath()).startsWith(f.data + "/log/"));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(context().logFilePath())));

    EXPECT_TRUE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}
