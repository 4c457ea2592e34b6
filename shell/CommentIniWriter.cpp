#include "CommentIniWriter.h"

#include "Folders.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

namespace tovrin::shell {
namespace {
std::mutex g_hookMutex;
std::function<bool()> g_beforeReplace;
} // namespace

void CommentIniWriter::setBeforeReplaceHook(std::function<bool()> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_beforeReplace = std::move(hook);
}

namespace {

// The file a name stands for: symbolic links followed to their end, so that
// the new contents replace the target and the link stays a link.
QString resolveLinks(const QString& fileName)
{
    QString path = fileName;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(path);
        if (!info.isSymLink())
            return path;
        path = info.symLinkTarget();
    }
    return path;  // a loop: opening it fails below and the write is refused
}

} // namespace

CommentIniWriter::CommentIniWriter(const QString& fileName)
    : m_fileName(configPath(fileName))
    , m_target(resolveLinks(m_fileName))
{
    const QFileInfo info(m_target);
    m_existed = info.exists() || info.isSymLink();
    if (!m_existed)
        return;  // a new file: GBK, no comments
    QFile f(m_target);
    QByteArray bytes;
    bool readable = f.open(QIODevice::ReadOnly);
    if (readable) {
        bytes = f.readAll();
        readable = f.error() == QFileDevice::NoError;
    }
    if (!readable) {
        // Taking it for empty would replace every setting with one key.
        qDebug() << "readIniComment open" << m_target << "failed!: error";
        m_refused = true;
        return;
    }
    struct stat st {};
    if (::fstat(f.handle(), &st) != 0) {
        qDebug() << "readIniComment open" << m_target << "failed!: error";
        m_refused = true;
        return;
    }
    m_mode = st.st_mode & 07777;
    // A read-only file is the owner's choice; its write permission bits count
    // even for a user the system would let through (root).
    if (!info.isWritable() || (m_mode & 0222) == 0) {
        qDebug() << "WriteIniComment open" << m_target << "failed! (read-only)";
        m_refused = true;
        return;
    }
    takeBytes(bytes);
}

void CommentIniWriter::takeBytes(const QByteArray& bytes)
{
    m_encoding = detectEncoding(bytes);
    m_plainAscii = !bytes.isEmpty() && std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
    m_plainAscii = m_plainAscii || bytes.isEmpty();
    const std::optional<QString> text = decodeStrict(bytes, m_encoding);
    if (!text) {
        qDebug() << "readIniComment open" << m_target << "failed!: error (cannot decode)";
        m_refused = true;
        return;
    }
    const QStringList lines = text->split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (!line.isEmpty() && (line.startsWith('#') || line.startsWith(';')))
            m_comments.emplace(i, line);
    }
    // A file that ends with a line break has no line after it.
    if (!lines.isEmpty() && lines.last().isEmpty())
        m_comments.erase(static_cast<int>(lines.size()) - 1);
    m_ini = IniFile::parse(*text);
}

std::optional<QByteArray> CommentIniWriter::rewrite(const std::optional<QByteArray>& before,
                                                    const std::vector<std::pair<QString, QString>>& values)
{
    CommentIniWriter w;
    if (before)
        w.takeBytes(*before);
    for (const auto& [key, value] : values)
        w.setValue(key, value);
    w.m_open = false;
    if (w.m_refused)
        return std::nullopt;
    return w.render(w.composeText());
}

CommentIniWriter::~CommentIniWriter()
{
    if (m_open)
        close();
}

void CommentIniWriter::setValue(const QString& groupSlashKey, const QString& value)
{
    QString group, key;
    splitKey(groupSlashKey, group, key);
    m_ini.setValue(group, key, value);
}

bool CommentIniWriter::close()
{
    if (!m_open)
        return false;
    m_open = false;
    if (m_refused)
        return false;
    const std::optional<QByteArray> bytes = render(composeText());
    if (!bytes) {
        qDebug() << "WriteIniComment open" << m_target << "failed! (a value the file's encoding cannot hold)";
        return false;
    }
    return replaceFile(*bytes);
}

