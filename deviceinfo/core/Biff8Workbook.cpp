#include "Biff8Workbook.h"

#include "CompoundFile.h"

#include <QHash>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tovrin::deviceinfo {
namespace {

constexpr int kMaxRecordData = 8224;
constexpr uint16_t kBof = 0x0809, kEof = 0x000A, kCodepage = 0x0042, kWindow1 = 0x003D, kFont = 0x0031,
                   kXf = 0x00E0, kStyle = 0x0293, kBoundSheet = 0x0085, kSst = 0x00FC, kContinue = 0x003C,
                   kExtSst = 0x00FF, kColInfo = 0x007D, kDimensions = 0x0200, kLabelSst = 0x00FD,
                   kNumber = 0x0203, kWindow2 = 0x023E;
constexpr uint16_t kCellXf = 15;

class Bytes {
public:
    void u8(uint8_t v) { m_b.append(static_cast<char>(v)); }
    void u16(uint16_t v)
    {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v)
    {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void f64(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        u32(static_cast<uint32_t>(bits));
        u32(static_cast<uint32_t>(bits >> 32));
    }
    void raw(const QByteArray& b) { m_b.append(b); }
    void hex(std::initializer_list<uint8_t> bytes)
    {
        for (uint8_t b : bytes)
            u8(b);
    }
    const QByteArray& data() const { return m_b; }
    int size() const { return static_cast<int>(m_b.size()); }

private:
    QByteArray m_b;
};

class Stream {
public:
    void record(uint16_t type, const QByteArray& data)
    {
        m_s.append(static_cast<char>(type));
        m_s.append(static_cast<char>(type >> 8));
        m_s.append(static_cast<char>(data.size()));
        m_s.append(static_cast<char>(data.size() >> 8));
        m_s.append(data);
    }
    void record(uint16_t type, const Bytes& data) { record(type, data.data()); }
    int pos() const { return static_cast<int>(m_s.size()); }
    void patch32(int at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_s[at + i] = static_cast<char>(v >> (8 * i));
    }
    QByteArray& bytes() { return m_s; }

private:
    QByteArray m_s;
};

constexpr int kSstHeader = 8;  // total and unique counts before the first text

bool compressible(const QString& s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

// The characters of s that go into a record with `room` bytes left (the
// text's 3-byte header included), as the writer parts them: whole
// characters, and never between the two halves of a surrogate pair.
int firstPart(const QString& s, int room, bool wide)
{
    const int charSize = wide ? 2 : 1;
    int n = std::min<int>((room - 3) / charSize, static_cast<int>(s.size()));
    if (wide && n < s.size() && n > 1 && s.at(n - 1).isHighSurrogate())
        --n;
    return std::max(n, 0);
}

// True when s, starting with `room` bytes left in the current record, ends
// in that record or the next.
bool fitsTwoRecords(const QString& s, int room)
{
    const bool wide = !compressible(s);
    const int charSize = wide ? 2 : 1;
    if (room < 3 + charSize)
        return false;
    const int rest = static_cast<int>(s.size()) - firstPart(s, room, wide);
    return rest <= (kMaxRecordData - 1) / charSize;
}

// Short name string: length byte, option byte, characters.
void shortString(Bytes& b, const QString& s)
{
    const QString t = s.left(31);
    b.u8(static_cast<uint8_t>(t.size()));
    if (compressible(t)) {
        b.u8(0);
        b.raw(t.toLatin1());
    } else {
        b.u8(1);
        for (QChar c : t)
            b.u16(c.unicode());
    }
}

// The shared string table with its CONTINUE records; the stream positions of
// every dsst-th string go into EXTSST.
void writeSst(Stream& out, const std::vector<QString>& strings, uint32_t references)
{
    const int dsst = std::max(8, static_cast<int>((strings.size() + 1026) / 1027));
    struct Mark {
        uint32_t position;
        uint16_t offset;
    };
    std::vector<Mark> marks;

    // Records are assembled here; rec holds the current record's data.
    uint16_t type = kSst;
    QByteArray rec;
    int recordStart = out.pos();
    auto flush = [&] {
        out.record(type, rec);
        rec.clear();
        type = kContinue;
        recordStart = out.pos();
    };
    auto append16 = [&rec](uint16_t v) {
        rec.append(static_cast<char>(v));
        rec.append(static_cast<char>(v >> 8));
    };
    append16(static_cast<uint16_t>(references));
    append16(static_cast<uint16_t>(references >> 16));
    append16(static_cast<uint16_t>(strings.size()));
    append16(static_cast<uint16_t>(strings.size() >> 16));

    for (size_t i = 0; i < strings.size(); ++i) {
        const QString& s = strings[i];
        const bool wide = !compressible(s);
        const int charSize = wide ? 2 : 1;
        // A text that would need a third record from here starts in a
        // record of its own (there it needs at most two: xlsTextFits).
        const int room = kMaxRecordData - static_cast<int>(rec.size());
        if (rec.size() > kSstHeader && !fitsTwoRecords(s, room))
            flush();
        if (static_cast<int>(i) % dsst == 0)
            marks.push_back({static_cast<uint32_t>(recordStart + 4 + rec.size()),
                             static_cast<uint16_t>(4 + rec.size())});
        append16(static_cast<uint16_t>(s.size()));
        rec.append(static_cast<char>(wide ? 1 : 0));
        int at = 0;
        while (at < s.size()) {
            const int chars = (kMaxRecordData - static_cast<int>(rec.size())) / charSize;
            if (chars <= 0) {
                flush();
                rec.append(static_cast<char>(wide ? 1 : 0));  // a continued string restates its option byte
                continue;
            }
            int n = std::min(chars, static_cast<int>(s.size()) - at);
            // Never part a surrogate pair across two records.
            if (wide && n < s.size() - at && n > 1 && s.at(at + n - 1).isHighSurrogate())
                --n;
            for (int k = 0; k < n; ++k) {
                const QChar c = s.at(at + k);
                if (wide)
                    append16(c.unicode());
                else
                    rec.append(static_cast<char>(c.unicode()));
            }
            at += n;
        }
    }
    flush();

    Bytes ext;
    ext.u16(static_cast<uint16_t>(dsst));
    for (const Mark& m : marks) {
        ext.u32(m.position);
        ext.u16(m.offset);
        ext.u16(0);
    }
    out.record(kExtSst, ext);
}

void writeGlobals(Stream& out, const XlsSheet& sheet, const std::vector<QString>& strings, uint32_t references,
                  int& boundSheetPosition)
{
    Bytes bof;
    bof.hex({0x00, 0x06, 0x05, 0x00, 0xBB, 0x0D, 0xCC, 0x07, 0, 0, 0, 0, 0x06, 0, 0, 0});
    out.record(kBof, bof);
    Bytes codepage;
    codepage.u16(1200);
    out.record(kCodepage, codepage);
    Bytes window1;
    for (uint16_t v : {0, 0, 0x3A98, 0x2328, 0x0038, 0, 0, 1, 0x0258})
        window1.u16(v);
    out.record(kWindow1, window1);
    // Fonts 0-3 and 5 (index 4 does not exist in BIFF): Arial 10 pt.
    for (int f = 0; f < 5; ++f) {
        Bytes font;
        font.u16(200);     // height in twips
        font.u16(0);       // options
        font.u16(0x7FFF);  // automatic colour
        font.u16(400);     // normal weight
        font.u16(0);       // no sub/superscript
        font.u8(0);        // no underline
        font.u8(0);        // family
        font.u8(0);        // character set
        font.u8(0);
        shortString(font, QStringLiteral("Arial"));
        out.record(kFont, font);
    }
    // 15 style XFs, then the cell XF that every cell uses.
    for (int x = 0; x < 16; ++x) {
        Bytes xf;
        xf.u16(0);                                       // font 0
        xf.u16(0);                                       // format General
        xf.u16(x < 15 ? 0xFFF5 : 0x0001);                // style XF (parent none) / cell XF of style 0
        xf.u8(0x20);                                     // bottom aligned
        xf.u8(0);                                        // no rotation
        xf.u8(0);                                        // no indent
        xf.u8(x == 0 || x == 15 ? 0x00 : 0xF4);          // attribute flags
        xf.u32(0);                                       // no borders
        xf.u32(0);
        xf.u16(0x20C0);                                  // pattern colours: automatic
        out.record(kXf, xf);
    }
    Bytes style;
    style.hex({0x00, 0x80, 0x00, 0xFF});  // built-in "Normal" on XF 0
    out.record(kStyle, style);
    Bytes boundSheet;
    boundSheet.u32(0);  // the worksheet's BOF position, patched below
    boundSheet.u8(0);   // visible
    boundSheet.u8(0);   // worksheet
    shortString(boundSheet, sheet.name);
    boundSheetPosition = out.pos() + 4;
    out.record(kBoundSheet, boundSheet);
    writeSst(out, strings, references);
    out.record(kEof, QByteArray());
}

} // namespace

bool xlsTextFits(const QString& text)
{
    // Readers hand texts on as C strings: a NUL would end the text there.
    return !text.contains(QChar(0)) && fitsTwoRecords(text, kMaxRecordData - kSstHeader);
}

std::optional<QByteArray> buildWorkbookStream(const XlsSheet& sheet)
{
    std::vector<XlsCell> cells;
    for (const XlsCell& c : sheet.cells)
        if (c.row >= 0 && c.row < kXlsMaxRows && c.column >= 0 && c.column < kXlsMaxColumns)
            cells.push_back(c);
    std::stable_sort(cells.begin(), cells.end(),
                     [](const XlsCell& a, const XlsCell& b) { return a.row != b.row ? a.row < b.row : a.column < b.column; });

    std::vector<QString> strings;
    QHash<QString, uint32_t> index;
    std::vector<uint32_t> cellString(cells.size(), 0);
    uint32_t references = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (!cells[i].isText)
            continue;
        const QString& text = cells[i].text;
        if (!xlsTextFits(text))
            return std::nullopt;
        auto it = index.find(text);
        if (it == index.end()) {
            it = index.insert(text, static_cast<uint32_t>(strings.size()));
            strings.push_back(text);
        }
        cellString[i] = *it;
        ++references;
    }

