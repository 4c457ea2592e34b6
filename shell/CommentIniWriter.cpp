#include "CommentIniWriter.h"

#include <QDebug>
#include <QFile>
#include <cstdio>
#include <unistd.h>

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

CommentIniWriter::CommentIniWriter(const QString& fileName)
    : m_fileName(fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        qDebug() << "readIniComment open" << fileName << "failed!: error";
        return;
    }
    const QString text = decodeText(f.readAll(), Encoding::Gbk);
    const QStringList lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (!line.isEmpty() && (line.startsWith('#') || line.startsWith(';')))
            m_comments.emplace(i, line);
    }
    // A file that ends with a line break has no line after it.
    if (!lines.isEmpty() && lines.last().isEmpty())
        m_comments.erase(static_cast<int>(lines.size()) - 1);
    m_ini = IniFile::parse(text);
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

    const QString tempName = m_fileName + ".out";
    {
        QFile tmp(tempName);
        if (!tmp.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            qDebug() << "WriteIniComment open" << tempName << "failed!";
            return false;
        }
        const QByteArray bytes = encodeText(out, Encoding::Gbk);
        if (tmp.write(bytes) != bytes.size() || !tmp.flush()) {
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
    if (::rename(QFile::encodeName(tempName).constData(), QFile::encodeName(m_fileName).constData()) != 0) {
        qDebug() << "WriteIniComment open" << m_fileName << "failed!";
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