bool CommentIniWriter::canHold() const
{
    return m_open && !m_refused && render(composeText()).has_value();
}

QString CommentIniWriter::composeText() const
{
    // The settings as the INI writer lays them out, then the comments put
    // back at their old line numbers: for each written line advance the
    // counter, and while a comment belongs at the counter, write it first.
    QStringList body = m_ini.toText().split('\n');
    if (!body.isEmpty() && body.last().isEmpty())
        body.removeLast();

    QString out;
    int counter = -1;
    auto comments = m_comments;
    for (const QString& line : body) {
        ++counter;
        for (auto it = comments.find(counter); it != comments.end(); it = comments.find(counter)) {
            out += it->second + '\n';
            comments.erase(it);
            ++counter;
        }
        out += line + '\n';
    }
    // Comments that stood below the new end of the file are kept at the end
    // rather than dropped.
    for (const auto& [line, text] : comments) {
        Q_UNUSED(line);
        out += text + '\n';
    }
    return out;
}

std::optional<QByteArray> CommentIniWriter::render(QString text) const
{
    if (auto bytes = renderIn(text, m_encoding))
        return bytes;
    // A file of plain ASCII (or a new one) is in no encoding yet: what GBK
    // cannot hold exactly it takes in UTF-8.
    if (m_plainAscii && m_encoding.encoding == Encoding::Gbk)
        return renderIn(text, {Encoding::Utf8, false});
    return std::nullopt;
}

std::optional<QByteArray> CommentIniWriter::renderIn(QString text, const FileEncoding& encoding)
{
    std::optional<QByteArray> bytes = encodeStrict(text, encoding);
    // The GBK bytes of some hanzi are valid UTF-8 on their own (一 is d2 bb,
    // Cyrillic һ in UTF-8): a GBK file holding only such text would be read
    // as UTF-8, as other letters. A comment whose GBK bytes are no UTF-8
    // keeps such a file recognisably GBK.
    if (bytes && encoding.encoding == Encoding::Gbk && detectEncoding(*bytes).encoding != Encoding::Gbk) {
        text += kGbkMarker + QLatin1Char('\n');
        bytes = encodeStrict(text, encoding);
    }
    // What is written must read back as it was meant, or not be written
    // (a character whose GBK form reads back as another is refused too).
    if (!bytes || decodeStrict(*bytes, detectEncoding(*bytes)) != text)
        return std::nullopt;
    return bytes;
}

bool CommentIniWriter::replaceFile(const QByteArray& bytes)
{
    const QString tempName = m_target + ".out";
    {
        QFile tmp(tempName);
        if (!tmp.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            qDebug() << "WriteIniComment open" << tempName << "failed!";
            return false;
        }
        // The new file gets the old one's permissions before it takes its
        // place (DeviceInfo.ini holds the encryption word).
        const bool written = tmp.write(bytes) == bytes.size() && tmp.flush()
                             && (!m_existed || ::fchmod(tmp.handle(), m_mode) == 0);
        if (!written) {
            qDebug() << "WriteIniComment open" << tempName << "failed!";
            tmp.close();
            QFile::remove(tempName);
            return false;
        }
        ::fsync(tmp.handle());
        tmp.close();
    }
    {
        std::function<bool()> hook;
        {
            std::lock_guard lock(g_hookMutex);
            hook = g_beforeReplace;
        }
        if (hook && !hook())
            return false;  // "crashed": the complete .out file and the old file both remain
    }
    // rename(2) replaces the old file in one step.
    if (::rename(QFile::encodeName(tempName).constData(), QFile::encodeName(m_target).constData()) != 0) {
        qDebug() << "WriteIniComment open" << m_target << "failed!";
        QFile::remove(tempName);
        return false;
    }
    return true;
}

bool writeSetting(const QString& file, const QString& groupSlashKey, const QString& value)
{
    CommentIniWriter w(file);
    w.setValue(groupSlashKey, value);
    return w.close();
}

} // namespace tovrin::shell
