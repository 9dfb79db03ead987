#include "core/session.h"

#include "core/config.h"
#include "core/datasource.h"

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

bool Session::onServer() const
{
    return looksLikeServerUri(m_dataDirectory);
}

QString Session::cashDatabasePath() const
{
    return onServer() ? m_dataDirectory : joinPath(m_dataDirectory, QStringLiteral("caixa.mdb"));
}

QString Session::menuDatabasePath() const
{
    return onServer() ? m_dataDirectory : joinPath(m_dataDirectory, QStringLiteral("MENU.mdb"));
}

QString Session::filesDirectory() const
{
    return onServer() ? m_localFilesDirectory : m_dataDirectory;
}

QString Session::helpFilePath() const
{
    return joinPath(filesDirectory(), QStringLiteral("tessal.hlp"));
}

QString Session::consolidatedReportPath() const
{
    return joinPath(filesDirectory(), QStringLiteral("consolidado.rpt"));
}

} // namespace tessal
