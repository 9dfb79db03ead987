#include "core/passwordhash.h"

#include "core/error.h"

#include <sodium.h>

namespace tessal {

namespace {

void initialiseSodium()
{
    if (sodium_init() < 0)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("Biblioteca de criptografia indisponível"),
                    QStringLiteral("libsodium"));
}

} // namespace

QString hashPassword(const QString &password)
{
    initialiseSodium();
    const QByteArray utf8 = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw Error(ErrorNumber::InvalidInput,
                    QStringLiteral("Memória insuficiente para proteger a senha"),
                    QStringLiteral("libsodium"));
    return QString::fromLatin1(hash);
}

bool verifyPassword(const QString &storedHash, const QString &typed)
{
    initialiseSodium();
    const QByteArray hash = storedHash.toLatin1();
    if (hash.isEmpty() || hash.size() >= crypto_pwhash_STRBYTES)
        return false;
    const QByteArray utf8 = typed.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(),
                                    static_cast<unsigned long long>(utf8.size())) == 0;
}

} // namespace tessal
