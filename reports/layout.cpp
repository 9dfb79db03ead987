#include "reports/layout.h"

#include "core/error.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

namespace tessal::reports {

namespace {

constexpr qint64 MaxLayoutBytes = 1024 * 1024;
const QString Magic = QStringLiteral("TESSAL-RELATORIO");
const QString EndMark = QStringLiteral("FIM-RELATORIO");

struct Entry
{
    int line = 0;
    QString key; // lower case, single spaces
    QString value;
    bool bare = false; // a line without "="
};

struct Section
{
    int line = 0;
    QString name; // lower case
    QString argument;
    std::vector<Entry> entries;
};

const QRegularExpression &identifier()
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return re;
}

const QHash<QString, Placeholder::Kind> &builtins()
{
    static const QHash<QString, Placeholder::Kind> names = {
        {QStringLiteral("titulo"), Placeholder::Kind::Title},
        {QStringLiteral("pagina"), Placeholder::Kind::Page},
        {QStringLiteral("paginas"), Placeholder::Kind::Pages},
        {QStringLiteral("emissao"), Placeholder::Kind::PrintedDate},
        {QStringLiteral("hora"), Placeholder::Kind::PrintedTime},
        {QStringLiteral("inicio"), Placeholder::Kind::From},
        {QStringLiteral("fim"), Placeholder::Kind::To},
    };
    return names;
}

class LayoutReader
{
public:
    explicit LayoutReader(QString fileName)
        : m_fileName(std::move(fileName))
    {
        m_layout.fileName = m_fileName;
    }

    Layout read(const QByteArray &bytes)
    {
        const QStringList lines = checkedLines(bytes);
        splitSections(lines);
        readReport(required(QStringLiteral("relatorio")));
        readSource(required(QStringLiteral("dados")));
        readFields(required(QStringLiteral("campos")));
        for (const Section &s : m_sections) {
            if (s.name == QLatin1String("consulta"))
                readLookup(s);
        }
        resolveSourceNames();
        if (const Section *s = optional(QStringLiteral("totais")))
            readTotals(*s);
        readColumns(required(QStringLiteral("colunas")));
        readBands();
        return std::move(m_layout);
    }

private:
    // ---- refusals -------------------------------------------------------------------------------

    [[noreturn]] void fail(int line, const QString &what) const
    {
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("O modelo de relatório \"%1\" tem um erro na linha %2: %3.")
                        .arg(m_fileName)
                        .arg(line)
                        .arg(what),
                    m_fileName);
    }

