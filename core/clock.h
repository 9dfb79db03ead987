#pragma once

#include <QDateTime>

namespace tessal {

// The logs take the time from here, so that tests can write a record "just after midnight".
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace tessal
