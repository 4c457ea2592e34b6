// Text encodings of the settings files: every value written reads back as
// it was, whatever the file held before; the strict conversions refuse what
// they cannot carry whole.
#include "shell/CommentIniWriter.h"
#include "shell/Settings.h"
#include "shell/TextCodec.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Files.h"


#include <gtest/gtest.h>

#include <iconv.h>

#include <ostream>

#include <vector>

using namespace tovrin::shell;

namespace {

// Every character of the GB2312 table (symbols and both levels of hanzi).
std::vector<QString> gb2312Characters()
{
    std::vector<QString> out;
    iconv_t cd = iconv_open("UTF-8", "GB2312");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    for (int row = 0xA1; row <= 0xF7; ++row) {
        for (int col = 0xA1; col <= 0xFE; ++col) {
            char in[2] = {static_cast<char>(row), static_cast<char>(col)};
            char buf[8];
            char* inPtr = in;
            size_t inLeft = 2;
            char* outPtr = buf;
            size_t outLeft = sizeof buf;
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
                out.push_back(QString::fromUtf8(buf, outPtr - buf));
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

struct StartingFile {
    const char* name;
    QByteArray bytes;
    const char* otherValue;  // Tovrin_Config/Name as the file holds it (UTF-8)
    bool gbk = false;        // the file is GBK already
};

void PrintTo(const StartingFile& f, std::ostream* os)
{
    *os << f.name;
}

class EveryHanziReadsBack : public ::testing::TestWithParam<StartingFile> {};

// Every character of the table, alone in its value, through the writer's
// bytes and the reader (what a save and the next read of the file do).
TEST_P(EveryHanziReadsBack, ThroughAWriteAndARead)
{
    const std::vector<QString> table = gb2312Characters();
    ASSERT_GT(table.size(), 7000u);
    int wrong = 0;
    int refused = 0;
    for (const QString& c : table) {
        const QString path = QStringLiteral("/opt/%1/fpga.bin").arg(c);
        const std::optional<QByteArray> bytes =
            CommentIniWriter::rewrite(GetParam().bytes, {{QStringLiteral("ImagePath/imagePath"), path}});
        if (!bytes) {
            // Refused only where the file is GBK and GBK cannot hold the
            // character exactly (its GBK form reads back as another).
            const auto gbk = encodeStrict(c, {Encoding::Gbk, false});
            EXPECT_TRUE(GetParam().gbk && (!gbk || decodeStrict(*gbk, {Encoding::Gbk, false}) != c)) << c.toStdString();
            ++refused;
            continue;
        }
        const IniFile ini = IniFile::parse(decodeText(*bytes, Encoding::Auto));
        const QString back = ini.value("ImagePath", "imagePath");
        const QString other = ini.value("Tovrin_Config", "Name");
        if (back != path || other != QString::fromUtf8(GetParam().otherValue)) {
            if (++wrong <= 5)
                ADD_FAILURE() << c.toStdString() << " read back as " << back.toStdString() << " / "
                              << other.toStdString();
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_LT(refused, 5);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, EveryHanziReadsBack,
    ::testing::Values(StartingFile{"asciiFile", "[Tovrin_Config]\nName=plain\n", "plain"},
                      StartingFile{"gbkFile", "[Tovrin_Config]\nName=\xD6\xD0\xCE\xC4\n", "\xE4\xB8\xAD\xE6\x96\x87", true},
                      StartingFile{"utf8File", "[Tovrin_Config]\nName=\xE4\xB8\xAD\xE6\x96\x87\n", "\xE4\xB8\xAD\xE6\x96\x87"},
                      StartingFile{"utf8FileWithMark", "\xEF\xBB\xBF[Tovrin_Config]\nName=\xE4\xB8\xAD\n", "\xE4\xB8\xAD"}),
    [](const auto& row) { return std::string(row.param.name); });

// The case as a technician met it: an update from a folder named 一 (GBK
// d2 bb, which alone is valid UTF-8 for another letter) must find its
// package again, and the next save keeps it so.
TEST(SettingsFile, AFolderNamedOneIsFoundAgain)
{
    tovrin::test::InTemporaryFolder folder;
    ASSERT_TRUE(tovrin::test::writeFile("Tovrin.ini", "[Tovrin_Config]\nChooseToolEnable=1\n"));
    const QString path = QString::fromUtf8("/home/tech/\xE4\xB8\x80/fpga.bin");
    ASSERT_TRUE(writeSetting(kSettingsFile, "ImagePath/imagePath", path));
    EXPECT_EQ(readText("ImagePath/imagePath", QString()), path);
    EXPECT_TRUE(tovrin::test::readFile("Tovrin.ini").contains("\xD2\xBB"));  // still GBK
    ASSERT_TRUE(writeSetting("Tovrin_Config/Language", 1));
    EXPECT_EQ(readText("ImagePath/imagePath", QString()), path);
    EXPECT_EQ(tovrin::test::readFile("Tovrin.ini").count("\xB1\xE0\xC2\xEB"), 1);  // the GBK comment, once
}

TEST(StrictConversions, ACutCharacterAtTheEndIsRefused)
{
    // Cut in UTF-8 and in GBK alike.
    for (const QByteArray& bytes : {QByteArray("2\xC9", 2), QByteArray("2\xC9\x00", 3),
                                    QByteArray("\xEF\xBB\xBFx\xF0\x9F\x98", 7)}) {
        const FileEncoding detected = detectEncoding(bytes);
        EXPECT_FALSE(decodeStrict(bytes, detected)) << bytes.toHex().constData();
        EXPECT_FALSE(decodeStrict(bytes, {Encoding::Utf8, bytes.startsWith("\xEF\xBB\xBF")})) << bytes.toHex().constData();
    }
    // Cut in UTF-8 only (e4 b8 is a whole GBK character).
    EXPECT_FALSE(decodeStrict(QByteArray("ab\xE4\xB8", 4), {Encoding::Utf8, false}));
    EXPECT_FALSE(decodeStrict(QByteArray("a\xD6", 2), {Encoding::Gbk, false}));
    EXPECT_EQ(decodeStrict(QByteArray("a\xD6\xD0", 3), {Encoding::Gbk, false}), QString::fromUtf8("a中"));
}

TEST(StrictConversions, ALoneSurrogateIsRefusedWherever)
{
    const QChar high(0xD83D), low(0xDE00);
    for (const QString& text : {QString("ab") + high, QString("ab") + low, QString(high) + "ab", QString("a") + low + "b"}) {
        EXPECT_FALSE(encodeStrict(text, {Encoding::Utf8, false}));
        EXPECT_FALSE(encodeStrict(text, {Encoding::Utf8, true}));
        EXPECT_FALSE(encodeStrict(text, {Encoding::Gbk, false}));
    }
    EXPECT_EQ(encodeStrict(QString("a") + high + low, {Encoding::Utf8, false}), QByteArray("a\xF0\x9F\x98\x80"));
}

TEST(StrictConversions, WhatIsEncodedDecodesToTheSameText)
{
    // A U+FEFF that begins the text is a character, not the file's mark.
    const QString feff = QString(QChar(0xFEFF)) + "x";
    for (bool mark : {false, true}) {
        const auto bytes = encodeStrict(feff, {Encoding::Utf8, mark});
        ASSERT_TRUE(bytes);
        EXPECT_EQ(decodeStrict(*bytes, {Encoding::Utf8, mark}), feff) << mark;
    }
    // GBK has one code for two middle dots: the second has no exact form.
    EXPECT_TRUE(encodeStrict(QString(QChar(0x00B7)), {Encoding::Gbk, false}));
    EXPECT_FALSE(encodeStrict(QString(QChar(0x30FB)), {Encoding::Gbk, false}));
}

TEST(StrictConversions, ASettingsFileEndingInACutCharacterIsNotRewritten)
{
    tovrin::test::InTemporaryFolder folder;
    static const char raw[] = "[Tovrin_Config]\nName=2\xC9";
    const QByteArray before(raw, sizeof raw - 1);
    ASSERT_TRUE(tovrin::test::writeFile("Tovrin.ini", before));
    EXPECT_FALSE(writeSetting("Tovrin_Config/Language", 1));
    EXPECT_EQ(tovrin::test::readFile("Tovrin.ini"), before);
}

} // namespace
