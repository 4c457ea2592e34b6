// Settings: defaults, case-insensitive groups, numbers, the comment-keeping
// writer and its crash safety, languages.
#include "shell/AppContext.h"
#include "shell/CommentIniWriter.h"
#include "shell/Language.h"
#include "shell/MessageTexts.h"
#include "shell/Settings.h"
#include "shell/TextCodec.h"
#include "tests/support/Files.h"
#include "tests/support/TemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <ostream>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tovrin::shell;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    void TearDown() override { CommentIniWriter::setBeforeReplaceHook({}); }
    static void put(const QString& name, const QByteArray& bytes) { ASSERT_TRUE(tovrin::test::writeFile(name, bytes)); }
    static QByteArray get(const QString& name) { return tovrin::test::readFile(name); }
    tovrin::test::InTemporaryFolder folder;
};

TEST_F(SettingsTest, MissingEmptyAndGarbledFilesGiveDefaults)
{
    EXPECT_EQ(settings::ChooseToolEnable.read(), 1);
    EXPECT_EQ(settings::CalibTime.read(), 40);
    EXPECT_EQ(settings::expValue.read(), 0xc0u);
    put("Tovrin.ini", "");
    EXPECT_EQ(settings::InfraredExpTimeM.read(), 255);
    put("Tovrin.ini", QByteArray("\xff\xfe\x00garbage[[[=\n=\n[Tovrin_Config\nLineNum\n", 40));
    EXPECT_EQ(settings::LineNum.read(), 5);
    EXPECT_EQ(settings::Screen_Size.read(), 3);
}

TEST_F(SettingsTest, GroupsAndKeysMatchWithoutRegardToCase)
{
    put("Tovrin.ini", "[ImageMode]\nImageMode=0\n[smoothness]\nSMOOTHNESS=4\n");
    EXPECT_EQ(readInt("Imagemode/ImageMode", 1), 0);
    EXPECT_EQ(settings::ImageMode.read(), 0);
    EXPECT_EQ(settings::Smoothness.read(), 4);
    writeSetting("ImageMode/ImageMode", 7);
    EXPECT_EQ(readInt("Imagemode/imagemode", 1), 7);
    EXPECT_EQ(QString::fromLatin1(get("Tovrin.ini")).count("ImageMode]", Qt::CaseInsensitive), 1);
}

TEST_F(SettingsTest, NumbersAndHexadecimalValues)
{
    put("Tovrin.ini", "[Tovrin_Config]\nCalibTime=abc\nLineNum= 9 \nExpValue=12x\n"
                      "[TEST_PARA]\nexpValue=c0\npointValueBegin=0x1E\nvsyncDiff=zz\n");
    EXPECT_EQ(settings::CalibTime.read(), 0);
    EXPECT_EQ(settings::LineNum.read(), 9);
    EXPECT_EQ(settings::ExpValue.read(), 0);
    EXPECT_EQ(settings::expValue.read(), 192u);
    EXPECT_EQ(settings::pointValueBegin.read(), 30u);
    EXPECT_EQ(settings::vsyncDiff.read(), 0u);
    EXPECT_EQ(settings::pointValueEnd.read(), 0x1eu);
}

TEST_F(SettingsTest, CalibTimeIsClampedToFortyToOneHundredTwenty)
{
    put("Tovrin.ini", "[Tovrin_Config]\nCalibTime=10\n");
    EXPECT_EQ(settings::waitFrameCount(), 40);
    put("Tovrin.ini", "[Tovrin_Config]\nCalibTime=500\n");
    EXPECT_EQ(settings::waitFrameCount(), 120);
}

TEST_F(SettingsTest, CommentsStayOnTheirLinesThroughASave)
{
    put("Tovrin.ini", "; tool settings\n[Tovrin_Config]\nLanguage=1\n# flavour below\nChooseToolEnable=1\n");
    writeSetting("Tovrin_Config/ChooseToolEnable", 3);
    writeSetting("Tovrin_ScreenInfo/Screen_Size", 5);
    const QStringList lines = QString::fromLatin1(get("Tovrin.ini")).split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines.at(0), "; tool settings");
    EXPECT_EQ(lines.at(3), "# flavour below");
    EXPECT_EQ(settings::ChooseToolEnable.read(), 3);
    EXPECT_EQ(settings::Language.read(), 1);
    EXPECT_EQ(settings::Screen_Size.read(), 5);
    EXPECT_FALSE(QFile::exists("Tovrin.ini.out"));
}

