// The device information record and the typed fields: byte layout, the
// cuts and refusals, and DeviceInfo.ini.

#include "deviceinfo/core/DeviceInfoRecord.h"
#include "deviceinfo/core/SpreadsheetRow.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Files.h"


#include <gtest/gtest.h>

using namespace tovrin::deviceinfo;

namespace {

// A sane input: every field filled, each test changes one.
QStringList saneInput()
{
    return {"0x00001001", "0x00000002", "Factory", "Customer", "Producer", "20260307",
            "B123", "L456", "0xCAFEF00D", "Model7", "0x00000003"};
}

DeviceInfo saneInfo()
{
    const ParsedInput p = parseInput(saneInput());
    EXPECT_TRUE(p.info.has_value()) << p.problem.toStdString();
    return *p.info;
}

TEST(DeviceInfoRecord, FieldsAtTheirOffsetsLittleEndian)
{
    const auto r = encodeRecord(saneInfo());
    // 0 magic "IVED"; 4 DeviceID; 8 InfoVersion; 12 FactoryName; 28
    // CustomerName; 44 Producer; 60 ManufDate; 64 BatchNumer; 80 LotNumber;
    // 96 EncrypWord; 100 ProductModel; 116 SupportFeature.
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.data()), 4), QByteArray("IVED"));
    EXPECT_EQ((std::vector<uint8_t>(r.begin() + 4, r.begin() + 8)), (std::vector<uint8_t>{0x02, 0x10, 0x00, 0x00}));
    EXPECT_EQ(r[8], 0x02);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.data() + 12)), QByteArray("Factory"));
    EXPECT_EQ(r[12 + 7], 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.data() + 28)), QByteArray("Customer"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.data() + 44)), QByteArray("Producer"));
    EXPECT_EQ((std::vector<uint8_t>(r.begin() + 60, r.begin() + 64)), (std::vector<uint8_t>{0xD3, 0x25, 0x35, 0x01}));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.data() + 64)), QByteArray("B123"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.data() + 80)), QByteArray("L456"));
    EXPECT_EQ((std::vector<uint8_t>(r.begin() + 96, r.begin() + 100)), (std::vector<uint8_t>{0x0D, 0xF0, 0xFE, 0xCA}));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.data() + 100)), QByteArray("Model7"));
    EXPECT_EQ(r[116], 0x03);
}

TEST(DeviceInfoRecord, BodyIsTheFieldsThenTwelveZeros)
{
    const auto r = encodeRecord(saneInfo());
    const auto body = encodeBody(saneInfo());
    EXPECT_TRUE(std::equal(r.begin() + 4, r.end(), body.begin()));
    EXPECT_TRUE(std::all_of(body.begin() + 116, body.end(), [](uint8_t b) { return b == 0; }));
}

TEST(DeviceInfoRecord, TruncatedOrWithoutMagicIsNoRecord)
{
    auto r = encodeRecord(saneInfo());
    EXPECT_FALSE(decodeRecord(std::span(r).first(119)));
    std::swap(r[0], r[3]);  // the magic in the wrong byte order
    EXPECT_FALSE(decodeRecord(r));
    std::array<uint8_t, kRecordSize> erased;
    erased.fill(0xFF);
    EXPECT_FALSE(decodeRecord(erased));
}

TEST(DeviceInfoRecord, ShownAsTheColumnsShowIt)
{
    EXPECT_EQ(displayTexts(saneInfo()),
              (QStringList{"0x00001002", "0x00000002", "Factory", "Customer", "Producer", "20260307", "B123", "L456",
                           "0xcafef00d", "Model7", "0x00000003"}));
}

TEST(DeviceInfoInput, AnOddDeviceIdIsRaisedToTheNextEven)
{
    EXPECT_EQ(saneInfo().deviceId, 0x1002u);
    QStringList in = saneInput();
    in[DeviceID] = "1002";
    EXPECT_EQ(parseInput(in).info->deviceId, 0x1002u);
    in[DeviceID] = "0xfffffffe";
    EXPECT_EQ(parseInput(in).info->deviceId, 0xFFFFFFFEu);
}

TEST(DeviceInfoInput, TextsAreCutToSixteenBytes)
{
    QStringList in = saneInput();
    in[FactoryName] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    in[ProductModel] = "0123456789abcdef";  // exactly 16: not cut
    const ParsedInput p = parseInput(in);
    ASSERT_TRUE(p.info);
    EXPECT_EQ(p.info->factoryName, QByteArray("ABCDEFGHIJKLMNOP"));
    EXPECT_EQ(p.info->productModel, QByteArray("0123456789abcdef"));
    EXPECT_EQ(p.cut, QStringList{"FactoryName"});
    const auto r = encodeRecord(*p.info);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.data() + 12), 16), QByteArray("ABCDEFGHIJKLMNOP"));
    EXPECT_EQ(r[28], 'C');  // the next field is untouched by the long text
}

TEST(DeviceInfoInput, Latin1TextsAreKeptOthersRefused)
{
    QStringList in = saneInput();
    in[Producer] = QString::fromUtf8("Müller");
    const ParsedInput ok = parseInput(in);
    ASSERT_TRUE(ok.info);
    EXPECT_EQ(ok.info->producer, QByteArray("M\xfcller"));

    in[Producer] = QString::fromUtf8("深圳工厂");
    const ParsedInput refused = parseInput(in);
    EXPECT_FALSE(refused.info);
    EXPECT_TRUE(refused.problem.contains("Producer"));
}

struct BadNumber {
    const char* name;
    int field;
    const char* text;
};
class DeviceInfoNumbers : public ::testing::TestWithParam<BadNumber> {};

