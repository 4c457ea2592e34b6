#pragma once
// A compound file (the container of Excel 97 workbooks) holding one stream.
//
// Version 3, 512-byte sectors. Layout written here:
//   header (512 bytes) | stream sectors | directory sector | FAT sectors | DIFAT sectors
// Directory: the root entry, the stream's entry, two unused entries. A
// stream shorter than 4096 bytes would belong in the mini stream; callers
// pad their stream to at least 4096 bytes instead (Excel ignores what
// follows a workbook's last EOF record).
//
// Header fields (little-endian):
//   0 signature D0 CF 11 E0 A1 B1 1A E1   24 minor 0x003E   26 major 3
//   28 byte order FFFE   30 sector shift 9   32 mini sector shift 6
//   44 FAT sector count  48 first directory sector  56 mini cutoff 4096
//   60 first mini FAT sector (none)  68 first DIFAT sector  72 DIFAT count
//   76 the first 109 FAT sector numbers

#include <QByteArray>
#include <QString>

#include <optional>

namespace tovrin::deviceinfo {

constexpr int kCfbSector = 512;
constexpr int kCfbMiniCutoff = 4096;

// The compound file bytes; stream must be at least kCfbMiniCutoff bytes.
QByteArray buildCompoundFile(const QString& streamName, const QByteArray& stream);

// The bytes of a stream of a compound file (version 3 or 4), read with
// every structure checked: header, FAT and DIFAT, directory entries and the
// chain of every stream (the mini stream's for small ones) must lie inside
// the file, end, and cover their sizes. Nothing, with what is wrong in
// problem, for a damaged file: such a file is never handed to a library
// that trusts its numbers.
std::optional<QByteArray> readCompoundStream(const QByteArray& file, const QString& streamName,
                                             QString* problem = nullptr);

} // namespace tovrin::deviceinfo
