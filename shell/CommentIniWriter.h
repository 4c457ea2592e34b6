#pragma once
// Writes settings into an INI file without losing its comment lines: a
// comment that stood on line k of the file stands on line k again after the
// save, whatever the keys around it did. The file is read and written in GBK.
//
// The new file is written completely beside the old one (".out") and then
// renamed over it, so a crash at any moment leaves either the old or the new
// file whole, never a missing or half-written settings file.
//
// Used only from the window thread; one writer at a time.

#include "Settings.h"

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
    // file is never left missing or half-written. Returns true when written.
    bool close();

    // Tests: called after the complete ".out" file exists and before it
    // replaces the settings file; returning false simulates a crash there.
    static void setBeforeReplaceHook(std::function<bool()> hook);

private:
    QString m_fileName;
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
