#pragma once

#include <QString>
#include <stdexcept>

namespace tessal {

// What a failing step reports: the number, the description and the source shown in the error
// box. The numbers follow the ones operators and support already know from the old system.
struct ErrorInfo
{
    int number = 0;
    QString description;
    QString source;
};

namespace ErrorNumber {
inline constexpr int TypeMismatch = 13; // a typed value that is not a number or a date
inline constexpr int FileNotFound = 53;
inline constexpr int FileAccess = 75; // a file that cannot be opened, written or closed
inline constexpr int PathNotFound = 76;
inline constexpr int NoCurrentRecord = 3021;   // a record operation with no current record
inline constexpr int DatabaseError = 3146;     // the database engine refused a statement
inline constexpr int NotADatabase = 3343;      // a file that is not one of our databases
inline constexpr int CodeOverflow = 3022;      // no free code left within a table's code width
inline constexpr int InvalidInput = 380;       // input refused before anything is stored
inline constexpr int UpdateWithoutEdit = 3020; // update()/setField() without addNew() or edit()
inline constexpr int NotUpdatable = 3027;      // a write the record set's SQL cannot address
inline constexpr int RecordDeleted = 3167;     // the current record was deleted meanwhile
inline constexpr int FieldNotFound = 3265;     // no field of that name in the record set
} // namespace ErrorNumber

// Thrown by every routine that can fail inside a window's handler; HandlerSteps catches it,
// reports it and lets the handler go on with its next step.
class Error : public std::runtime_error
{
public:
    Error(int number, const QString &description, const QString &source)
        : std::runtime_error(description.toStdString())
        , m_info{number, description, source}
    {}
    explicit Error(ErrorInfo info)
        : std::runtime_error(info.description.toStdString())
        , m_info(std::move(info))
    {}

    const ErrorInfo &info() const noexcept { return m_info; }
    int number() const noexcept { return m_info.number; }
    const QString &description() const noexcept { return m_info.description; }
    const QString &source() const noexcept { return m_info.source; }

private:
    ErrorInfo m_info;
};

} // namespace tessal
