#pragma once

#include "core/dialogs.h"
#include "cube/cubetypes.h"

#include <QString>
#include <optional>
#include <vector>

namespace tessal::cube {

class Cube;

// Error numbers the marker collection raises (as tessal::Error), the ones the old collections
// raised for the same mistakes.
namespace DataMarkerError {
inline constexpr int BadArgument = 5;    // a key no marker has
inline constexpr int OutOfRange = 9;     // an index past either end
inline constexpr int DuplicateKey = 457; // a key another marker already has
} // namespace DataMarkerError

// A range of one data field's values and the colours its cells take: ForeColor for the text,
// BackColor for the background, both RGB longs (red in the low byte).
struct dataMarker
{
    quint32 ForeColor = Black;
    quint32 BackColor = White;
    double HighValue = 0;
    double LowValue = 0;
    QString dataFieldName;
};

// The analysis window's markers, in the order they were added, numbered from 1 and optionally
// reached by a key (compared without regard to case). A reference Add or Item returns stays good
// until the next Add or Remove.
class DataMarkerCollection
{
public:
    // Appends a marker; under `sKey` when it is not empty. A key another marker has is refused
    // (DuplicateKey) and nothing is added.
    dataMarker &Add(quint32 ForeColor, quint32 BackColor, double LowValue, double HighValue,
                    const QString &dataFieldName, const QString &sKey = {});

    // From 1 to Count(); OutOfRange otherwise. By key: BadArgument when no marker has it.
    dataMarker &Item(int index);
    const dataMarker &Item(int index) const;
    dataMarker &Item(const QString &key);
    const dataMarker &Item(const QString &key) const;

    int Count() const { return static_cast<int>(m_markers.size()); }

    // The markers after it move up by one. Same errors as Item.
    void Remove(int index);
    void Remove(const QString &key);

    auto begin() { return m_markers.begin(); }
    auto end() { return m_markers.end(); }
    auto begin() const { return m_markers.cbegin(); }
    auto end() const { return m_markers.cend(); }

private:
    // 0-based position of the marker numbered `index`; throws when there is none
    size_t position(int index) const;
    size_t position(const QString &key) const;
    std::optional<size_t> find(const QString &key) const;

    std::vector<dataMarker> m_markers;
    std::vector<QString> m_keys; // parallel to m_markers; empty for a marker without key
};

// The cube's format event with the markers: the cell's data field is the one at |dataField| - 1
// of the cube's data fields (totals come with a negative number); every marker of that field
// whose range holds the value, both ends included, paints the cell, so that of several the last
// one in the collection decides. A cell with no data field (0) is left as it came.
void applyDataMarkers(const DataMarkerCollection &markers, const Cube &cube, CellFormat &cell);

// A number the operator typed for a marker's limit: "4.9" and "4,9" both mean four point nine,
// "(2)" means -2. A lone dot or comma is the decimal point whatever the locale, since the
// prompt's own example writes "4.9". Thousands separators are taken only together with a decimal
// separator of the other kind after them ("1.234,5" or "1,234.5"), and then in groups of three;
// "1.234.567" is refused rather than guessed at. nullopt when it is not such a number.
std::optional<double> parseMarkerNumber(const QString &text);

// The answer to the new-marker prompt, "(2) - 4.9": two numbers separated by "-", in either
// order. A refusal is what the operator is told instead.
struct MarkerRange
{
    struct Refusal
    {
        QString text;
        QString title;
        Dialogs::Icon icon = Dialogs::Icon::None;
    };

    double low = 0;
    double high = 0;
    std::optional<Refusal> refusal;
};
MarkerRange parseMarkerRange(const QString &answer);

} // namespace tessal::cube