    [[noreturn]] void damaged(const QString &why) const
    {
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("O modelo de relatório \"%1\" está danificado: %2. Copie-o de "
                                   "novo de um modelo que funcione.")
                        .arg(m_fileName, why),
                    m_fileName);
    }

    // ---- lines and sections ---------------------------------------------------------------------

    QStringList checkedLines(const QByteArray &raw) const
    {
        QByteArray bytes = raw;
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        if (!bytes.startsWith(Magic.toLatin1()))
            throw Error(ErrorNumber::InvalidInput,
                        QStringLiteral("O arquivo \"%1\" não é um modelo de relatório do Tessal "
                                       "Caixa: a primeira linha de um modelo é \"%2 %3\".")
                            .arg(m_fileName, Magic)
                            .arg(LayoutFormatVersion),
                        m_fileName);
        if (bytes.contains('\0'))
            damaged(QStringLiteral("contém bytes que não são texto"));
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(bytes);
        if (decoder.hasError())
            damaged(QStringLiteral("o texto não está em UTF-8"));
        QStringList lines = text.split(u'\n');
        for (QString &line : lines) {
            if (line.endsWith(u'\r'))
                line.chop(1);
        }
        static const QRegularExpression header(QStringLiteral("^TESSAL-RELATORIO\\s+(\\d+)\\s*$"));
        const QRegularExpressionMatch match = header.match(lines.first());
        if (!match.hasMatch())
            damaged(QStringLiteral("a primeira linha deveria ser \"%1 %2\"")
                        .arg(Magic)
                        .arg(LayoutFormatVersion));
        bool ok = false;
        const int version = match.captured(1).toInt(&ok);
        if (!ok || version < 1)
            damaged(QStringLiteral("a versão do formato na primeira linha não é válida"));
        if (version > LayoutFormatVersion)
            throw Error(ErrorNumber::InvalidInput,
                        QStringLiteral("O modelo de relatório \"%1\" foi escrito no formato %2, "
                                       "mais novo que o desta versão do programa (formato %3). "
                                       "Atualize o programa para usá-lo.")
                            .arg(m_fileName)
                            .arg(version)
                            .arg(LayoutFormatVersion),
                        m_fileName);
        // A file cut short at the end of a line would still read; the closing line tells.
        qsizetype last = lines.size() - 1;
        while (last > 0 && lines.at(last).trimmed().isEmpty())
            --last;
        if (last == 0 || lines.at(last).trimmed() != EndMark)
            damaged(QStringLiteral("falta a última linha, \"%1\" (o arquivo foi cortado?)")
                        .arg(EndMark));
        lines = lines.mid(0, last); // the end mark and what follows are not read
        return lines;
    }

    void splitSections(const QStringList &lines)
    {
        static const QRegularExpression sectionLine(
            QStringLiteral("^\\[\\s*([A-Za-z-]+)(?:\\s+([^\\]]*?))?\\s*\\]$"));
        Section *current = nullptr;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const int number = int(i) + 1;
            const QString line = lines.at(i).trimmed();
            if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
                continue;
            if (line.startsWith(u'[')) {
                const QRegularExpressionMatch match = sectionLine.match(line);
                if (!match.hasMatch())
                    fail(number, QStringLiteral("\"%1\" não é um nome de seção").arg(line));
                Section section;
                section.line = number;
                section.name = match.captured(1).toLower();
                section.argument = match.captured(2).trimmed();
                m_sections.push_back(section);
                current = &m_sections.back();
                continue;
            }
            if (!current)
                fail(number,
                     QStringLiteral("a linha \"%1\" está fora de qualquer seção").arg(line));
            Entry entry;
            entry.line = number;
            const qsizetype equals = line.indexOf(u'=');
            entry.bare = equals < 0;
            const QString key = entry.bare ? line : line.left(equals);
            entry.key = key.simplified().toLower();
            entry.value = entry.bare ? QString() : line.mid(equals + 1).trimmed();
            if (entry.key.isEmpty())
                fail(number, QStringLiteral("falta o nome antes de \"=\""));
            current->entries.push_back(entry);
        }
        static const QStringList single = {
            QStringLiteral("relatorio"),        QStringLiteral("dados"),
            QStringLiteral("campos"),           QStringLiteral("totais"),
            QStringLiteral("colunas"),          QStringLiteral("cabecalho-pagina"),
            QStringLiteral("rodape-pagina"),    QStringLiteral("cabecalho-relatorio"),
            QStringLiteral("rodape-relatorio"), QStringLiteral("detalhe")};
        static const QStringList named = {QStringLiteral("consulta"),
                                          QStringLiteral("cabecalho-grupo"),
                                          QStringLiteral("rodape-grupo")};
        QHash<QString, int> seen;
        for (const Section &s : m_sections) {
            if (single.contains(s.name)) {
                if (!s.argument.isEmpty())
                    fail(s.line, QStringLiteral("a seção [%1] não leva nome").arg(s.name));
            } else if (named.contains(s.name)) {
                if (s.argument.isEmpty())
                    fail(s.line, QStringLiteral("a seção [%1] precisa de um nome, como [%1 "
                                                "historico]")
                                     .arg(s.name));
            } else {
                fail(s.line, QStringLiteral("seção desconhecida [%1]").arg(s.name));
            }
            const QString key = s.name + u' ' + s.argument.toLower();
            if (seen.contains(key))
                fail(s.line, QStringLiteral("a seção [%1] aparece de novo (já aparece na linha %2)")
                                 .arg(QString(s.name + u' ' + s.argument).trimmed())
                                 .arg(seen.value(key)));
            seen.insert(key, s.line);
        }
    }

    const Section *optional(const QString &name) const
    {
        for (const Section &s : m_sections) {
            if (s.name == name)
                return &s;
        }
        return nullptr;
    }

    const Section &required(const QString &name) const
    {
        if (const Section *s = optional(name))
            return *s;
        damaged(QStringLiteral("falta a seção [%1]").arg(name));
    }

    [[noreturn]] void unknownKey(const Entry &e, const QString &section, const QString &known) const
    {
        fail(e.line, QStringLiteral("\"%1\" não é uma opção de [%2] (opções: %3)")
                         .arg(e.key, section, known));
    }

    void requireValue(const Entry &e) const
    {
        if (e.bare || e.value.isEmpty())
            fail(e.line, QStringLiteral("falta o valor de \"%1\"").arg(e.key));
    }

    QString checkedName(const Entry &e, const QString &what) const
    {
        if (!identifier().match(e.key).hasMatch())
            fail(e.line, QStringLiteral("\"%1\" não serve como nome de %2: use letras sem acento, "
                                        "algarismos e \"_\"")
                             .arg(e.key, what));
        if (builtins().contains(e.key))
            fail(e.line,
                 QStringLiteral("\"%1\" é um nome reservado (%2)")
                     .arg(e.key, QStringList(builtins().keys()).join(QStringLiteral(", "))));
        return e.key;
    }

    QString where(const Entry &e, const QString &what) const
    {
        return QStringLiteral("O modelo de relatório \"%1\", linha %2 (%3)")
            .arg(m_fileName)
            .arg(e.line)
            .arg(what);
    }

    // ---- [relatorio] ----------------------------------------------------------------------------

    void readReport(const Section &s)
    {
        for (const Entry &e : s.entries) {
            requireValue(e);
            if (e.key == QLatin1String("titulo")) {
                m_layout.title = e.value;
            } else if (e.key == QLatin1String("papel")) {
                const QString v = e.value.toLower();
                if (v == QLatin1String("a4"))
                    m_layout.paper = QPageSize::A4;
                else if (v == QLatin1String("carta"))
                    m_layout.paper = QPageSize::Letter;
                else if (v == QLatin1String("oficio") || v == QLatin1String("ofício"))
                    m_layout.paper = QPageSize::Legal;
                else
                    fail(e.line, QStringLiteral("papel \"%1\" desconhecido (A4, carta ou oficio)")
                                     .arg(e.value));
            } else if (e.key == QLatin1String("orientacao")) {
                const QString v = e.value.toLower();
                if (v == QLatin1String("retrato"))
                    m_layout.orientation = QPageLayout::Portrait;
                else if (v == QLatin1String("paisagem"))
                    m_layout.orientation = QPageLayout::Landscape;
                else
                    fail(e.line, QStringLiteral("orientação \"%1\" desconhecida (retrato ou "
                                                "paisagem)")
                                     .arg(e.value));
            } else if (e.key == QLatin1String("margem")) {
                m_layout.marginMm = number(e, 0, 50);
            } else if (e.key == QLatin1String("fonte")) {
                m_layout.fontPoints = number(e, 6, 20);
            } else if (e.key == QLatin1String("formato-data")) {
                m_layout.dateFormat = checkedDateFormat(e, e.value);
            } else if (e.key == QLatin1String("formato-valor")) {
                m_layout.groupedAmounts = checkedMoneyFormat(e, e.value);
            } else if (e.key == QLatin1String("sem-dados")) {
                m_layout.noRows = e.value;
            } else {
                unknownKey(e, s.name,
                           QStringLiteral("titulo, papel, orientacao, margem, fonte, "
                                          "formato-data, formato-valor, sem-dados"));
            }
        }
        if (m_layout.title.isEmpty())
            fail(s.line, QStringLiteral("[relatorio] precisa de um titulo"));
    }

    double number(const Entry &e, double min, double max) const
    {
        bool ok = false;
        const double v = QString(e.value).replace(u',', u'.').toDouble(&ok);
        if (!ok || v < min || v > max)
            fail(e.line, QStringLiteral("\"%1\" deve ser um número de %2 a %3")
                             .arg(e.key)
                             .arg(min)
                             .arg(max));
        return v;
    }

    QString checkedDateFormat(const Entry &e, const QString &format) const
    {
        // A format without any day, month or year letter would print the same text for every date.
        static const QRegularExpression dateLetters(QStringLiteral("[dMy]"));
        if (!format.contains(dateLetters))
            fail(e.line, QStringLiteral("o formato de data \"%1\" não tem dia (d), mês (M) nem ano "
                                        "(y)")
                             .arg(format));
        return format;
    }

    bool checkedMoneyFormat(const Entry &e, const QString &format) const
    {
        if (format == QLatin1String("1.234,56"))
            return true;
        if (format == QLatin1String("1234,56"))
            return false;
        fail(e.line, QStringLiteral("o formato de valor \"%1\" não existe (1.234,56 ou 1234,56)")
                         .arg(format));
    }

    // ---- [dados] --------------------------------------------------------------------------------

    void readSource(const Section &s)
    {
        for (const Entry &e : s.entries) {
            requireValue(e);
            if (e.key == QLatin1String("tabela")) {
                if (!m_layout.table.isEmpty())
                    fail(e.line, QStringLiteral("a fonte tem uma só tabela principal; as outras "
                                                "entram com \"juntar\""));
                if (!isReportTable(e.value))
                    fail(e.line, QStringLiteral("a tabela \"%1\" não existe nos relatórios "
                                                "(tabelas: %2)")
                                     .arg(e.value, reportTables().join(QStringLiteral(", "))));
                m_layout.table = e.value.toLower();
            } else if (e.key == QLatin1String("juntar") ||
                       e.key == QLatin1String("juntar-opcional")) {
                readJoin(e);
            } else if (e.key == QLatin1String("periodo")) {
                m_periodEntry = e;
            } else if (e.key == QLatin1String("selecao")) {
                const QString v = e.value.toLower();
                if (v != QLatin1String("obrigatoria") && v != QLatin1String("opcional"))
                    fail(e.line,
                         QStringLiteral("selecao deve ser \"obrigatoria\" ou \"opcional\""));
                m_layout.selectionRequired = v == QLatin1String("obrigatoria");
            } else if (e.key == QLatin1String("grupo")) {
                m_groupEntries.push_back(e);
            } else if (e.key == QLatin1String("ordem")) {
                m_orderEntries.push_back(e);
            } else {
                unknownKey(e, s.name,
                           QStringLiteral("tabela, juntar, juntar-opcional, periodo, "
                                          "selecao, grupo, ordem"));
            }
        }
        if (m_layout.table.isEmpty())
            fail(s.line, QStringLiteral("[dados] precisa da tabela principal (tabela = ...)"));
        if (m_periodEntry) {
            const SchemaColumn column = columnReference(*m_periodEntry, m_periodEntry->value);
            if (column.type != ValueType::Date)
                fail(m_periodEntry->line, QStringLiteral("o período deve ser um campo de data"));
            m_layout.period = column;
        }
    }

    void readJoin(const Entry &e)
    {
        const qsizetype colon = e.value.indexOf(u':');
        if (m_layout.table.isEmpty())
            fail(e.line, QStringLiteral("declare a tabela principal antes das junções"));
        if (colon < 0)
            fail(e.line, QStringLiteral("uma junção se escreve \"tabela: condição\""));
        Join join;
        join.table = e.value.left(colon).trimmed().toLower();
        join.optional = e.key == QLatin1String("juntar-opcional");
        if (!isReportTable(join.table))
            fail(e.line, QStringLiteral("a tabela \"%1\" não existe nos relatórios (tabelas: %2)")
                             .arg(join.table, reportTables().join(QStringLiteral(", "))));
        if (m_layout.tables().contains(join.table))
            fail(e.line, QStringLiteral("a tabela \"%1\" já faz parte da fonte").arg(join.table));
        join.condition = parseExpression(e.value.mid(colon + 1).trimmed(),
                                         {ExpressionContext::Condition,
                                          where(e, QStringLiteral("junção com %1").arg(join.table)),
                                          {}});
        const QSet<QString> used = tablesOf(join.condition);
        if (!used.contains(join.table))
            fail(e.line, QStringLiteral("a condição da junção deve usar algum campo de \"%1\"")
                             .arg(join.table));
        for (const QString &table : used) {
            if (table != join.table && !m_layout.tables().contains(table))
                fail(e.line, QStringLiteral("a condição usa a tabela \"%1\", que ainda não faz "
                                            "parte da fonte")
                                 .arg(table));
        }
        m_layout.joins.push_back(join);
    }

    SchemaColumn columnReference(const Entry &e, const QString &text) const
    {
        static const QRegularExpression shape(
            QStringLiteral("^\\{\\s*([A-Za-z_]+)\\s*\\.\\s*([A-Za-z_]+)\\s*\\}$"));
        const QRegularExpressionMatch match = shape.match(text.trimmed());
        if (!match.hasMatch())
            fail(e.line,
                 QStringLiteral("\"%1\" não é um campo {tabela.campo}").arg(text.trimmed()));
        const std::optional<SchemaColumn> column = findColumn(match.captured(1), match.captured(2));
        if (!column)
            fail(e.line, QStringLiteral("o campo %1 não existe").arg(text.trimmed()));
        if (!m_layout.tables().contains(column->table))
            fail(e.line, QStringLiteral("a tabela \"%1\" não faz parte da fonte do relatório")
                             .arg(column->table));
        return *column;
    }

    int fieldIndex(const QString &name) const
    {
        for (size_t i = 0; i < m_layout.fields.size(); ++i) {
            if (m_layout.fields[i].name == name)
                return int(i);
        }
        return -1;
    }

    void resolveSourceNames()
    {
        for (const Entry &e : m_groupEntries) {
            const int field = fieldIndex(e.value.toLower());
            if (field < 0)
                fail(e.line,
                     QStringLiteral("o grupo \"%1\" não é um campo de [campos]").arg(e.value));
            for (const Group &g : m_layout.groups) {
                if (g.field == field)
                    fail(e.line, QStringLiteral("o grupo \"%1\" aparece duas vezes").arg(e.value));
            }
            if (m_layout.fields[size_t(field)].aggregate)
                fail(e.line, QStringLiteral("um grupo não pode ser uma soma ou contagem"));
            Group group;
            group.field = field;
            m_layout.groups.push_back(group);
        }
        for (const Entry &e : m_orderEntries) {
            for (const QString &part : e.value.split(u',')) {
                QStringList words = part.simplified().split(u' ');
                OrderItem item;
                if (words.size() == 2 && (words.last().toLower() == QLatin1String("decrescente") ||
                                          words.last().toLower() == QLatin1String("crescente"))) {
                    item.descending = words.takeLast().toLower() == QLatin1String("decrescente");
                }
                if (words.size() != 1 || words.first().isEmpty())
                    fail(e.line, QStringLiteral("\"%1\" não é um item de ordem (um campo, e "
                                                "\"decrescente\" se for o caso)")
                                     .arg(part.trimmed()));
                const QString target = words.first();
                if (target.startsWith(u'{')) {
                    item.column = columnReference(e, target);
                } else {
                    item.field = fieldIndex(target.toLower());
                    if (item.field < 0)
                        fail(e.line, QStringLiteral("a ordem cita \"%1\", que não é um campo de "
                                                    "[campos]")
                                         .arg(target));
                }
                m_layout.order.push_back(item);
            }
        }
    }

    // ---- [campos], [consulta] -------------------------------------------------------------------

    void readFields(const Section &s)
    {
        for (const Entry &e : s.entries) {
            requireValue(e);
            Field field;
            field.name = checkedName(e, QStringLiteral("campo"));
            if (fieldIndex(field.name) >= 0)
                fail(e.line, QStringLiteral("o campo \"%1\" já foi definido").arg(field.name));
            field.expression = parseExpression(
                e.value,
                {ExpressionContext::Field, where(e, QStringLiteral("campo %1").arg(field.name)),
                 [this](const QString &name) -> NodePtr {
                     const int i = fieldIndex(name);
                     return i < 0 ? nullptr : m_layout.fields[size_t(i)].expression;
                 }});
            for (const QString &table : tablesOf(field.expression)) {
                if (!m_layout.tables().contains(table))
                    fail(e.line, QStringLiteral("o campo usa a tabela \"%1\", que não faz parte "
                                                "da fonte (junte-a em [dados])")
                                     .arg(table));
            }
            field.type = field.expression->type;
            field.aggregate = containsAggregate(field.expression);
            m_layout.fields.push_back(field);
        }
        if (m_layout.fields.empty())
            fail(s.line, QStringLiteral("[campos] precisa de ao menos um campo"));
    }

    void readLookup(const Section &s)
    {
        Lookup lookup;
        lookup.name = s.argument.toLower();
        if (!identifier().match(lookup.name).hasMatch())
            fail(s.line, QStringLiteral("\"%1\" não serve como nome de consulta").arg(s.argument));
        for (const Lookup &other : m_layout.lookups) {
            if (other.name == lookup.name)
                fail(s.line, QStringLiteral("a consulta \"%1\" já existe").arg(lookup.name));
        }
        const Entry *condition = nullptr;
        const auto requireOwnTable = [&](const Entry &e, const NodePtr &expression) {
            for (const QString &table : tablesOf(expression)) {
                if (table != lookup.table)
                    fail(e.line, QStringLiteral("a consulta \"%1\" lê só a tabela \"%2\", e usa "
                                                "\"%3\"")
                                     .arg(lookup.name, lookup.table, table));
            }
        };
        for (const Entry &e : s.entries) {
            requireValue(e);
            if (e.key == QLatin1String("tabela")) {
                if (!isReportTable(e.value))
                    fail(e.line, QStringLiteral("a tabela \"%1\" não existe nos relatórios "
                                                "(tabelas: %2)")
                                     .arg(e.value, reportTables().join(QStringLiteral(", "))));
                lookup.table = e.value.toLower();
            } else if (e.key == QLatin1String("onde")) {
                condition = &e;
            } else {
                if (lookup.table.isEmpty())
                    fail(e.line, QStringLiteral("declare a tabela da consulta antes dos campos"));
                Field field;
                field.name = checkedName(e, QStringLiteral("campo"));
                field.expression = parseExpression(
                    e.value,
                    {ExpressionContext::Field,
                     where(e, QStringLiteral("consulta %1, campo %2").arg(lookup.name, field.name)),
                     {}});
                if (containsAggregate(field.expression))
                    fail(e.line, QStringLiteral("uma consulta lê uma linha; não soma nem conta"));
                requireOwnTable(e, field.expression);
                field.type = field.expression->type;
                lookup.fields.push_back(field);
            }
        }
        if (lookup.table.isEmpty() || !condition || lookup.fields.empty())
            fail(s.line, QStringLiteral("a consulta \"%1\" precisa de tabela, onde e ao menos um "
                                        "campo")
                             .arg(lookup.name));
        lookup.condition = parseExpression(
            condition->value, {ExpressionContext::Lookup,
                               where(*condition, QStringLiteral("consulta %1").arg(lookup.name)),
                               {}});
        requireOwnTable(*condition, lookup.condition);
        m_layout.lookups.push_back(lookup);
    }

    // ---- [totais] -------------------------------------------------------------------------------

    int totalIndex(const QString &name) const
    {
        for (size_t i = 0; i < m_layout.totals.size(); ++i) {
            if (m_layout.totals[i].name == name)
                return int(i);
        }
        return -1;
    }

    void readTotals(const Section &s)
    {
        static const QRegularExpression shape(
            QStringLiteral("^([A-Za-z]+)\\s*\\(\\s*([A-Za-z0-9_]*)\\s*(?:,\\s*([A-Za-z0-9_]+)\\s*)?"
                           "\\)\\s*(?:[Pp][Oo][Rr]\\s+([A-Za-z0-9_]+))?$"));
        for (const Entry &e : s.entries) {
            requireValue(e);
            Total total;
            total.name = checkedName(e, QStringLiteral("total"));
            if (totalIndex(total.name) >= 0 || fieldIndex(total.name) >= 0)
                fail(e.line, QStringLiteral("o nome \"%1\" já foi usado").arg(total.name));
            const QRegularExpressionMatch match = shape.match(e.value);
            if (!match.hasMatch())
                fail(e.line,
                     QStringLiteral("um total se escreve FUNCAO(campo), como SOMA(credito), "
                                    "e opcionalmente \"POR grupo\""));
            const QString function = match.captured(1).toUpper();
            const QString fieldName = match.captured(2).toLower();
            const QString start = match.captured(3).toLower();
            const QString group = match.captured(4).toLower();
            if (function == QLatin1String("SOMA"))
                total.function = Total::Function::Sum;
            else if (function == QLatin1String("CONTAGEM"))
                total.function = Total::Function::Count;
            else if (function == QLatin1String("ACUMULADO"))
                total.function = Total::Function::Running;
            else if (function == QLatin1String("ANTERIOR"))
                total.function = Total::Function::Before;
            else
                fail(e.line,
                     QStringLiteral("a função \"%1\" não existe (SOMA, CONTAGEM, ACUMULADO, "
                                    "ANTERIOR)")
                         .arg(match.captured(1)));
            if (!fieldName.isEmpty()) {
                total.field = fieldIndex(fieldName);
                if (total.field < 0)
                    fail(e.line,
                         QStringLiteral("\"%1\" não é um campo de [campos]").arg(fieldName));
            } else if (total.function != Total::Function::Count) {
                fail(e.line, QStringLiteral("%1() precisa de um campo").arg(function));
            }
            const bool money =
                total.field >= 0 && m_layout.fields[size_t(total.field)].type == ValueType::Money;
            if (total.function != Total::Function::Count && !money)
                fail(e.line, QStringLiteral("%1() soma valores, e \"%2\" não é um valor")
                                 .arg(function, fieldName));
            if (!start.isEmpty()) {
                if (total.function != Total::Function::Running)
                    fail(e.line, QStringLiteral("só ACUMULADO() tem valor inicial"));
                total.start = totalIndex(start);
                if (total.start < 0 ||
                    m_layout.totals[size_t(total.start)].function != Total::Function::Before)
                    fail(e.line, QStringLiteral("o valor inicial de ACUMULADO() deve ser um total "
                                                "ANTERIOR() definido antes"));
            }
            if (total.function == Total::Function::Before) {
                if (!m_layout.period)
                    fail(e.line, QStringLiteral("ANTERIOR() precisa do campo do período (periodo "
                                                "= ... em [dados])"));
                if (m_layout.fields[size_t(total.field)].aggregate)
                    fail(e.line, QStringLiteral("ANTERIOR() soma um campo de cada linha, não uma "
                                                "soma"));
                if (!group.isEmpty())
                    fail(e.line, QStringLiteral("ANTERIOR() vale para o relatório todo, não por "
                                                "grupo"));
            }
            if (!group.isEmpty()) {
                total.group = groupLevel(group);
                if (total.group < 0)
                    fail(e.line, QStringLiteral("\"%1\" não é um grupo de [dados]").arg(group));
            }
            m_layout.totals.push_back(total);
        }
    }

    int groupLevel(const QString &name) const
    {
        for (size_t i = 0; i < m_layout.groups.size(); ++i) {
            if (m_layout.fields[size_t(m_layout.groups[i].field)].name == name)
                return int(i);
        }
        return -1;
    }

    // ---- [colunas] and the bands ----------------------------------------------------------------

    std::optional<Align> alignment(const QString &word) const
    {
        const QString w = word.toLower();
        if (w == QLatin1String("esquerda"))
            return Align::Left;
        if (w == QLatin1String("direita"))
            return Align::Right;
        if (w == QLatin1String("centro"))
            return Align::Center;
        return std::nullopt;
    }

    void readColumns(const Section &s)
    {
        for (const Entry &e : s.entries) {
            requireValue(e);
            Column column;
            column.name = checkedName(e, QStringLiteral("coluna"));
            for (const Column &other : m_layout.columns) {
                if (other.name == column.name)
                    fail(e.line, QStringLiteral("a coluna \"%1\" já existe").arg(column.name));
            }
            const QStringList parts = e.value.split(u'|');
            if (parts.size() != 4)
                fail(e.line, QStringLiteral("uma coluna se escreve \"largura | alinhamento | "
                                            "título | conteúdo\""));
            bool ok = false;
            column.weight = parts.at(0).trimmed().replace(u',', u'.').toDouble(&ok);
            if (!ok || column.weight <= 0 || column.weight > 1000)
                fail(e.line, QStringLiteral("a largura \"%1\" deve ser um número positivo")
                                 .arg(parts.at(0).trimmed()));
            const std::optional<Align> align = alignment(parts.at(1).trimmed());
            if (!align)
                fail(e.line, QStringLiteral("alinhamento \"%1\" desconhecido (esquerda, direita ou "
                                            "centro)")
                                 .arg(parts.at(1).trimmed()));
            column.align = *align;
            column.title = parts.at(2).trimmed();
            column.content = parseTemplate(e, parts.at(3).trimmed());
            m_layout.columns.push_back(column);
        }
        if (m_layout.columns.empty())
            fail(s.line, QStringLiteral("[colunas] precisa de ao menos uma coluna"));
    }

    int columnIndex(const QString &name) const
    {
        for (size_t i = 0; i < m_layout.columns.size(); ++i) {
            if (m_layout.columns[i].name == name)
                return int(i);
        }
        return -1;
    }

    void readBands()
    {
        for (const Section &s : m_sections) {
            Band *band = nullptr;
            if (s.name == QLatin1String("cabecalho-pagina"))
                band = &m_layout.pageHeader;
            else if (s.name == QLatin1String("rodape-pagina"))
                band = &m_layout.pageFooter;
            else if (s.name == QLatin1String("cabecalho-relatorio"))
                band = &m_layout.reportHeader;
            else if (s.name == QLatin1String("rodape-relatorio"))
                band = &m_layout.reportFooter;
            else if (s.name == QLatin1String("detalhe"))
                band = &m_layout.detail;
            else if (s.name == QLatin1String("cabecalho-grupo") ||
                     s.name == QLatin1String("rodape-grupo")) {
                const int level = groupLevel(s.argument.toLower());
                if (level < 0)
                    fail(s.line,
                         QStringLiteral("\"%1\" não é um grupo de [dados]").arg(s.argument));
                Group &group = m_layout.groups[size_t(level)];
                band = s.name == QLatin1String("cabecalho-grupo") ? &group.header : &group.footer;
            }
            if (band)
                *band = readBand(s);
        }
        if (m_layout.detail.empty()) {
            BandLine line;
            line.kind = BandLine::Kind::Columns;
            m_layout.detail.push_back(line);
        }
    }

    Band readBand(const Section &s)
    {
        Band band;
        for (const Entry &e : s.entries) {
            BandLine line;
            if (e.bare) {
                if (e.key == QLatin1String("traco"))
                    line.kind = BandLine::Kind::Rule;
                else if (e.key == QLatin1String("traco duplo"))
                    line.kind = BandLine::Kind::DoubleRule;
                else if (e.key == QLatin1String("titulos"))
                    line.kind = BandLine::Kind::Headings;
                else if (e.key == QLatin1String("espaco"))
                    line.kind = BandLine::Kind::Space;
                else if (e.key == QLatin1String("colunas"))
                    line.kind = BandLine::Kind::Columns;
                else
                    fail(e.line, QStringLiteral("\"%1\" não é uma linha de faixa (linha = ..., "
                                                "traco, traco duplo, titulos, espaco, colunas)")
                                     .arg(e.key));
                band.push_back(line);
                continue;
            }
            const QStringList words = e.key.split(u' ');
            if (words.first() != QLatin1String("linha") || words.size() > 2)
                fail(e.line, QStringLiteral("\"%1\" não é uma linha de faixa; escreva \"linha = "
                                            "...\", \"linha negrito = ...\", \"linha titulo = "
                                            "...\" ou \"linha pequeno = ...\"")
                                 .arg(e.key));
            if (words.size() == 2) {
                if (words.last() == QLatin1String("negrito"))
                    line.style = BandLine::Style::Bold;
                else if (words.last() == QLatin1String("titulo"))
                    line.style = BandLine::Style::Title;
                else if (words.last() == QLatin1String("pequeno"))
                    line.style = BandLine::Style::Small;
                else
                    fail(e.line, QStringLiteral("estilo \"%1\" desconhecido (negrito, titulo, "
                                                "pequeno)")
                                     .arg(words.last()));
            }
            requireValue(e);
            for (const QString &part : e.value.split(u'|'))
                line.cells.push_back(readCell(e, part));
            band.push_back(line);
        }
        return band;
    }

    Cell readCell(const Entry &e, const QString &text)
    {
        const qsizetype colon = text.indexOf(u':');
        if (colon < 0)
            fail(e.line, QStringLiteral("a célula \"%1\" deve começar por onde fica: \"*: texto\", "
                                        "\"coluna: texto\" ou \"coluna1..coluna2: texto\"")
                             .arg(text.trimmed()));
        QStringList target = text.left(colon).simplified().split(u' ');
        Cell cell;
        if (target.size() == 2) {
            cell.align = alignment(target.last());
            if (!cell.align)
                fail(e.line, QStringLiteral("alinhamento \"%1\" desconhecido (esquerda, direita ou "
                                            "centro)")
                                 .arg(target.last()));
            target.removeLast();
        }
        if (target.size() != 1)
            fail(e.line, QStringLiteral("\"%1\" não indica onde fica a célula")
                             .arg(text.left(colon).trimmed()));
        const QString place = target.first().toLower();
        if (place != QLatin1String("*")) {
            const QStringList ends = place.split(QStringLiteral(".."));
            cell.firstColumn = columnIndex(ends.first());
            cell.lastColumn = ends.size() == 2 ? columnIndex(ends.last()) : cell.firstColumn;
            if (ends.size() > 2 || cell.firstColumn < 0 || cell.lastColumn < 0)
                fail(e.line, QStringLiteral("\"%1\" não é uma coluna nem um intervalo de colunas "
                                            "de [colunas]")
                                 .arg(place));
            if (cell.lastColumn < cell.firstColumn)
                fail(
                    e.line,
                    QStringLiteral("o intervalo \"%1\" vai da direita para a esquerda").arg(place));
        }
        cell.content = parseTemplate(e, text.mid(colon + 1).trimmed());
        return cell;
    }

    Template parseTemplate(const Entry &e, const QString &text) const
    {
        Template result;
        QString literal;
        const qsizetype size = text.size();
        for (qsizetype i = 0; i < size; ++i) {
            const QChar c = text.at(i);
            if (c != u'[') {
                literal += c;
                continue;
            }
            if (i + 1 < size && text.at(i + 1) == u'[') {
                literal += u'[';
                ++i;
                continue;
            }
            const qsizetype end = text.indexOf(u']', i + 1);
            if (end < 0)
                fail(e.line, QStringLiteral("o \"[\" da posição %1 não foi fechado com \"]\"; para "
                                            "escrever um \"[\" use \"[[\"")
                                 .arg(i + 1));
            if (!literal.isEmpty())
                result.push_back({literal, std::nullopt});
            literal.clear();
            result.push_back({QString(), placeholder(e, text.mid(i + 1, end - i - 1))});
            i = end;
        }
        if (!literal.isEmpty())
            result.push_back({literal, std::nullopt});
        return result;
    }

    Placeholder placeholder(const Entry &e, const QString &inner) const
    {
        const qsizetype colon = inner.indexOf(u':');
        const QString name = (colon < 0 ? inner : inner.left(colon)).trimmed().toLower();
        Placeholder p;
        p.format = colon < 0 ? QString() : inner.mid(colon + 1).trimmed();
        std::optional<ValueType> type;
        if (builtins().contains(name)) {
            p.kind = builtins().value(name);
            if (p.kind == Placeholder::Kind::PrintedDate || p.kind == Placeholder::Kind::From ||
                p.kind == Placeholder::Kind::To)
                type = ValueType::Date;
            if ((p.kind == Placeholder::Kind::From || p.kind == Placeholder::Kind::To) &&
                !m_layout.period)
                fail(e.line, QStringLiteral("[%1] precisa do campo do período (periodo = ... em "
                                            "[dados])")
                                 .arg(name));
        } else if (const int field = fieldIndex(name); field >= 0) {
            p.kind = Placeholder::Kind::Field;
            p.index = field;
            type = m_layout.fields[size_t(field)].type;
        } else if (const int total = totalIndex(name); total >= 0) {
            p.kind = Placeholder::Kind::Total;
            p.index = total;
            type = m_layout.totals[size_t(total)].function == Total::Function::Count
                       ? ValueType::Number
                       : ValueType::Money;
        } else if (name.contains(u'.')) {
            const QString lookupName = name.section(u'.', 0, 0);
            const QString fieldName = name.section(u'.', 1);
            for (size_t l = 0; l < m_layout.lookups.size(); ++l) {
                if (m_layout.lookups[l].name != lookupName)
                    continue;
                const auto &fields = m_layout.lookups[l].fields;
                for (size_t f = 0; f < fields.size(); ++f) {
                    if (fields[f].name == fieldName) {
                        p.kind = Placeholder::Kind::Lookup;
                        p.index = int(l);
                        p.subindex = int(f);
                        type = fields[f].type;
                    }
                }
            }
            if (p.kind != Placeholder::Kind::Lookup)
                fail(e.line, QStringLiteral("[%1] não é um campo de consulta").arg(name));
        } else {
            fail(e.line, QStringLiteral("[%1] não é um campo, um total nem um valor do relatório "
                                        "(titulo, pagina, paginas, emissao, hora, inicio, fim)")
                             .arg(name));
        }
        if (!p.format.isEmpty()) {
            if (type == ValueType::Date)
                checkedDateFormat(e, p.format);
            else if (type == ValueType::Money)
                checkedMoneyFormat(e, p.format);
            else
                fail(e.line,
                     QStringLiteral("[%1] não aceita formato; só datas e valores").arg(name));
        }
        return p;
    }

    QString m_fileName;
    Layout m_layout;
    std::vector<Section> m_sections;
    std::optional<Entry> m_periodEntry;
    std::vector<Entry> m_groupEntries;
    std::vector<Entry> m_orderEntries;
};

} // namespace

