#include "Settings.h"

#include "Folders.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace tovrin::shell {
namespace {

// Reads a value as the INI convention writes it: a double-quoted value may
// hold blanks, separators and the escapes \n, \", \\; anything else is taken
// up to the end of the line, trimmed.
QString unquote(const QString& raw)
{
    const QString v = raw.trimmed();
    if (v.size() < 2 || !v.startsWith('"') || !v.endsWith('"')) {
        QString out = v;
        out.replace(QLatin1String("\\n"), QLatin1String("\n"));
        return out;
    }
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 1; i + 1 < v.size(); ++i) {
        QChar c = v.at(i);
        if (c == '\\' && i + 2 < v.size()) {
            const QChar n = v.at(++i);
            if (n == 'n')
                out += '\n';
            else if (n == 't')
                out += '\t';
            else
                out += n;
            continue;
        }
        out += c;
    }
    return out;
}

QString quoteIfNeeded(const QString& value)
{
    const bool needs = value != value.trimmed() || value.contains(QRegularExpression(QStringLiteral("[\";#=,\\n\\\\]")));
    if (!needs)
        return value;
    QString out = QStringLiteral("\"");
    for (QChar c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n') {
            out += QLatin1String("\\n");
            continue;
        }
        out += c;
    }
    out += '"';
    return out;
}

} // namespace

IniFile IniFile::load(const QString& path, Encoding encoding)
{
    QFile f(configPath(path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return parse(decodeText(f.readAll(), encoding));
}

IniFile IniFile::parse(const QString& text)
{
    IniFile ini;
    Group* current = nullptr;
    const QStringList lines = text.split('\n');
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            current = &ini.group(line.mid(1, close < 0 ? -1 : close - 1).trimmed());
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;  // garbage line: ignored
        if (!current)
            current = &ini.group(QStringLiteral("General"));
        set(*current, line.left(eq).trimmed(), unquote(line.mid(eq + 1)));  // the last one counts
    }
    return ini;
}

IniFile::Group* IniFile::findGroup(const QString& name)
{
    const auto it = m_groupIndex.constFind(name.toCaseFolded());
    return it == m_groupIndex.cend() ? nullptr : &m_groups[*it];
}

const IniFile::Group* IniFile::findGroup(const QString& name) const
{
    const auto it = m_groupIndex.constFind(name.toCaseFolded());
    return it == m_groupIndex.cend() ? nullptr : &m_groups[*it];
}

IniFile::Group& IniFile::group(const QString& name)
{
    if (Group* g = findGroup(name))
        return *g;
    m_groupIndex.insert(name.toCaseFolded(), m_groups.size());
    m_groups.push_back({name, {}, {}});
    return m_groups.back();
}

void IniFile::set(Group& group, const QString& key, const QString& value)
{
    const QString folded = key.toCaseFolded();
    const auto it = group.index.constFind(folded);
    if (it != group.index.cend()) {
        group.entries[*it].value = value;
        return;
    }
    group.index.insert(folded, group.entries.size());
    group.entries.push_back({key, value});
}

const QString* IniFile::find(const QString& group, const QString& key) const&
{
    const Group* g = findGroup(group);
    if (!g)
        return nullptr;
    const auto it = g->index.constFind(key.toCaseFolded());
    return it == g->index.cend() ? nullptr : &g->entries[*it].value;
}

QString IniFile::value(const QString& group, const QString& key, const QString& fallback) const
{
    const QString* v = find(group, key);
    return v ? *v : fallback;
}

void IniFile::setValue(const QString& groupName, const QString& key, const QString& value)
{
    set(group(groupName), key, value);
}

QStringList IniFile::groupNames() const
{
    QStringList names;
    for (const Group& g : m_groups)
        names << g.name;
    return names;
}

QStringList IniFile::keys(const QString& groupName) const
{
    QStringList out;
    if (const Group* g = findGroup(groupName))
        for (const Entry& e : g->entries)
            out << e.key;
    return out;
}

QString IniFile::toText() const
{
    QString out;
    bool first = true;
    for (const Group& g : m_groups) {
        if (!first)
            out += '\n';
        first = false;
        out += '[' + g.name + "]\n";
        for (const Entry& e : g.entries)
            out += e.key + '=' + quoteIfNeeded(e.value) + '\n';
    }
    return out;
}

void splitKey(const QString& groupSlashKey, QString& group, QString& key)
{
    const qsizetype slash = groupSlashKey.lastIndexOf('/');
    if (slash < 0) {
        group = QStringLiteral("General");
        key = groupSlashKey;
    } else {
        group = groupSlashKey.left(slash);
        key = groupSlashKey.mid(slash + 1);
    }
}

int toIntOrZero(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    return ok ? v : 0;
}

unsigned hexToUintOrZero(const QString& text)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    bool ok = false;
    const unsigned v = t.toUInt(&ok, 16);
    return ok ? v : 0;
}

QString readText(const QString& groupSlashKey, const QString& fallback, const QString& file)
{
    QString group, key;
    splitKey(groupSlashKey, group, key);
    return IniFile::load(file).value(group, key, fallback);
}

int readInt(const QString& groupSlashKey, int fallback, const QString& file)
{
    QString group, key;
    splitKey(groupSlashKey, group, key);
    const IniFile ini = IniFile::load(file);
    const QString* v = ini.find(group, key);
    return v ? toIntOrZero(*v) : fallback;
}

unsigned readHex(const QString& groupSlashKey, const QString& fallback, const QString& file)
{
    return hexToUintOrZero(readText(groupSlashKey, fallback, file));
}

namespace settings {

int readKeyGroupSetting(const QString& edgeGroup, const QString& key)
{
    return readInt(edgeGroup + '/' + key, 0);
}

int waitFrameCount()
{
    return std::clamp(CalibTime.read(), 40, 120);
}

} // namespace settings
} // namespace tovrin::shell
