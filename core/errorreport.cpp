#include "core/errorreport.h"

#include "core/activitylog.h"
#include "core/dialogs.h"
#include "core/session.h"
#include "core/textfile.h"

#include <QDebug>

namespace tessal {

QString errorBoxText(const ErrorInfo &error, const QString &formName, const QString &procedure)
{
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("Erro No.") + QString::number(error.number) + QStringLiteral(" - ") +
           error.description + crlf + QStringLiteral("Formulário: ") + formName + crlf +
           QStringLiteral("Objeto: ") + error.source + crlf + QStringLiteral("Procedure: ") +
           procedure + crlf + QStringLiteral("Anote as informações acima e contacte o suporte.");
}

ErrorLog::ErrorLog(QString path, const Clock &clock)
    : m_path(std::move(path))
    , m_clock(clock)
{}

void ErrorLog::write(const QString &boxText) const
{
    const QDateTime moment = m_clock.now();
    const QString crlf = QStringLiteral("\r\n");
    appendText(m_path, QStringLiteral("Data: ") + logDate(moment) + QStringLiteral(" Hora: ") +
                           logTime(moment) + crlf + boxText + crlf + QStringLiteral(" ") + crlf +
                           QString(103, u'-') + crlf);
}

ErrorReporter::ErrorReporter(Dialogs &dialogs, const ErrorLog &log, const Session &session)
    : m_dialogs(dialogs)
    , m_log(log)
    , m_session(session)
{}

void ErrorReporter::report(const ErrorInfo &error, const QString &formName)
{
    const QString text = errorBoxText(error, formName, m_session.currentProcedure());
    m_dialogs.message(text, QString(), Dialogs::Icon::Critical);
    try {
        m_log.write(text);
    } catch (const Error &e) {
        // The operator has already seen the error; a log that cannot be written must not
        // turn one failure into a second box.
        qWarning().noquote() << "error log not written:" << e.description();
    }
}

HandlerSteps::HandlerSteps(ErrorReporter &reporter, QString formName)
    : m_reporter(reporter)
    , m_formName(std::move(formName))
{}

void HandlerSteps::fail(const ErrorInfo &error)
{
    ++m_failures;
    m_reporter.report(error, m_formName);
}

} // namespace tessal
