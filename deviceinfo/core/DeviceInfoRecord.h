#pragma once
// The device information record each camera unit keeps in its flash, and
// the eleven fields as the dialog and DeviceInfo.ini hold them.
//
// 120 bytes at flash 0x1F000 of each unit, little-endian:
//
//   0   magic u32 0x44455649 ("IVED" in byte order)
//   4   DeviceID u32            8   InfoVersion u32
//   12  FactoryName [16]        28  CustomerName [16]      44  Producer [16]
//   60  ManufDate u32           64  BatchNumer [16]        80  LotNumber [16]
//   96  EncrypWord u32          100 ProductModel [16]      116 SupportFeature u32
//
// Texts are the first 16 bytes of their Latin-1 form, padded with zero
// bytes. On flash the 116 bytes after the magic are followed by 12 zero
// bytes, so that they fill four 32-byte writes at 0x1F004..0x1F064; the magic
// is written last.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace tovrin::deviceinfo {

constexpr uint32_t kRecordOffset = 0x1F000;
constexpr uint32_t kMagic = 0x44455649;
constexpr int kRecordSize = 120;
constexpr int kBodyWriteSize = 128;  // 116 field bytes and 12 zero bytes, from offset 4
constexpr int kTextSize = 16;
constexpr int kFieldCount = 11;

// Field indices, in record (and dialog, and INI) order.
enum Field : int {
    DeviceID, InfoVersion, FactoryName, CustomerName, Producer, ManufDate,
    BatchNumer, LotNumber, EncrypWord, ProductModel, SupportFeature,
};

// The INI key of each field (group "DeviceInfo"), also the dialog's row
// labels without their colon.
const std::array<const char*, kFieldCount>& fieldKeys();
bool isHexField(int field);     // DeviceID, InfoVersion, EncrypWord, SupportFeature
bool isNumberField(int field);  // the hexadecimal ones and ManufDate

struct DeviceInfo {
    uint32_t deviceId = 0;
    uint32_t infoVersion = 0;
    QByteArray factoryName;   // at most 16 Latin-1 bytes, no padding
    QByteArray customerName;
    QByteArray producer;
    uint32_t manufDate = 0;
    QByteArray batchNumber;
    QByteArray lotNumber;
    uint32_t encrypWord = 0;
    QByteArray productModel;
    uint32_t supportFeature = 0;
    bool operator==(const DeviceInfo&) const = default;
};

// The 120 bytes with the magic.
std::array<uint8_t, kRecordSize> encodeRecord(const DeviceInfo& info);
// The 128 bytes written from offset 4 (fields and zero padding).
std::array<uint8_t, kBodyWriteSize> encodeBody(const DeviceInfo& info);
// Nothing when the buffer is shorter than a record or the magic is not there.
std::optional<DeviceInfo> decodeRecord(std::span<const uint8_t> bytes);
bool hasMagic(std::span<const uint8_t> bytes);

// The fields as the Master and Slave columns show them: "0x%1" with 8
// hexadecimal digits, ManufDate in decimal, texts as stored.
QStringList displayTexts(const DeviceInfo& info);

// The typed fields made into a record: the hexadecimal fields (with or
// without "0x"), ManufDate in decimal, the texts cut to 16 bytes. A field
// that is empty, not a number, beyond 32 bits or not Latin-1 is refused,
// naming the field; an odd device ID is raised by one (the Master's ID is
// even, the Slave's the next), so 0xffffffff is refused too.
struct ParsedInput {
    std::optional<DeviceInfo> info;
    QString problem;
    QStringList cut;  // fields whose text was longer than 16 bytes
};
ParsedInput parseInput(const QStringList& typed);

// DeviceInfo.ini: the eleven texts as typed. Reading shows the hexadecimal
// fields as "0x%1" with 8 digits when they are numbers, the others as stored.
QStringList loadIniTexts(const QString& file);
bool saveIniTexts(const QString& file, const QStringList& typed);

} // namespace tovrin::deviceinfo