TEST_F(SettingsTest, CommentsBelowTheNewEndAreKept)
{
    put("Tovrin.ini", "[A]\na=1\nb=2\nc=3\nd=4\n; last words\n");
    {
        CommentIniWriter w("Tovrin.ini");
        w.setValue("A/a", 9);
    }
    EXPECT_TRUE(get("Tovrin.ini").contains("; last words"));
}

TEST_F(SettingsTest, ValuesAreWrittenInGbkAndReadBack)
{
    writeSetting(kSettingsFile, "ImagePath/imagePath", QString::fromUtf8("/home/技术员/fpga.bin"));
    const QByteArray raw = get("Tovrin.ini");
    EXPECT_TRUE(raw.contains(encodeText(QString::fromUtf8("技术员"), Encoding::Gbk)));
    EXPECT_EQ(readText("ImagePath/imagePath", QString()), QString::fromUtf8("/home/技术员/fpga.bin"));
}

TEST_F(SettingsTest, ACrashBeforeReplacingLeavesTheOldFileWhole)
{
    const QByteArray before = "; keep\n[Tovrin_Config]\nChooseToolEnable=2\n";
    put("Tovrin.ini", before);
    CommentIniWriter::setBeforeReplaceHook([] { return false; });
    EXPECT_FALSE(writeSetting("Tovrin_Config/ChooseToolEnable", 4));
    EXPECT_EQ(get("Tovrin.ini"), before);
    // The complete new file is there too, whole.
    EXPECT_EQ(readInt("Tovrin_Config/ChooseToolEnable", 1, "Tovrin.ini.out"), 4);
    CommentIniWriter::setBeforeReplaceHook({});
    EXPECT_TRUE(writeSetting("Tovrin_Config/ChooseToolEnable", 4));
    EXPECT_EQ(settings::ChooseToolEnable.read(), 4);
    EXPECT_FALSE(QFile::exists("Tovrin.ini.out"));
}

TEST_F(SettingsTest, AnUnwritableFolderLeavesTheSettingsFileAlone)
{
    put("Tovrin.ini", "[Tovrin_Config]\nLanguage=1\n");
    QDir().mkdir("Tovrin.ini.out");  // the temporary file cannot be created
    EXPECT_FALSE(writeSetting("Tovrin_Config/Language", 0));
    EXPECT_EQ(settings::Language.read(), 1);
}

// ---- The file as it was: encoding, permissions, place ----------------------

// Runs f with the file-system rights of an unprivileged user, so that
// permission bits count even when the suite runs as root.
template <class F>
void withoutPrivileges(F f)
{
    if (geteuid() != 0) {
        f();
        return;
    }
    const int previous = setfsuid(65534);
    f();
    setfsuid(previous);
}

