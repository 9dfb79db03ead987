#include "cube/datamarkers.h"

#include "core/error.h"
#include "cube/cube.h"

#include <QLocale>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace tessal::cube {

namespace {

const QString Source = u"DataMarkerCollection"_s;

[[noreturn]] void outOfRange(int index, int count)
{
    throw Error(DataMarkerError::OutOfRange,
                u"Índice %1 fora do intervalo: há %2 marcadores."_s.arg(index).arg(count), Source);
}

// Digits with at most one decimal separator, or grouped thousands before a decimal separator of
// the other kind; see parseMarkerNumber.
std::optional<double> parsePlainNumber(const QString &text)
{
    QString body = text.trimmed();
    QString sign;
    if (body.startsWith(u'+') || body.startsWith(u'-')) {
        sign = body.left(1);
        body = body.mid(1);
    }
    bool digits = false;
    for (QChar c : std::as_const(body)) {
        if (c >= u'0' && c <= u'9')
            digits = true;
        else if (c != u'.' && c != u',')
            return std::nullopt;
    }
    if (!digits)
        return std::nullopt;
    const qsizetype dots = body.count(u'.');
    const qsizetype commas = body.count(u',');
    QString plain;
    if (dots == 0 && commas == 0) {
        plain = body;
    } else if (dots == 0 || commas == 0) {
        if (dots + commas > 1)
            return std::nullopt;
        plain = body;
        plain.replace(u',', u'.');
    } else {
        const qsizetype point = std::max(body.lastIndexOf(u'.'), body.lastIndexOf(u','));
        const QChar decimal = body.at(point);
        const QChar group = decimal == u'.' ? u',' : u'.';
        if (body.count(decimal) != 1)
            return std::nullopt;
        const QStringList groups = body.left(point).split(group);
        for (qsizetype i = 0; i < groups.size(); ++i) {
            const qsizetype size = groups.at(i).size();
            if (i == 0 ? (size < 1 || size > 3) : size != 3)
                return std::nullopt;
        }
        plain = groups.join(QString()) + u'.' + body.mid(point + 1);
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(sign + plain, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

dataMarker &DataMarkerCollection::Add(quint32 ForeColor, quint32 BackColor, double LowValue,
                                      double HighValue, const QString &dataFieldName,
                                      const QString &sKey)
{
    if (!sKey.isEmpty() && find(sKey))
        throw Error(DataMarkerError::DuplicateKey,
                    u"Já existe um marcador com a chave \"%1\"."_s.arg(sKey), Source);
    m_markers.push_back({ForeColor, BackColor, HighValue, LowValue, dataFieldName});
    m_keys.push_back(sKey);
    return m_markers.back();
}

dataMarker &DataMarkerCollection::Item(int index)
{
    return m_markers[position(index)];
}

const dataMarker &DataMarkerCollection::Item(int index) const
{
    return m_markers[position(index)];
}

dataMarker &DataMarkerCollection::Item(const QString &key)
{
    return m_markers[position(key)];
}

const dataMarker &DataMarkerCollection::Item(const QString &key) const
{
    return m_markers[position(key)];
}

void DataMarkerCollection::Remove(int index)
{
    const auto at = static_cast<std::ptrdiff_t>(position(index));
    m_markers.erase(m_markers.begin() + at);
    m_keys.erase(m_keys.begin() + at);
}

void DataMarkerCollection::Remove(const QString &key)
{
    const auto at = static_cast<std::ptrdiff_t>(position(key));
    m_markers.erase(m_markers.begin() + at);
    m_keys.erase(m_keys.begin() + at);
}

size_t DataMarkerCollection::position(int index) const
{
    if (index < 1 || index > Count())
        outOfRange(index, Count());
    return static_cast<size_t>(index - 1);
}

size_t DataMarkerCollection::position(const QString &key) const
{
    if (const std::optional<size_t> at = find(key))
        return *at;
    throw Error(DataMarkerError::BadArgument, u"Nenhum marcador tem a chave \"%1\"."_s.arg(key),
                Source);
}

std::optional<size_t> DataMarkerCollection::find(const QString &key) const
{
    if (key.isEmpty())
        return std::nullopt;
    for (size_t i = 0; i < m_keys.size(); ++i) {
        if (m_keys[i].compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return std::nullopt;
}

void applyDataMarkers(const DataMarkerCollection &markers, const Cube &cube, CellFormat &cell)
{
    if (cell.dataField == 0 || markers.Count() == 0)
        return;
    const CubeField *field = cube.dataFields().item(std::abs(cell.dataField) - 1);
    if (!field)
        return;
    for (const dataMarker &marker : markers) {
        if (marker.dataFieldName == field->name() && marker.LowValue <= cell.value &&
            cell.value <= marker.HighValue) {
            cell.backColor = marker.BackColor;
            cell.foreColor = marker.ForeColor;
        }
    }
}

std::optional<double> parseMarkerNumber(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.size() >= 2 && trimmed.startsWith(u'(') && trimmed.endsWith(u')')) {
        // the parentheses are the sign: "(-2)" is not a way of writing 2
        const QString inner = trimmed.mid(1, trimmed.size() - 2).trimmed();
        if (inner.startsWith(u'+') || inner.startsWith(u'-'))
            return std::nullopt;
        if (const std::optional<double> value = parsePlainNumber(inner))
            return -*value;
        return std::nullopt;
    }
    return parsePlainNumber(trimmed);
}

MarkerRange parseMarkerRange(const QString &answer)
{
    const QString title = u"Please Try Again..."_s;
    MarkerRange range;
    const QStringList parts = answer.split(u'-');
    if (parts.size() != 2) {
        range.refusal = {u"Invalid Data Marker range."_s, title, Dialogs::Icon::Information};
        return range;
    }
    double values[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const QString part = parts.at(i).trimmed();
        const std::optional<double> value = parseMarkerNumber(part);
        if (!value) {
            range.refusal = {u"'"_s + part + u"' is not a valid number."_s, title,
                             Dialogs::Icon::Warning};
            return range;
        }
        values[i] = *value;
    }
    range.low = std::min(values[0], values[1]);
    range.high = std::max(values[0], values[1]);
    return range;
}

} // namespace tessal::cube
