#include "Settings.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace tovrin::shell {
namespace {

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

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
    QFile f(path);
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
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            auto it = std::find_if(ini.m_groups.begin(), ini.m_groups.end(),
                                   [&](const Group& g) { return sameName(g.name, name); });
            if (it == ini.m_groups.end()) {
                ini.m_groups.push_back({name, {}});
                current = &ini.m_groups.back();
            } else {
                current = &*it;
            }
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;  // garbage line: ignored
        if (!current) {
            ini.m_groups.push_back({QStringLiteral("General"), {}});
            current = &ini.m_groups.back();
        }
        const QString key = line.left(eq).trimmed();
        const QString value = unquote(line.mid(eq + 1));
        auto e = std::find_if(current->entries.begin(), current->entries.end(),
                              [&](const Entry& en) { return sameName(en.key, key); });
        if (e == current->entries.end())
            current->entries.push_back({key, value});
        else
            e->value = value;  // the last one counts
    }
    return ini;
}

const QString* IniFile::find(const QString& group, const QString& key) const&
{
    for (const Group& g : m_groups) {
        if (!sameName(g.name, group))
            continue;
        for (const Entry& e : g.entries)
            if (sameName(e.key, key))
                return &e.value;
    }
    return nullptr;
}

QString IniFile::value(const QString& group, const QString& key, const QString& fallback) const
{
    const QString* v = find(group, key);
    return v ? *v : fallback;
}

void IniFile::setValue(const QString& group, const QString& key, const QString& value)
{
    auto g = std::find_if(m_groups.begin(), m_groups.end(), [&](const Group& gr) { return sameName(gr.name, group); });
    if (g == m_groups.end()) {
        m_groups.push_back({group, {}});
        g = m_groups.end() - 1;
    }
    auto e = std::find_if(g->entries.begin(), g->entries.end(), [&](const Entry& en) { return sameName(en.key, key); });
    if (e == g->entries.end())
        g->entries.push_back({key, value});
    else
        e->value = value;
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
