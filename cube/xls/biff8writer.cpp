#include "cube/xls/biff8writer.h"

#include "cube/xls/cfbwriter.h"

#include <QtEndian>
#include <algorithm>
#include <climits>

namespace tessal::cube::xls {

namespace {

constexpr int MaxRecordData = 8224;
constexpr int FirstCustomFormat = 164;
constexpr int FirstUserXf = 16; // 15 style XFs and the default cell XF come first
constexpr int FirstPaletteIndex = 8;
constexpr int PaletteSize = 56;

// Appends little-endian values to a byte buffer.
struct Bytes
{
    QByteArray b;
    void u8(quint8 v) { b.append(char(v)); }
    void u16(quint16 v)
    {
        char buf[2];
        qToLittleEndian(v, buf);
        b.append(buf, 2);
    }
    void u32(quint32 v)
    {
        char buf[4];
        qToLittleEndian(v, buf);
        b.append(buf, 4);
    }
    void f64(double v)
    {
        char buf[8];
        qToLittleEndian(v, buf);
        b.append(buf, 8);
    }
    void utf16(const QString &s)
    {
        for (QChar c : s)
            u16(c.unicode());
    }
};

void record(QByteArray &out, quint16 type, const QByteArray &data)
{
    Bytes h;
    h.u16(type);
    h.u16(quint16(data.size()));
    out += h.b;
    out += data;
}

QByteArray bof(quint16 kind)
{
    Bytes d;
    d.u16(0x0600);
    d.u16(kind);
    d.u16(0x0DBB);
    d.u16(0x07CC);
    d.u32(0x00000000);
    d.u32(0x00000006);
    return d.b;
}

QByteArray font(quint16 colourIndex, bool bold)
{
    Bytes d;
    d.u16(200); // 10 pt
    d.u16(0);
    d.u16(colourIndex);
    d.u16(bold ? 700 : 400);
    d.u16(0);
    d.u8(0);
    d.u8(0);
    d.u8(0);
    d.u8(0);
    const QString name = QStringLiteral("Arial");
    d.u8(quint8(name.size()));
    d.u8(1);
    d.utf16(name);
    return d.b;
}

QByteArray xf(quint16 fontIndex, quint16 formatIndex, bool style, quint16 fillColour, bool filled)
{
    Bytes d;
    d.u16(fontIndex);
    d.u16(formatIndex);
    d.u16(style ? 0xFFF5 : 0x0001); // style XF, or locked cell XF whose parent is style 0
    d.u8(0x20);                     // bottom-aligned
    d.u8(0);
    d.u8(0);
    d.u8(style ? 0 : 0xFC); // a cell XF states every attribute itself
    d.u32(0);
    quint32 fills = filled ? (quint32(1) << 26) : 0; // solid pattern
    d.u32(fills);
    d.u16(quint16((filled ? fillColour : 64) | (65 << 7)));
    return d.b;
}

quint8 red(quint32 rgb)
{
    return quint8(rgb & 0xFF);
}
quint8 green(quint32 rgb)
{
    return quint8((rgb >> 8) & 0xFF);
}
quint8 blue(quint32 rgb)
{
    return quint8((rgb >> 16) & 0xFF);
}

// Writes the shared string table, continuing into CONTINUE records at the size limit; a string
// split across records repeats its option byte at the start of the continuation. The EXTSST
// record after it lists where every n-th string starts, as Excel expects. `out` must start at
// the beginning of the workbook stream, since those positions are absolute.
void sharedStrings(QByteArray &out, const std::vector<QString> &strings, quint32 uses)
{
    // EXTSST holds at most 1027 entries within one record
    const size_t perBucket = std::max<size_t>(8, (strings.size() + 1023) / 1024);
    std::vector<std::pair<quint32, quint16>> marks;
    Bytes current;
    current.u32(uses);
    current.u32(quint32(strings.size()));
    quint16 type = 0x00FC;
    auto flush = [&] {
        record(out, type, current.b);
        current.b.clear();
        type = 0x003C;
    };
    for (size_t n = 0; n < strings.size(); ++n) {
        const QString &s = strings[n];
        if (current.b.size() + 3 + 2 > MaxRecordData)
            flush();
        if (n % perBucket == 0)
            marks.emplace_back(quint32(out.size() + 4 + current.b.size()),
                               quint16(4 + current.b.size()));
        current.u16(quint16(s.size()));
        current.u8(1); // UTF-16
        qsizetype i = 0;
        while (i < s.size()) {
            if (current.b.size() + 2 > MaxRecordData) {
                flush();
                current.u8(1);
            }
            current.u16(s.at(i).unicode());
            ++i;
        }
    }
    flush();
    Bytes ext;
    ext.u16(quint16(perBucket));
    for (const auto &[position, offset] : marks) {
        ext.u32(position);
        ext.u16(offset);
        ext.u16(0);
    }
    record(out, 0x00FF, ext.b);
}

} // namespace

Workbook::Workbook(const QString &sheetName)
    : m_sheetName(sheetName.left(31))
{
    m_styles.push_back(CellStyle{});
}

int Workbook::addStyle(const CellStyle &style)
{
    const auto it = std::find(m_styles.begin(), m_styles.end(), style);
    if (it != m_styles.end())
        return int(it - m_styles.begin());
    m_styles.push_back(style);
    return int(m_styles.size()) - 1;
}

void Workbook::setText(int row, int column, const QString &text, int style)
{
    if (row < 0 || row >= MaxRows || column < 0 || column >= MaxColumns)
        return;
    // a cell holds at most 32767 characters
    const QString t = text.left(32767);
    auto it = m_stringIndex.constFind(t);
    quint32 index;
    if (it == m_stringIndex.cend()) {
        index = quint32(m_strings.size());
        m_strings.push_back(t);
        m_stringIndex.insert(t, index);
    } else {
        index = *it;
    }
    ++m_stringUses;
    Cell c;
    c.kind = Cell::Kind::Text;
    c.sst = index;
    c.style = style;
    m_cells[{row, column}] = c;
}

void Workbook::setNumber(int row, int column, double value, int style)
{
    if (row < 0 || row >= MaxRows || column < 0 || column >= MaxColumns)
        return;
    Cell c;
    c.kind = Cell::Kind::Number;
    c.number = value;
    c.style = style;
    m_cells[{row, column}] = c;
}

void Workbook::setBlank(int row, int column, int style)
{
    if (row < 0 || row >= MaxRows || column < 0 || column >= MaxColumns)
        return;
    Cell c;
    c.style = style;
    m_cells[{row, column}] = c;
}

void Workbook::merge(int firstRow, int firstColumn, int lastRow, int lastColumn)
{
    if (firstRow < 0 || firstColumn < 0 || lastRow >= MaxRows || lastColumn >= MaxColumns)
        return;
    if (lastRow > firstRow || lastColumn > firstColumn)
        m_merges.push_back({firstRow, firstColumn, lastRow, lastColumn});
}

QByteArray Workbook::workbookStream() const
{
    // palette: the colours the styles use, in order of first use; the rest keep a neutral grey
    std::vector<quint32> palette;
    auto paletteIndex = [&palette](quint32 rgb) -> quint16 {
        auto it = std::find(palette.begin(), palette.end(), rgb);
        if (it != palette.end())
            return quint16(FirstPaletteIndex + (it - palette.begin()));
        if (palette.size() < size_t(PaletteSize)) {
            palette.push_back(rgb);
            return quint16(FirstPaletteIndex + palette.size() - 1);
        }
        // full: the nearest colour already there
        size_t best = 0;
        int bestDistance = INT_MAX;
        for (size_t i = 0; i < palette.size(); ++i) {
            const int dr = red(palette[i]) - red(rgb), dg = green(palette[i]) - green(rgb),
                      db = blue(palette[i]) - blue(rgb);
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        return quint16(FirstPaletteIndex + best);
    };

    std::vector<std::pair<quint16, bool>> fonts; // (colour index, bold) beyond the four defaults
    std::vector<QString> formats;
    struct XfEntry
    {
        quint16 font, format, fill;
        bool filled;
    };
    std::vector<XfEntry> xfs;
    for (const CellStyle &s : m_styles) {
        const quint16 fontColour = s.foreColor == 0 ? 0x7FFF : paletteIndex(s.foreColor);
        quint16 fontIndex = 0;
        if (fontColour != 0x7FFF || s.bold) {
            const std::pair<quint16, bool> key{fontColour, s.bold};
            auto it = std::find(fonts.begin(), fonts.end(), key);
            if (it == fonts.end()) {
                fonts.push_back(key);
                it = fonts.end() - 1;
            }
            fontIndex = quint16(5 + (it - fonts.begin())); // font index 4 does not exist
        }
        quint16 formatIndex = 0;
        if (!s.numberFormat.isEmpty()) {
            auto it = std::find(formats.begin(), formats.end(), s.numberFormat);
            if (it == formats.end()) {
                formats.push_back(s.numberFormat);
                it = formats.end() - 1;
            }
            formatIndex = quint16(FirstCustomFormat + (it - formats.begin()));
        }
        xfs.push_back(
            {fontIndex, formatIndex, s.filled ? paletteIndex(s.backColor) : quint16(64), s.filled});
    }

    QByteArray globals;
    record(globals, 0x0809, bof(0x0005));
    {
        Bytes d;
        d.u16(1200); // UTF-16
        record(globals, 0x0042, d.b);
    }
    {
        Bytes d;
        d.u16(0);
        d.u16(0);
        d.u16(0x4000);
        d.u16(0x2000);
        d.u16(0x0038);
        d.u16(0);
        d.u16(0);
        d.u16(1);
        d.u16(0x0258);
        record(globals, 0x003D, d.b);
    }
    {
        Bytes d;
        d.u16(0); // 1900 date system
        record(globals, 0x0022, d.b);
    }
    for (int i = 0; i < 4; ++i)
        record(globals, 0x0031, font(0x7FFF, false));
    for (const auto &[colour, bold] : fonts)
        record(globals, 0x0031, font(colour, bold));
    for (size_t i = 0; i < formats.size(); ++i) {
        Bytes d;
        d.u16(quint16(FirstCustomFormat + i));
        d.u16(quint16(formats[i].size()));
        d.u8(1);
        d.utf16(formats[i]);
        record(globals, 0x041E, d.b);
    }
    for (int i = 0; i < 15; ++i)
        record(globals, 0x00E0, xf(0, 0, true, 64, false));
    record(globals, 0x00E0, xf(0, 0, false, 64, false));
    for (const XfEntry &x : xfs)
        record(globals, 0x00E0, xf(x.font, x.format, false, x.fill, x.filled));
    {
        Bytes d;
        d.u16(0x8000); // built-in style "Normal" on XF 0
        d.u8(0);
        d.u8(0xFF);
        record(globals, 0x0293, d.b);
    }
    {
        Bytes d;
        d.u16(PaletteSize);
        for (int i = 0; i < PaletteSize; ++i) {
            const quint32 rgb = size_t(i) < palette.size() ? palette[size_t(i)] : 0xC0C0C0;
            d.u8(red(rgb));
            d.u8(green(rgb));
            d.u8(blue(rgb));
            d.u8(0);
        }
        record(globals, 0x0092, d.b);
    }
    // BOUNDSHEET needs the sheet's offset: write it with a placeholder and patch it after
    const qsizetype boundsheetAt = globals.size() + 4;
    {
        Bytes d;
        d.u32(0);
        d.u8(0);
        d.u8(0);
        d.u8(quint8(m_sheetName.size()));
        d.u8(1);
        d.utf16(m_sheetName);
        record(globals, 0x0085, d.b);
    }
    sharedStrings(globals, m_strings, m_stringUses);
    record(globals, 0x000A, {});

    QByteArray sheet;
    record(sheet, 0x0809, bof(0x0010));
    {
        int lastRow = -1, lastColumn = -1;
        for (const auto &[pos, cell] : m_cells) {
            lastRow = std::max(lastRow, pos.first);
            lastColumn = std::max(lastColumn, pos.second);
        }
        Bytes d;
        d.u32(0);
        d.u32(quint32(lastRow + 1));
        d.u16(0);
        d.u16(quint16(lastColumn + 1));
        d.u16(0);
        record(sheet, 0x0200, d.b);
    }
    {
        Bytes d;
        d.u16(0x06B6);
        d.u16(0);
        d.u16(0);
        d.u32(64);
        d.u16(0);
        d.u16(0);
        d.u32(0);
        record(sheet, 0x023E, d.b);
    }
    for (const auto &[pos, cell] : m_cells) {
        Bytes d;
        d.u16(quint16(pos.first));
        d.u16(quint16(pos.second));
        d.u16(quint16(FirstUserXf + cell.style));
        switch (cell.kind) {
        case Cell::Kind::Text:
            d.u32(cell.sst);
            record(sheet, 0x00FD, d.b);
            break;
        case Cell::Kind::Number:
            d.f64(cell.number);
            record(sheet, 0x0203, d.b);
            break;
        case Cell::Kind::Blank:
            record(sheet, 0x0201, d.b);
            break;
        }
    }
    for (size_t first = 0; first < m_merges.size(); first += 1026) {
        const size_t n = std::min<size_t>(1026, m_merges.size() - first);
        Bytes d;
        d.u16(quint16(n));
        for (size_t i = first; i < first + n; ++i) {
            d.u16(quint16(m_merges[i].r1));
            d.u16(quint16(m_merges[i].r2));
            d.u16(quint16(m_merges[i].c1));
            d.u16(quint16(m_merges[i].c2));
        }
        record(sheet, 0x00E5, d.b);
    }
    record(sheet, 0x000A, {});

    qToLittleEndian(quint32(globals.size()), globals.data() + boundsheetAt);
    return globals + sheet;
}

QByteArray Workbook::toFile() const
{
    return compoundFile(QStringLiteral("Workbook"), workbookStream());
}

} // namespace tessal::cube::xls
