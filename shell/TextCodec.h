#pragma once
// Text encodings of the settings files. Tovrin.ini and DeviceInfo.ini are
// written in GBK (what the frame's other tools expect of a Chinese desktop);
// they are read as UTF-8 when they are valid UTF-8, else as GBK. glibc's
// iconv does the GBK conversion.

#include <QByteArray>
#include <QString>

namespace tovrin::shell {

enum class Encoding { Utf8, Gbk, Auto };

QString decodeText(const QByteArray& bytes, Encoding encoding);
QByteArray encodeText(const QString& text, Encoding encoding);

} // namespace tovrin::shell
