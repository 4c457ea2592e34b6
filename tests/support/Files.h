#pragma once
// Whole files written and read in one call, for the tests' settings files,
// packages, dumps and workbooks.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tovrin::test {

// Replaces the file with `bytes`; false when it cannot be written whole.
[[nodiscard]] inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace tovrin::test
