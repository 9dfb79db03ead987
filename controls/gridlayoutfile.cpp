#include "controls/gridlayoutfile.h"

#include "core/error.h"

#include <QFile>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace tessal {

namespace {

constexpr QByteArrayView Magic = "TESSAL-GRADE";
constexpr int Version = 1;
// Far more than any grid's layout; a bigger file is refused before it is taken apart.
constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

const QString KeyColumn = u"coluna"_s;
const QString KeyGroup = u"grupo"_s;
const QString KeySort = u"ordem"_s;
const QString KeyConditionField = u"campo-condicao"_s;
const QString KeyCondition = u"condicao"_s;
const QString KeyEnd = u"fim"_s;
const QString WordVisible = u"visivel"_s;
const QString WordHidden = u"oculta"_s;
const QString WordAscending = u"crescente"_s;
const QString WordDescending = u"decrescente"_s;
const QString WordNoColour = u"nenhuma"_s;

// Escaped: what would break the line or the quotes, and what a reader could not see or an
// editor might take for a line end (control characters, line and paragraph separators); a
// lone surrogate too, as UTF-8 cannot carry it.
bool needsEscape(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Surrogate:
        return true;
    default:
        return false;
    }
}

QString quoted(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
        } else if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += c;
        } else if (c == u'\n') {
            out += u"\\n"_s;
        } else if (c == u'\r') {
            out += u"\\r"_s;
        } else if (c == u'\t') {
            out += u"\\t"_s;
        } else if (needsEscape(c)) {
            out += u"\\u%1"_s.arg(static_cast<uint>(c.unicode()), 4, 16, QChar(u'0'));
        } else {
            out += c;
        }
    }
    out += u'"';
    return out;
}

