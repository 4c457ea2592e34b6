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
#include "tests/support/Files.h"
#include "tests/support/TemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tovrin::shell;
using tovrin::test::readFile;
using tovrin::test::writeFile;

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

void put(const QString& path, const QByteArray& bytes) { ASSERT_TRUE(writeFile(path, bytes)) << path.toStdString(); }

// Puts the process's folders back to "." when a test ends.
struct KeepFolders {
    Folders saved = folders();
    ~KeepFolders() { useFolders(saved); }
};

} // namespace

// ---- Where each role goes, from the facts ------------------------------------

namespace {

const QString kTree = "/src/tovrin/build/bin";
const QString kConfig = "/home/tech/.config/tovrin";
const QString kData = "/home/tech/.local/share/tovrin";
const QString kRun = "/run/user/1000";
const QString kHome = "/srv/line3/tovrin";

struct FolderRow {
    const char* name;
    void (*change)(FolderFacts&);  // of an installed tool's facts
    Folders expected;
};

class DecideFolders : public ::testing::TestWithParam<FolderRow> {};

TEST_P(DecideFolders, FromTheFacts)
{
    FolderFacts facts = installed();
    GetParam().change(facts);
    const Folders d = decideFolders(facts);
    const Folders& e = GetParam().expected;
    EXPECT_EQ(d.perUser, e.perUser);
    EXPECT_EQ(d.config, e.config);
    EXPECT_EQ(d.data, e.data);
    EXPECT_EQ(d.share, e.share);
    EXPECT_EQ(d.lock, e.lock);
}

void missingXdg(FolderFacts& f, const QString& value)
{
    f.xdgConfigHome = f.xdgDataHome = f.xdgRuntimeDir = value;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Facts, DecideFolders,
    ::testing::Values(
        // A writable application folder keeps everything as before; one
        // instance per user, whichever copy it is.
        FolderRow{"buildTree", [](FolderFacts& f) { f = buildTree(); }, {kTree, kTree, kTree, kRun, false}},
        FolderRow{"buildTreeWithoutRuntimeFolder", [](FolderFacts& f) { f = buildTree(), f.xdgRuntimeDir.clear(); },
                  {kTree, kTree, kTree, kTree, false}},
        // A read-only application folder writes per user.
        FolderRow{"installed", [](FolderFacts&) {}, {kConfig, kData, "/usr/share/tovrin", kRun, true}},
        // A read-only portable copy (a mounted medium) reads its shipped
        // files beside the executable.
        FolderRow{"readOnlyMedium", [](FolderFacts& f) { f.appDir = "/media/stick/tovrin", f.shareBeside = false; },
                  {kConfig, kData, "/media/stick/tovrin", kRun, true}},
        // root running the installed tool, a prefix under the user's home, an
        // unpacked package: writable, but an install, not a copy.
        FolderRow{"writableInstallPrefix", [](FolderFacts& f) { f.appDir = "/tmp/root/usr/bin", f.appDirWritable = true; },
                  {kConfig, kData, "/tmp/root/usr/share/tovrin", kRun, true}},
        // TOVRIN_HOME overrides all.
        FolderRow{"tovrinHomeInstalled", [](FolderFacts& f) { f.tovrinHome = "/srv/line3/tovrin/"; },
                  {kHome, kHome, kHome, kHome, false}},
        FolderRow{"tovrinHomeBuildTree", [](FolderFacts& f) { f = buildTree(), f.tovrinHome = "/srv/line3/tovrin/"; },
                  {kHome, kHome, kHome, kHome, false}},
        // Unset, empty and relative XDG values count as missing: home, and
        // without a runtime folder the lock goes with the data.
        FolderRow{"xdgUnset", [](FolderFacts& f) { missingXdg(f, QString()); }, {kConfig, kData, "/usr/share/tovrin", kData, true}},
        FolderRow{"xdgEmpty", [](FolderFacts& f) { missingXdg(f, QString("")); }, {kConfig, kData, "/usr/share/tovrin", kData, true}},
        FolderRow{"xdgRelative", [](FolderFacts& f) { missingXdg(f, QString("relative/config")); },
                  {kConfig, kData, "/usr/share/tovrin", kData, true}}),
    [](const auto& row) { return std::string(row.param.name); });

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
    EXPECT_EQ(readFile(f.config + "/Tovrin.ini"), "; shipped\n[Tovrin_Config]\nChooseToolEnable=1\n");
    EXPECT_TRUE(QFileInfo(f.config + "/Tovrin.ini").isWritable()) << "the copy is the user's to change";
    EXPECT_TRUE(QFile::exists(f.config + "/Tovrin_Key.ini"));
    EXPECT_FALSE(QFile::exists(f.config + "/DeviceInfo.ini")) << "nothing shipped, nothing copied";

    put(f.config + "/Tovrin.ini", "[Tovrin_Config]\nChooseToolEnable=3\n");
    ASSERT_TRUE(prepareFolders(f));
    EXPECT_EQ(readFile(f.config + "/Tovrin.ini"), "[Tovrin_Config]\nChooseToolEnable=3\n");

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
    EXPECT_TRUE(readFile(f.config + "/Tovrin.ini").contains("ChooseToolEnable=3"));

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
