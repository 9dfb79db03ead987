#include "ledger/sessionmarker.h"

#include "core/config.h"
#include "core/error.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tessal::ledger {

using namespace Qt::StringLiterals;

namespace {

// Lines: "dir <data directory>" first, then one "conta <code>" per note.
const QByteArray DirTag = "dir ";
const QByteArray AccountTag = "conta ";

} // namespace

SessionMarker::SessionMarker(QString path)
    : m_path(std::move(path))
{}

QString SessionMarker::pathFor(const QString &programDir, const QString &dataDir)
{
    const QString absolute = QDir::cleanPath(QFileInfo(dataDir).absoluteFilePath());
    const QByteArray hash =
        QCryptographicHash::hash(absolute.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return joinPath(programDir, u"sessao-"_s + QString::fromLatin1(hash) + u".aberta"_s);
}

std::optional<QStringList> SessionMarker::leftOver() const
{
    QFile file(m_path);
    if (!file.exists())
        return std::nullopt;
    QStringList accounts;
    // A marker that cannot be read still tells an unclean end; only its accounts are lost.
    if (!file.open(QIODevice::ReadOnly))
        return accounts;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.startsWith(AccountTag))
            continue;
        const QString account = QString::fromUtf8(line.mid(AccountTag.size()));
        if (!account.isEmpty() && !accounts.contains(account))
            accounts << account;
    }
    return accounts;
}

void SessionMarker::begin(const QString &dataDir, const QStringList &carried)
{
    QByteArray text = DirTag + dataDir.toUtf8() + '\n';
    for (const QString &account : carried)
        text += AccountTag + account.toUtf8() + '\n';
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw Error(ErrorNumber::FileAccess,
                    u"Não foi possível gravar o arquivo de controle da sessão \"%1\": %2"_s.arg(
                        QDir::toNativeSeparators(m_path), file.errorString()),
                    QFileInfo(m_path).fileName());
}

void SessionMarker::note(const QString &account) const
{
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(AccountTag + account.toUtf8() + '\n');
}

void SessionMarker::end()
{
    QFile::remove(m_path);
}

} // namespace tessal::ledger