TEST_P(DeviceInfoNumbers, OutOfRangeOrNotANumberIsRefusedNamingTheField)
{
    QStringList in = saneInput();
    in[GetParam().field] = QString::fromLatin1(GetParam().text);
    const ParsedInput p = parseInput(in);
    EXPECT_FALSE(p.info);
    EXPECT_TRUE(p.problem.contains(QLatin1String(fieldKeys()[static_cast<size_t>(GetParam().field)]))) << p.problem.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DeviceInfoNumbers,
    ::testing::Values(BadNumber{"EmptyDeviceId", DeviceID, ""}, BadNumber{"NotHex", InfoVersion, "0xZZ"},
                      BadNumber{"Beyond32Bits", EncrypWord, "0x100000000"},
                      BadNumber{"NoRoomForTheSlave", DeviceID, "0xffffffff"},
                      BadNumber{"DateBeyond32Bits", ManufDate, "4294967296"},
                      BadNumber{"NegativeDate", ManufDate, "-1"}, BadNumber{"HexDate", ManufDate, "0x10"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(DeviceInfoIni, KeepsTheTypedTextWholeAndItsCommentsHexadecimalShownWithEightDigits)
{
    tovrin::test::InTemporaryFolder folder;
    ASSERT_TRUE(tovrin::test::writeFile("DeviceInfo.ini", "[DeviceInfo]\nDeviceID=1001\nSupportFeature=0x3\nManufDate=20260307\nEncrypWord=secret\n"));
    const QStringList t = loadIniTexts("DeviceInfo.ini");
    EXPECT_EQ(t[DeviceID], "0x00001001");
    EXPECT_EQ(t[SupportFeature], "0x00000003");
    EXPECT_EQ(t[ManufDate], "20260307");
    EXPECT_EQ(t[EncrypWord], "secret");  // not a number: shown as stored, refused at Write
    EXPECT_EQ(t[FactoryName], "");

    ASSERT_TRUE(tovrin::test::writeFile("DeviceInfo.ini", "; factory defaults\n[DeviceInfo]\nDeviceID=1001\n"));
    QStringList typed = saneInput();
    typed[FactoryName] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    ASSERT_TRUE(saveIniTexts("DeviceInfo.ini", typed));
    const QStringList back = loadIniTexts("DeviceInfo.ini");
    EXPECT_EQ(back[FactoryName], "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(back[EncrypWord], "0xcafef00d");
    EXPECT_TRUE(tovrin::test::readFile("DeviceInfo.ini").startsWith("; factory defaults\n"));
}

TEST(SpreadsheetRow, SixteenTextsInTheirOrder)
{
    QByteArray frame(kFrameBytes, '\0');
    for (int i = 0; i < kFramePixels; ++i)
        frame[i] = static_cast<char>(i % 200);  // line 0: 0..199
    frame[kFramePixels * 10 + 5] = char(255);
    const QStringList row = spreadsheetRow(saneInfo(), 0x0FFE, {frame, 0x0A1B});
    ASSERT_EQ(row.size(), 16);
    EXPECT_EQ(row.mid(0, 11), displayTexts(saneInfo()));
    EXPECT_EQ(row[11], "0x00000ffe");
    EXPECT_EQ(row[12], "0x1b");  // low byte
    EXPECT_EQ(row[13], "0x0a");  // high byte
    EXPECT_TRUE(row[14].startsWith("0:0/"));
    EXPECT_TRUE(row[14].endsWith("10:0/0/255"));
    // Line 0 is the brightest: 0..199 repeating, the brightest of each 10.
    ASSERT_EQ(row[15].size(), 3 + 2 * kProfileBins);
    EXPECT_TRUE(row[15].startsWith("L0:09131d"));
}

TEST(SpreadsheetRow, ProfileIsTheBrightestLineInSixtyFourBins)
{
    QByteArray frame(kFrameBytes, '\x10');
    for (int i = 0; i < kFramePixels; ++i)
        frame[4 * kFramePixels + i] = static_cast<char>(i < 320 ? 0x20 : 0xC8);
    frame[4 * kFramePixels + 637] = char(0xFF);
    const QString profile = frameProfileText(frame);
    EXPECT_EQ(profile, "L4:" + QString("20").repeated(32) + QString("c8").repeated(31) + "ff");
    EXPECT_TRUE(frameProfileText(QByteArray(7039, 'x')).isEmpty());
}

TEST(SpreadsheetRow, TheLevelingWindowsFramesAndReadings)
{
    std::array<uint8_t, kFrameBytes> frame{};
    frame[3] = 9;
    const UnitImage image = makeUnitImage(frame, 0x06, 0x50);
    EXPECT_EQ(image.frame.size(), kFrameBytes);
    EXPECT_EQ(image.frame[3], 9);
    EXPECT_EQ(image.exposureWord, uint16_t{0x0650});
    // A failed exposure request leaves 0xFF in both bytes: no reading.
    EXPECT_FALSE(makeUnitImage(frame, 0xFF, 0xFF).exposureWord);
    EXPECT_TRUE(makeUnitImage(std::span(frame).first(100), 1, 2).frame.isEmpty());
}

TEST(SpreadsheetRow, WithoutImageOrExposureThoseColumnsStayEmpty)
{
    const QStringList row = spreadsheetRow(saneInfo(), 0, {});
    ASSERT_EQ(row.size(), 16);
    EXPECT_EQ(row[11], "0x00000000");
    for (int c = 12; c < 16; ++c)
        EXPECT_TRUE(row[c].isEmpty()) << c;
    EXPECT_TRUE(spreadsheetRow(saneInfo(), 0, {QByteArray(100, 'x'), std::nullopt})[15].isEmpty());
}

} // namespace
