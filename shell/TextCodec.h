#pragma once
// Text encodings of the settings files. A settings file keeps the encoding it
// has: UTF-8 (with or without a byte-order mark) or GBK, what the frame's
// other tools write on a Chinese desktop. A new file, and one of plain ASCII
// (which reads the same in both), is written in GBK. The reader and the
// writer decide with the same rule, detectEncoding(). glibc's iconv does the
// GBK conversion.

#include <QByteArray>
#include <QString>

#include <optional>

namespace tovrin::shell {

enum class Encoding { Utf8, Gbk, Auto };

// How a file's bytes are to be read and written back.
struct FileEncoding {
    Encoding encoding = Encoding::Gbk;  // Utf8 or Gbk, never Auto
    bool byteOrderMark = false;         // the file begins with EF BB BF
    bool operator==(const FileEncoding&) const = default;
};

// A UTF-8 byte-order mark, or non-ASCII bytes that form valid UTF-8, mean
// UTF-8; anything else is GBK.
FileEncoding detectEncoding(const QByteArray& bytes);

// Lenient reading for the INI reader: a byte-order mark is dropped, bytes
// that cannot be converted are skipped (a damaged file reads as far as it is
// readable). Auto decides with detectEncoding().
QString decodeText(const QByteArray& bytes, Encoding encoding);
// Lenient writing: characters GBK lacks are transliterated.
QByteArray encodeText(const QString& text, Encoding encoding);

// Strict conversions for the writer: nothing when a byte sequence or a
// character has no exact counterpart in the encoding (what encodeStrict
// gives decodes to the very same text). decodeStrict drops a
// byte-order mark; encodeStrict writes one when the encoding has it.
std::optional<QString> decodeStrict(const QByteArray& bytes, const FileEncoding& encoding);
std::optional<QByteArray> encodeStrict(const QString& text, const FileEncoding& encoding);

} // namespace tovrin::shell