QString colourText(const QColor &colour)
{
    if (!colour.isValid())
        return WordNoColour;
    return colour.name(colour.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb);
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isDigits(QStringView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QString valueCount(qsizetype count)
{
    return count == 1 ? u"1 valor"_s : u"%1 valores"_s.arg(count);
}

// A layout the reader would refuse is not written, so that every saved layout reads back.
void checkWritable(const QString &path, const GridLayout &layout)
{
    auto refuse = [&](const QString &why) {
        throw Error(ErrorNumber::InvalidInput,
                    u"O layout não foi gravado em \"%1\": %2."_s.arg(path, why), path);
    };
    QSet<QString> fields;
    for (const GridLayout::Column &column : layout.columns) {
        if (column.field.isEmpty())
            refuse(u"uma coluna não tem campo"_s);
        if (column.width < 0)
            refuse(u"a coluna \"%1\" tem largura negativa"_s.arg(column.field));
        if (fields.contains(column.field))
            refuse(u"a coluna \"%1\" aparece duas vezes"_s.arg(column.field));
        fields.insert(column.field);
    }
    QSet<QString> groups;
    for (const QString &field : layout.groupFields) {
        if (field.isEmpty())
            refuse(u"um agrupamento não tem campo"_s);
        if (groups.contains(field))
            refuse(u"o agrupamento por \"%1\" aparece duas vezes"_s.arg(field));
        groups.insert(field);
    }
}

QString layoutText(const GridLayout &layout)
{
    QString text = QString::fromLatin1(Magic) + u' ' + QString::number(Version) + u'\n';
    for (const GridLayout::Column &column : layout.columns)
        text += KeyColumn + u' ' + quoted(column.field) + u' ' + quoted(column.caption) + u' ' +
                QString::number(column.width) + u' ' + (column.visible ? WordVisible : WordHidden) +
                u'\n';
    for (const QString &field : layout.groupFields)
        text += KeyGroup + u' ' + quoted(field) + u'\n';
    if (!layout.sortField.isEmpty() || layout.sortDescending)
        text += KeySort + u' ' + quoted(layout.sortField) + u' ' +
                (layout.sortDescending ? WordDescending : WordAscending) + u'\n';
    if (!layout.conditionField.isEmpty())
        text += KeyConditionField + u' ' + quoted(layout.conditionField) + u'\n';
    for (const FormatCondition &condition : layout.conditions)
        text += KeyCondition + u' ' + quoted(condition.value) + u' ' +
                colourText(condition.foreground) + u' ' + colourText(condition.background) + u'\n';
    text += KeyEnd + u'\n';
    return text;
}

struct Token
{
    QString text; // unescaped
    QString raw;  // as written, for messages
    bool quoted = false;
};

// Takes a layout file apart line by line; every refusal names the file and, where there is
// one, the line.
class LayoutReader
{
public:
    explicit LayoutReader(const QString &path)
        : m_path(path)
    {}

    GridLayout read(QByteArray bytes);

private:
    [[noreturn]] void foreign() const;
    [[noreturn]] void damaged(const QString &detail) const;
    void readHeader(const QByteArray &line);
    void readLine(const QString &line);
    QList<Token> split(QStringView line) const;
    QChar unescape(QStringView line, qsizetype &i) const;
    void expectValues(const QList<Token> &tokens, qsizetype count) const;
    QString text(const Token &token) const;
    QString field(const Token &token) const;
    int width(const Token &token) const;
    QColor colour(const Token &token) const;
    bool choice(const Token &token, const QString &what, const QString &yes,
                const QString &no) const;

    QString m_path;
    int m_line = 0; // from 1; 0 when a refusal concerns the file as a whole
    bool m_ended = false;
    bool m_sortSeen = false;
    bool m_conditionFieldSeen = false;
    QSet<QString> m_columnFields;
    QSet<QString> m_groupFields;
    GridLayout m_layout;
};

void LayoutReader::foreign() const
{
    throw Error(BadLayoutFile, u"O arquivo \"%1\" não é um layout de grade."_s.arg(m_path), m_path);
}

void LayoutReader::damaged(const QString &detail) const
{
    const QString where = m_line > 0 ? u" (linha %1)"_s.arg(m_line) : QString();
    throw Error(BadLayoutFile,
                u"O layout \"%1\" está danificado%2: %3."_s.arg(m_path, where, detail), m_path);
}

GridLayout LayoutReader::read(QByteArray bytes)
{
    // Editors that mark UTF-8 put a byte order mark first.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast(); // the newline that ends the last line
    // Lines may end in CR LF when the file was edited on Windows; a CR inside a text is
    // escaped, so a CR at the end of a line belongs to its line end.
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);

    readHeader(lines.isEmpty() ? QByteArray() : lines.first());
    if (bytes.size() > MaxFileBytes) {
        m_line = 0;
        damaged(u"o arquivo é grande demais para um layout"_s);
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        m_line = static_cast<int>(i + 1);
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        const QString line = decoder.decode(lines.at(i));
        if (decoder.hasError())
            damaged(u"o texto não está em UTF-8"_s);
        readLine(line);
    }
    if (!m_ended) {
        m_line = 0;
        damaged(u"o arquivo termina antes da linha \"fim\", está incompleto"_s);
    }
    return m_layout;
}

// The header is judged on the bytes: a file from a newer version may differ in anything after
// its first line.
void LayoutReader::readHeader(const QByteArray &line)
{
    m_line = 1;
    if (!line.startsWith(Magic))
        foreign();
    const QByteArray rest = line.sliced(Magic.size());
    if (!rest.isEmpty() && rest.front() != ' ' && rest.front() != '\t')
        foreign(); // "TESSAL-GRADEX": some other format
    const QByteArray version = rest.trimmed();
    if (version == QByteArray::number(Version))
        return;
    const QString versionText = QString::fromLatin1(version);
    if (isDigits(versionText) && version.front() != '0')
        throw Error(BadLayoutFile,
                    u"O layout \"%1\" foi gravado por uma versão mais nova do programa (formato "
                    "%2); esta versão lê o formato %3."_s.arg(m_path, versionText)
                        .arg(Version),
                    m_path);
    damaged(version.isEmpty() ? u"falta a versão do formato"_s : u"versão do formato inválida"_s);
}

void LayoutReader::readLine(const QString &line)
{
    const QStringView trimmed = QStringView(line).trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
        return;
    if (m_ended)
        damaged(u"há texto depois da linha \"fim\""_s);
    const QList<Token> tokens = split(line);
    const Token &key = tokens.first();
    if (key.quoted)
        damaged(u"a linha começa por um texto entre aspas em vez de uma chave"_s);

    if (key.text == KeyColumn) {
        expectValues(tokens, 4);
        GridLayout::Column column;
        column.field = field(tokens.at(1));
        column.caption = text(tokens.at(2));
        column.width = width(tokens.at(3));
        column.visible = choice(tokens.at(4), u"visibilidade"_s, WordVisible, WordHidden);
        if (m_columnFields.contains(column.field))
            damaged(u"a coluna \"%1\" aparece duas vezes"_s.arg(column.field));
        m_columnFields.insert(column.field);
        m_layout.columns.append(column);
    } else if (key.text == KeyGroup) {
        expectValues(tokens, 1);
        const QString group = field(tokens.at(1));
        if (m_groupFields.contains(group))
            damaged(u"o agrupamento por \"%1\" aparece duas vezes"_s.arg(group));
        m_groupFields.insert(group);
        m_layout.groupFields.append(group);
    } else if (key.text == KeySort) {
        expectValues(tokens, 2);
        if (m_sortSeen)
            damaged(u"a linha \"%1\" aparece duas vezes"_s.arg(KeySort));
        m_sortSeen = true;
        m_layout.sortField = text(tokens.at(1));
        m_layout.sortDescending = choice(tokens.at(2), u"direção"_s, WordDescending, WordAscending);
    } else if (key.text == KeyConditionField) {
        expectValues(tokens, 1);
        if (m_conditionFieldSeen)
            damaged(u"a linha \"%1\" aparece duas vezes"_s.arg(KeyConditionField));
        m_conditionFieldSeen = true;
        m_layout.conditionField = text(tokens.at(1));
    } else if (key.text == KeyCondition) {
        expectValues(tokens, 3);
        m_layout.conditions.append(
            {text(tokens.at(1)), colour(tokens.at(2)), colour(tokens.at(3))});
    } else if (key.text == KeyEnd) {
        expectValues(tokens, 0);
        m_ended = true;
    } else {
        damaged(u"chave desconhecida \"%1\""_s.arg(key.text));
    }
}

QList<Token> LayoutReader::split(QStringView line) const
{
    QList<Token> tokens;
    const qsizetype n = line.size();
    qsizetype i = 0;
    for (;;) {
        while (i < n && isBlank(line[i]))
            ++i;
        if (i == n)
            return tokens;
        const qsizetype start = i;
        Token token;
        if (line[i] == u'"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < n && !closed) {
                const QChar c = line[i++];
                if (c == u'"')
                    closed = true;
                else if (c == u'\\' && i < n)
                    token.text += unescape(line, i);
                else if (c != u'\\')
                    token.text += c;
            }
            if (!closed)
                damaged(u"aspas abertas e não fechadas"_s);
            if (i < n && !isBlank(line[i]))
                damaged(u"falta um espaço depois das aspas"_s);
        } else {
            while (i < n && !isBlank(line[i])) {
                if (line[i] == u'"')
                    damaged(u"aspas no meio de \"%1\""_s.arg(line.sliced(start).toString()));
                ++i;
            }
            token.text = line.sliced(start, i - start).toString();
        }
        token.raw = line.sliced(start, i - start).toString();
        tokens.append(token);
    }
}