bool Layout::summary() const
{
    for (const Field &f : fields) {
        if (f.aggregate)
            return true;
    }
    return false;
}

QStringList Layout::tables() const
{
    QStringList names;
    if (!table.isEmpty())
        names << table;
    for (const Join &j : joins)
        names << j.table;
    return names;
}

Layout parseLayout(const QByteArray &bytes, const QString &fileName)
{
    return LayoutReader(fileName).read(bytes);
}

Layout readLayout(const QString &path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (!info.exists())
        throw Error(ErrorNumber::FileNotFound,
                    QStringLiteral("O modelo de relatório \"%1\" não foi encontrado.").arg(path),
                    name);
    if (info.isDir())
        throw Error(ErrorNumber::FileNotFound,
                    QStringLiteral("Nenhum modelo de relatório foi escolhido (\"%1\" é um "
                                   "diretório).")
                        .arg(path),
                    name);
    if (info.size() > MaxLayoutBytes)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("O arquivo \"%1\" tem %2 bytes, grande demais para um modelo de "
                                   "relatório; não é um modelo do Tessal Caixa.")
                        .arg(name)
                        .arg(info.size()),
                    name);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(ErrorNumber::FileAccess,
                    QStringLiteral("Não foi possível ler o modelo de relatório \"%1\": %2")
                        .arg(path, file.errorString()),
                    name);
    return parseLayout(file.readAll(), name);
}

} // namespace tessal::reports