mode_t modeOf(const QString& name)
{
    struct stat st {};
    return ::stat(QFile::encodeName(name).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST_F(SettingsTest, AUtf8FileStaysUtf8ThroughASave)
{
    const QString path = QString::fromUtf8("/home/技术员/fpga.bin");
    put("Tovrin.ini", QString::fromUtf8("; 设置\n[ImagePath]\nimagePath=%1\n").arg(path).toUtf8());
    ASSERT_TRUE(writeSetting("Tovrin_Config/Language", 1));
    const QByteArray raw = get("Tovrin.ini");
    EXPECT_TRUE(raw.startsWith(QString::fromUtf8("; 设置\n").toUtf8())) << raw.constData();
    EXPECT_TRUE(raw.contains(path.toUtf8())) << raw.constData();
    EXPECT_EQ(readText("ImagePath/imagePath", QString()), path);
}

TEST_F(SettingsTest, AByteOrderMarkIsReadOverAndKept)
{
    put("Tovrin.ini", "\xEF\xBB\xBF[Tovrin_Config]\nLanguage=1\n");
    EXPECT_EQ(settings::Language.read(), 1);
    ASSERT_TRUE(writeSetting("Tovrin_Config/ChooseToolEnable", 3));
    const QByteArray raw = get("Tovrin.ini");
    EXPECT_TRUE(raw.startsWith("\xEF\xBB\xBF[Tovrin_Config]\n")) << raw.constData();
    EXPECT_EQ(raw.count("\xEF\xBB\xBF"), 1);
    EXPECT_EQ(settings::Language.read(), 1);
    EXPECT_EQ(settings::ChooseToolEnable.read(), 3);
}

struct RefusedWrite {
    const char* name;
    QByteArray before;     // the file's bytes
    const char* value;     // UTF-8 text written to ImagePath/imagePath
};

void PrintTo(const RefusedWrite& c, std::ostream* os)
{
    *os << c.name;
}

class WriterRefuses : public SettingsTest, public ::testing::WithParamInterface<RefusedWrite> {};

TEST_P(WriterRefuses, AndLeavesTheFileAsItWas)
{
    put("Tovrin.ini", GetParam().before);
    EXPECT_FALSE(writeSetting(kSettingsFile, "ImagePath/imagePath", QString::fromUtf8(GetParam().value)));
    EXPECT_EQ(get("Tovrin.ini"), GetParam().before);
    EXPECT_FALSE(QFile::exists("Tovrin.ini.out"));
}

INSTANTIATE_TEST_SUITE_P(
    Encoding, WriterRefuses,
    ::testing::Values(
        // GBK has no emoji: the value cannot be stored in this file.
        RefusedWrite{"valueTheGbkFileCannotHold", QByteArray("[ImagePath]\nimagePath=\xBC\xBC\n"), "/tmp/\xF0\x9F\x98\x80"},
        // Neither UTF-8 nor GBK: what the file says is unknown.
        RefusedWrite{"fileInNeitherEncoding", QByteArray("[Tovrin_Config]\nLanguage=\xFF\xFF\n"), "/tmp/x"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(SettingsTest, AFileThatCannotBeReadIsNotReplaced)
{
    put("Tovrin.ini", "[Tovrin_Config]\nLanguage=1\nChooseToolEnable=2\n");
    ASSERT_EQ(::chmod("Tovrin.ini", 0200), 0);  // writable, not readable
    ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0777), 0);
    bool written = true;
    withoutPrivileges([&] { written = writeSetting("Tovrin_Config/Screen_Size", 5); });
    EXPECT_FALSE(written);
    ASSERT_EQ(::chmod("Tovrin.ini", 0600), 0);
    EXPECT_EQ(settings::Language.read(), 1);
    EXPECT_EQ(settings::ChooseToolEnable.read(), 2);
    EXPECT_EQ(settings::Screen_Size.read(), 3);
}

TEST_F(SettingsTest, AReadOnlyFileIsNotOverridden)
{
    const QByteArray before = "[Tovrin_Config]\nLanguage=1\n";
    put("Tovrin.ini", before);
    ASSERT_EQ(::chmod("Tovrin.ini", 0444), 0);
    EXPECT_FALSE(writeSetting("Tovrin_Config/Language", 0));
    EXPECT_EQ(get("Tovrin.ini"), before);
    EXPECT_EQ(modeOf("Tovrin.ini"), 0444u);
}

TEST_F(SettingsTest, TheReplacedFileKeepsItsPermissions)
{
    put("DeviceInfo.ini", "[DeviceInfo]\nEncrypWord=secret\n");
    ASSERT_EQ(::chmod("DeviceInfo.ini", 0600), 0);
    ASSERT_TRUE(writeSetting(kDeviceInfoFile, "DeviceInfo/LotNumber", "7"));
    EXPECT_EQ(modeOf("DeviceInfo.ini"), 0600u);
    EXPECT_EQ(readText("DeviceInfo/EncrypWord", QString(), kDeviceInfoFile), "secret");
}

TEST_F(SettingsTest, ALinkIsWrittenThroughToItsTarget)
{
    QDir().mkdir("shared");
    put("shared/Tovrin.ini", "; shared settings\n[Tovrin_Config]\nLanguage=1\n");
    ASSERT_TRUE(QFile::link("shared/Tovrin.ini", "Tovrin.ini"));
    ASSERT_TRUE(writeSetting("Tovrin_Config/ChooseToolEnable", 3));
    EXPECT_TRUE(QFileInfo("Tovrin.ini").isSymLink());
    EXPECT_EQ(readInt("Tovrin_Config/ChooseToolEnable", 1, "shared/Tovrin.ini"), 3);
    EXPECT_TRUE(get("shared/Tovrin.ini").startsWith("; shared settings\n"));
    EXPECT_FALSE(QFile::exists("Tovrin.ini.out"));
}

TEST_F(SettingsTest, LanguageFallbacks)
{
    // No language file: English texts.
    LoadTexts();
    EXPECT_EQ(context().text(15), QString::fromUtf8(builtinText(15)));
    put("Tovrin_language.lrp", QString::fromUtf8("[Language]\nLanguageCnt=2\nLanguage_0=English\nLanguage_1=中文\n"
                                                 "[Language_1]\n15=设备检测完成。\n11=\"退出\\n\"\n")
                                   .toUtf8());
    writeSetting("Tovrin_Config/Language", 1);
    LoadTexts();
    EXPECT_EQ(context().text(15), QString::fromUtf8("设备检测完成。"));
    EXPECT_EQ(context().text(11), QString::fromUtf8("退出\n"));
    EXPECT_EQ(context().text(14), QString::fromUtf8(builtinText(14)));  // missing key: English
    EXPECT_EQ(CheckLanguage(), QStringList({"English", QString::fromUtf8("中文")}));
    EXPECT_EQ(settings::Language.read(), 1);

    // A language index beyond the count: English this time, 0 next time.
    writeSetting("Tovrin_Config/Language", 5);
    LoadTexts();
    EXPECT_EQ(context().text(15), QString::fromUtf8(builtinText(15)));
    CheckLanguage();
    EXPECT_EQ(settings::Language.read(), 0);
}

TEST_F(SettingsTest, ALanguageCountIsBoundByWhatTheFileHolds)
{
    // The count says more than the file holds: the names are those the file
    // describes (a language with a name or a text group), not two billion.
    put("Tovrin_language.lrp", "[Language]\nLanguageCnt=2147483647\nLanguage_0=English\nLanguage_1=Deutsch\n"
                               "[Language_2]\n15=x\n");
    writeSetting("Tovrin_Config/Language", 2);
    EXPECT_EQ(CheckLanguage(), QStringList({"English", "Deutsch", "0"}));
    EXPECT_EQ(settings::Language.read(), 2);
    writeSetting("Tovrin_Config/Language", 3);
    CheckLanguage();
    EXPECT_EQ(settings::Language.read(), 0);

    put("Tovrin_language.lrp", "[Language]\nLanguageCnt=-7\nLanguage_0=English\n");
    writeSetting("Tovrin_Config/Language", 1);
    EXPECT_EQ(CheckLanguage(), QStringList());
    EXPECT_EQ(settings::Language.read(), 0);
}

TEST(ShippedLanguageFile, EveryLanguageHasAllTextsWithTheirPlaceholders)
{
    const IniFile lrp = IniFile::load(TOVRIN_LANGUAGE_FILE, Encoding::Utf8);
    const int count = toIntOrZero(lrp.value("Language", "LanguageCnt"));
    ASSERT_GE(count, 2);
    for (int lang = 0; lang < count; ++lang) {
        const QStringList texts = loadTextsFrom(TOVRIN_LANGUAGE_FILE, lang);
        for (int id = 0; id < kMessageCount; ++id) {
            const QString group = QStringLiteral("Language_%1").arg(lang);
            ASSERT_NE(lrp.find(group, QString::number(id)), nullptr) << "language " << lang << " id " << id;
            const QString english = QString::fromUtf8(builtinText(id));
            // The file's English reads back exactly as the built-in text:
            // quoting, escapes and blanks survive the reader.
            if (lrp.value("Language", QStringLiteral("Language_%1").arg(lang)) == "English") {
                EXPECT_EQ(texts.at(id), english) << "id " << id;
            }
            for (int n = 1; n <= 5; ++n) {
                const QString ph = QStringLiteral("%%1").arg(n);
                EXPECT_EQ(texts.at(id).contains(ph), english.contains(ph)) << "language " << lang << " id " << id;
            }
        }
    }
}

} // namespace