// `i` is just past the backslash; it is left past the escape.
QChar LayoutReader::unescape(QStringView line, qsizetype &i) const
{
    const QChar e = line[i++];
    switch (e.unicode()) {
    case u'"':
    case u'\\':
        return e;
    case u'n':
        return u'\n';
    case u'r':
        return u'\r';
    case u't':
        return u'\t';
    case u'u':
        if (i + 4 <= line.size()) {
            char16_t code = 0;
            bool ok = true;
            for (qsizetype k = i; k < i + 4 && ok; ++k) {
                const int digit = hexValue(line[k]);
                ok = digit >= 0;
                code = static_cast<char16_t>(code * 16 + digit);
            }
            if (ok) {
                i += 4;
                return QChar(code);
            }
        }
        damaged(u"\\u sem quatro algarismos hexadecimais"_s);
    default:
        damaged(u"sequência de escape desconhecida \\%1"_s.arg(e));
    }
}

void LayoutReader::expectValues(const QList<Token> &tokens, qsizetype count) const
{
    const qsizetype given = tokens.size() - 1;
    if (given != count)
        damaged(u"\"%1\" leva %2, a linha tem %3"_s.arg(tokens.first().text, valueCount(count),
                                                        valueCount(given)));
}

QString LayoutReader::text(const Token &token) const
{
    if (!token.quoted)
        damaged(u"esperado um texto entre aspas em vez de %1"_s.arg(token.raw));
    return token.text;
}

