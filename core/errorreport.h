#pragma once

#include "core/clock.h"
#include "core/error.h"

#include <QString>
#include <exception>
#include <utility>

namespace tessal {

class Dialogs;
class Session;

// The five lines of the error box, joined by CR LF.
QString errorBoxText(const ErrorInfo &error, const QString &formName, const QString &procedure);

// The program directory's error file: one record per reported error.
class ErrorLog
{
public:
    ErrorLog(QString path, const Clock &clock);
    const QString &path() const { return m_path; }
    void write(const QString &boxText) const;

private:
    QString m_path;
    const Clock &m_clock;
};

// Shows the error box and then appends it to the error log.
class ErrorReporter
{
public:
    ErrorReporter(Dialogs &dialogs, const ErrorLog &log, const Session &session);
    void report(const ErrorInfo &error, const QString &formName);

private:
    Dialogs &m_dialogs;
    const ErrorLog &m_log;
    const Session &m_session;
};

// Runs a handler step by step: a step that fails is reported through the error box, naming the
// window, and the handler goes on with its next step.
//
//     HandlerSteps steps(ctx.errors(), u"fcontas"_s);
//     steps.run([&] { ... });
//     steps.run([&] { ... });
class HandlerSteps
{
public:
    HandlerSteps(ErrorReporter &reporter, QString formName);

    template<class Step> bool run(Step &&step)
    {
        try {
            std::forward<Step>(step)();
            return true;
        } catch (const Error &e) {
            fail(e.info());
        } catch (const std::exception &e) {
            fail(
                ErrorInfo{ErrorNumber::InvalidInput, QString::fromLocal8Bit(e.what()), m_formName});
        }
        return false;
    }

    // How many steps of this handler failed.
    int failures() const { return m_failures; }

private:
    void fail(const ErrorInfo &error);

    ErrorReporter &m_reporter;
    QString m_formName;
    int m_failures = 0;
};

} // namespace tessal
