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

    QString cashDatabasePath() const;
    QString menuDatabasePath() const;
    QString helpFilePath() const;
    QString consolidatedReportPath() const;

signals:
    void dataDirectoryChanged(const QString &directory);
    void userChanged(const QString &code, const QString &name);

private:
    QString m_dataDirectory;
    QString m_userCode;
    QString m_userName;
    QString m_currentProcedure;
};

} // namespace tessal
