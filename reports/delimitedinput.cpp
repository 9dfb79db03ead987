#include "reports/delimitedinput.h"

namespace tessal::reports {

void DelimitedReader::endLine(const ItemFunction &item)
{
    switch (m_state) {
    case State::Start:
    case State::Plain:
        item(m_item);
        m_item.clear();
        m_state = State::Start;
        break;
    case State::AfterQuote:
        m_state = State::Start;
        break;
    case State::Quoted:
        break;
    }
}

void DelimitedReader::feed(QStringView text, const ItemFunction &item)
{
    for (const QChar c : text) {
        const bool afterCarriageReturn = m_afterCarriageReturn;
        m_afterCarriageReturn = false;
        if (m_state == State::Quoted) {
            if (c == u'"') {
                item(m_item);
                m_item.clear();
                m_state = State::AfterQuote;
            } else {
                m_item += c;
            }
            continue;
        }
        if (c == u'\n' && afterCarriageReturn)
            continue; // the second half of CR LF
        if (c == u'\r' || c == u'\n') {
            m_afterCarriageReturn = c == u'\r';
            endLine(item);
            continue;
        }
        switch (m_state) {
        case State::Start:
            if (c == u' ')
                break;
            if (c == u',') {
                item(QString());
            } else if (c == u'"') {
                m_state = State::Quoted;
            } else {
                m_item += c;
                m_state = State::Plain;
            }
            break;
        case State::Plain:
            if (c == u',') {
                item(m_item);
                m_item.clear();
                m_state = State::Start;
            } else {
                m_item += c;
            }
            break;
        case State::AfterQuote:
            if (c == u',')
                m_state = State::Start;
            break;
        case State::Quoted:
            break;
        }
    }
}

void DelimitedReader::finish(const ItemFunction &item)
{
    if (m_state == State::Plain || m_state == State::Quoted)
        item(m_item);
    m_item.clear();
    m_state = State::Start;
    m_afterCarriageReturn = false;
}

} // namespace tessal::reports
