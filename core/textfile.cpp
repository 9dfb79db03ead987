#include "core/textfile.h"

#include "core/error.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace tessal {

namespace {

QByteArray encode(const QString &text)
{
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

[[noreturn]] void fail(int number, const QString &what, const QString &path, const QString &reason)
{
    throw Error(number, QStringLiteral("%1 %2: %3").arg(what, path, reason), path);
}

} // namespace

void appendText(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        fail(ErrorNumber::FileAccess, QStringLiteral("Não foi possível abrir o arquivo"), path,
             file.errorString());
    const QByteArray bytes = encode(text);
    if (file.write(bytes) != bytes.size() || !file.flush())
        fail(ErrorNumber::FileAccess, QStringLiteral("Não foi possível gravar o arquivo"), path,
             file.errorString());
    file.close();
}

void replaceText(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(ErrorNumber::FileAccess, QStringLiteral("Não foi possível criar o arquivo"), path,
             file.errorString());
    const QByteArray bytes = encode(text);
    // Flushed and checked before the commit: Qt's commit() renames the new file into place
    // even when its own last flush failed, which on a full disk would leave a cut file.
    if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit())
        fail(ErrorNumber::FileAccess, QStringLiteral("Não foi possível gravar o arquivo"), path,
             file.errorString());
}

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        fail(ErrorNumber::FileNotFound, QStringLiteral("Arquivo não encontrado"), path,
             file.errorString());
    if (!file.open(QIODevice::ReadOnly))
        fail(ErrorNumber::FileAccess, QStringLiteral("Não foi possível abrir o arquivo"), path,
             file.errorString());
    QStringDecoder decoder(QStringConverter::System);
    return decoder.decode(file.readAll());
}

} // namespace tessal
