#pragma once
// Writes settings into an INI file without losing its comment lines: a
// comment that stood on line k of the file stands on line k again after the
// save, whatever the keys around it did.
//
// The file keeps its encoding (UTF-8, with its byte-order mark if it had one,
// or GBK; a new file, or one of plain ASCII, is written in GBK unless GBK
// cannot hold a value exactly, then in UTF-8), its permissions, and its place: a symbolic link
// is written through to the file it points to. The writer refuses, writing
// nothing, rather than lose what the file holds: a file that exists but
// cannot be read or decoded, a read-only file, or a value the file's encoding
// cannot hold. A value written reads back as written: a GBK file whose text
// alone would read as UTF-8 (the GBK bytes of some hanzi are valid UTF-8)
// is given the comment line kGbkMarker at its end.
//
// The new file is written completely beside the old one (".out") and then
// renamed over it, so a crash at any moment leaves either the old or the new
// file whole, never a missing or half-written settings file.
//
// A bare file name is one of the configuration folder. Window thread only; one writer at a time.

#include "Settings.h"
#include "TextCodec.h"

#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

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
    // Closes without writing anything.
    void discard() { m_open = false; }

    // False when the file was found unfit for writing at opening (see above);
    // close() will then write nothing.
    bool canWrite() const { return !m_refused; }
    // True when close() would write the values set so far (the file is fit
    // and its encoding holds every value): a job checks this before it
    // changes anything else, so that the save cannot fail afterwards for
    // want of a character.
    bool canHold() const;

    // What a save writes, without a file: the bytes of a settings file that
    // held `before` (nothing: a new file) after the values ("Group/key",
    // value) were set, or nothing when the save would be refused.
    static std::optional<QByteArray> rewrite(const std::optional<QByteArray>& before,
                                             const std::vector<std::pair<QString, QString>>& values);

    // Tests: called after the complete ".out" file exists and before it
    // replaces the settings file; returning false simulates a crash there.
    static void setBeforeReplaceHook(std::function<bool()> hook);

    // The comment line a GBK file is given when its text alone would read
    // as UTF-8.
    static inline const QString kGbkMarker = QString::fromUtf8("; \xE7\xBC\x96\xE7\xA0\x81: GBK");

private:
    CommentIniWriter() = default;  // no file (rewrite)
    void takeBytes(const QByteArray& bytes);
    bool replaceFile(const QByteArray& bytes);
    // The file's bytes for its new text, or nothing when they would not read
    // back as that text.
    std::optional<QByteArray> render(QString text) const;
    static std::optional<QByteArray> renderIn(QString text, const FileEncoding& encoding);
    QString composeText() const;

    QString m_fileName;
    QString m_target;                   // the file itself, symbolic links followed
    FileEncoding m_encoding;            // what the file is kept in
    bool m_plainAscii = true;           // new, or nothing but ASCII: GBK, or UTF-8 where GBK cannot hold a value
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
