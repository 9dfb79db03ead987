#include "core/session.h"

#include "core/config.h"

namespace tessal {

void Session::setDataDirectory(const QString &directory)
{
    m_dataDirectory = directory;
    emit dataDirectoryChanged(directory);
}

void Session::setUser(const QString &code, const QString &name)
{
    m_userCode = code;
    m_userName = name;
    emit userChanged(code, name);
}

QString Session::cashDatabasePath() const
{
    return joinPath(m_dataDirectory, QStringLiteral("caixa.mdb"));
}

QString Session::menuDatabasePath() const
{
    return joinPath(m_dataDirectory, QStringLiteral("MENU.mdb"));
}

QString Session::helpFilePath() const
{
    return joinPath(m_dataDirectory, QStringLiteral("tessal.hlp"));
}

QString Session::consolidatedReportPath() const
{
    return joinPath(m_dataDirectory, QStringLiteral("consolidado.rpt"));
}

} // namespace tessal