    Stream out;
    int boundSheetPosition = 0;
    writeGlobals(out, sheet, strings, references, boundSheetPosition);
    out.patch32(boundSheetPosition, static_cast<uint32_t>(out.pos()));

    Bytes bof;
    bof.hex({0x00, 0x06, 0x10, 0x00, 0xBB, 0x0D, 0xCC, 0x07, 0, 0, 0, 0, 0x06, 0, 0, 0});
    out.record(kBof, bof);
    for (size_t c = 0; c < sheet.columnWidths.size() && c < static_cast<size_t>(kXlsMaxColumns); ++c) {
        Bytes col;
        col.u16(static_cast<uint16_t>(c));
        col.u16(static_cast<uint16_t>(c));
        col.u16(static_cast<uint16_t>(std::clamp(sheet.columnWidths[c], 1, 255) * 256));
        col.u16(kCellXf);
        col.u16(0);
        col.u16(0);
        out.record(kColInfo, col);
    }
    Bytes dims;
    int lastRow = -1, lastColumn = -1;
    for (const XlsCell& c : cells) {
        lastRow = std::max(lastRow, c.row);
        lastColumn = std::max(lastColumn, c.column);
    }
    dims.u32(0);
    dims.u32(static_cast<uint32_t>(lastRow + 1));
    dims.u16(0);
    dims.u16(static_cast<uint16_t>(lastColumn + 1));
    dims.u16(0);
    out.record(kDimensions, dims);
    for (size_t i = 0; i < cells.size(); ++i) {
        Bytes cell;
        cell.u16(static_cast<uint16_t>(cells[i].row));
        cell.u16(static_cast<uint16_t>(cells[i].column));
        cell.u16(kCellXf);
        if (cells[i].isText) {
            cell.u32(cellString[i]);
            out.record(kLabelSst, cell);
        } else {
            cell.f64(cells[i].number);
            out.record(kNumber, cell);
        }
    }
    Bytes window2;
    window2.u16(0x06B6);  // grid lines, headers, zeros, default grid colour, outline, selected, shown
    window2.u16(0);
    window2.u16(0);
    window2.u16(0x40);
    window2.u16(0);
    window2.u16(0);
    window2.u16(0);
    window2.u32(0);
    out.record(kWindow2, window2);
    out.record(kEof, QByteArray());

    QByteArray stream = out.bytes();
    if (stream.size() < kCfbMiniCutoff)
        stream.append(QByteArray(kCfbMiniCutoff - stream.size(), '\0'));
    return stream;
}

std::optional<QByteArray> buildXlsFile(const XlsSheet& sheet)
{
    const std::optional<QByteArray> stream = buildWorkbookStream(sheet);
    if (!stream)
        return std::nullopt;
    return buildCompoundFile(QStringLiteral("Workbook"), *stream);
}

} // namespace tovrin::deviceinfo
