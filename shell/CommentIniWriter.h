#pragma once
// Writes settings into an INI file without losing its comment lines: a
// comment that stood on line k of the file stands on line k again after the
// save, whatever the keys around it did.
//
// The file keeps its encoding (UTF-8, with its byte-order mark if it had one,
// or GBK; a new file is GBK), its permissions, and its place: a symbolic link
// is written through to the file it points to. The writer refuses, writing
// nothing, rather than lose what the file holds: a file that exists but
// cannot be read or decoded, a read-only file, or a value the file's encoding
// cannot hold.
//
// The new file is written completely beside the old one (".out") and then
// renamed over it, so a crash at any moment leaves either the old or the new
// file whole, never a missing or half-written settings file.
//
// Used only from the window thread; one writer at a time.

#include "Settings.h"
#include "TextCodec.h"

#include <QString>
#include <functional>
#include <map>

namespace tovrin::shell {

class CommentIniWriter {
public:
    explicit CommentIniWriter(const QString& fileName);
    ~CommentIniWriter();  // closes (writes) when still open

    CommentIniWriter(const CommentIniWriter&) = delete;
    CommentIniWriter& operator=(const CommentIniWriter&) = delete;

    // "Group/key" = value.
    void setValue(const QString& groupSlashKey, const QString& value);
    void setValue(const QString& groupSlashKey, int value) { setValue(groupSlashKey, QString::number(value)); }

    // Writes the file. Failures go to the debug output only; the settings
    // file is never left missing or half-written. Returns true when written,
    // false when refused or failed (the file is then as it was).
    bool close();

    // False when the file was found unfit for writing at opening (see above);
    // close() will then write nothing.
    bool canWrite() const { return !m_refused; }

    // Tests: called after the complete ".out" file exists and before it
    // replaces the settings file; returning false simulates a crash there.
    static void setBeforeReplaceHook(std::function<bool()> hook);

private:
    bool replaceFile(const QByteArray& bytes);

    QString m_fileName;
    QString m_target;                   // the file itself, symbolic links followed
    FileEncoding m_encoding;            // what the file is kept in
    bool m_existed = false;
    unsigned m_mode = 0;                // permission bits of the existing file
    bool m_refused = false;
    IniFile m_ini;
    std::map<int, QString> m_comments;  // line number -> comment text
    bool m_open = true;
};

// One-shot convenience: open, set, close.
bool writeSetting(const QString& file, const QString& groupSlashKey, const QString& value);
inline bool writeSetting(const QString& groupSlashKey, int value)
{
    return writeSetting(kSettingsFile, groupSlashKey, QString::number(value));
}

} // namespace tovrin::shell
