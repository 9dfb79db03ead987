#pragma once

#include <QString>
#include <QStringView>
#include <functional>

namespace tessal::reports {

// Splits text into items the way the log viewer shows a file: an item ends at a comma or at the
// end of a line; spaces before an item are skipped; an item that begins with a double quote runs
// to the next double quote (line ends included) and what follows it up to the next comma or line
// end is dropped. An empty line is one empty item. Text may arrive in pieces of any size: an item
// or a CR LF split between two pieces is read as if it had come whole.
class DelimitedReader
{
public:
    using ItemFunction = std::function<void(const QString &item)>;

    void feed(QStringView text, const ItemFunction &item);
    // The end of the text: the item being read, if any, is complete.
    void finish(const ItemFunction &item);

private:
    enum class State { Start, Plain, Quoted, AfterQuote };
    void endLine(const ItemFunction &item);

    State m_state = State::Start;
    QString m_item;
    bool m_afterCarriageReturn = false;
};

} // namespace tessal::reports
