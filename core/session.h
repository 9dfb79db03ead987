#pragma once

#include <QObject>
#include <QString>

namespace tessal {

// The values every window of a run shares: the data directory read from sys.ini, the logged-in
// user, and the text of the procedure that ran last (shown by the error box). The main window
// shows them; the other windows read them from here.
class Session : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    const QString &dataDirectory() const { return m_dataDirectory; }
    void setDataDirectory(const QString &directory);

    const QString &userCode() const { return m_userCode; }
    const QString &userName() const { return m_userName; }
    void setUser(const QString &code, const QString &name);

    const QString &currentProcedure() const { return m_currentProcedure; }
    void setCurrentProcedure(const QString &text) { m_currentProcedure = text; }

    // True when sys.ini names a PostgreSQL server rather than a data directory.
    bool onServer() const;
    // The databases' "paths": files in the data directory, or the server's URI for both.
    QString cashDatabasePath() const;
    QString menuDatabasePath() const;

    // Where the report layouts, the grid layouts and the help file are: the data directory, or on
    // a server installation, which has no shared folder, the local one beside the program.
    QString filesDirectory() const;
    void setLocalFilesDirectory(const QString &directory) { m_localFilesDirectory = directory; }
    const QString &localFilesDirectory() const { return m_localFilesDirectory; }
    QString helpFilePath() const;
    QString consolidatedReportPath() const;

signals:
    void dataDirectoryChanged(const QString &directory);
    void userChanged(const QString &code, const QString &name);

private:
    QString m_dataDirectory;
    QString m_localFilesDirectory;
    QString m_userCode;
    QString m_userName;
    QString m_currentProcedure;
};

} // namespace tessal