QString LayoutReader::field(const Token &token) const
{
    const QString name = text(token);
    if (name.isEmpty())
        damaged(u"nome de campo vazio"_s);
    return name;
}

int LayoutReader::width(const Token &token) const
{
    bool ok = !token.quoted && isDigits(token.text);
    const int value = ok ? token.text.toInt(&ok) : 0;
    if (!ok)
        damaged(u"largura inválida %1"_s.arg(token.raw));
    return value;
}

QColor LayoutReader::colour(const Token &token) const
{
    const QString &t = token.text;
    if (!token.quoted && t == WordNoColour)
        return {};
    if (!token.quoted && (t.size() == 7 || t.size() == 9) && t.front() == u'#') {
        QRgb value = 0;
        bool ok = true;
        for (qsizetype k = 1; k < t.size() && ok; ++k) {
            const int digit = hexValue(t.at(k));
            ok = digit >= 0;
            value = value * 16 + static_cast<QRgb>(digit);
        }
        if (ok)
            return t.size() == 7 ? QColor::fromRgb(value) : QColor::fromRgba(value);
    }
    damaged(u"cor inválida %1"_s.arg(token.raw));
}

bool LayoutReader::choice(const Token &token, const QString &what, const QString &yes,
                          const QString &no) const
{
    if (!token.quoted && token.text == yes)
        return true;
    if (!token.quoted && token.text == no)
        return false;
    damaged(u"%1 inválida %2 (use %3 ou %4)"_s.arg(what, token.raw, yes, no));
}

} // namespace

void writeGridLayout(const QString &path, const GridLayout &layout)
{
    checkWritable(path, layout);
    const QByteArray bytes = layoutText(layout).toUtf8();
    // QSaveFile writes beside the file and renames it over the old one on commit(). commit()
    // also renames when its own flush failed half-way (a full disk), so the flush is checked
    // first; on any failure the destructor throws the copy away.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit())
        throw Error(ErrorNumber::FileAccess,
                    u"Não foi possível gravar o layout \"%1\": %2."_s.arg(path, file.errorString()),
                    path);
}

GridLayout readGridLayout(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        throw Error(ErrorNumber::FileNotFound,
                    u"O arquivo de layout \"%1\" não foi encontrado."_s.arg(path), path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(ErrorNumber::FileAccess,
                    u"Não foi possível ler o layout \"%1\": %2."_s.arg(path, file.errorString()),
                    path);
    // One byte past the limit tells a file that is too big from one that just fits.
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw Error(ErrorNumber::FileAccess,
                    u"Não foi possível ler o layout \"%1\": %2."_s.arg(path, file.errorString()),
                    path);
    return LayoutReader(path).read(bytes);
}

} // namespace tessal
