#include "core/datasource.h"

#include "core/error.h"

#include <QUrl>

namespace tessal {

using namespace Qt::StringLiterals;

namespace {

const QString PasswordRefused =
    u"O endereço do servidor no sys.ini não pode conter a senha. Guarde a senha no arquivo "
    "~/.pgpass (ou na variável PGPASSWORD), ou informe-a ao entrar no sistema."_s;

[[noreturn]] void refuse(const QString &line, const QString &why)
{
    throw Error(ErrorNumber::InvalidInput,
                u"O endereço do servidor \"%1\" no sys.ini não é válido: %2."_s.arg(line, why),
                u"sys.ini"_s);
}

// libpq's own decoding: every '%' must be followed by two hexadecimal digits.
QString decoded(const QString &line, QStringView part)
{
    const auto hex = [](QChar c) { return QStringView(u"0123456789abcdefABCDEF").contains(c); };
    for (qsizetype i = 0; i < part.size(); ++i) {
        if (part[i] == u'%' && (i + 2 >= part.size() || !hex(part[i + 1]) || !hex(part[i + 2])))
            refuse(line, u"há um \"%\" sem os dois dígitos hexadecimais que o seguem"_s);
    }
    return QUrl::fromPercentEncoding(part.toUtf8());
}

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

QString ServerAddress::uri() const
{
    QString text = u"postgresql://"_s;
    if (!user.isEmpty())
        text += encoded(user) + u'@';
    if (host.contains(u':') && !host.startsWith(u'/'))
        text += u'[' + host + u']';
    else
        text += encoded(host);
    if (port)
        text += u':' + QString::number(*port);
    text += u'/' + encoded(database);
    for (qsizetype i = 0; i < options.size(); ++i)
        text +=
            (i == 0 ? u'?' : u'&') + encoded(options[i].first) + u'=' + encoded(options[i].second);
    return text;
}

QString DataSource::displayText() const
{
    return kind == Kind::Server ? server.uri() : directory;
}

bool looksLikeServerUri(const QString &text)
{
    return text.startsWith(u"postgresql://"_s, Qt::CaseInsensitive) ||
           text.startsWith(u"postgres://"_s, Qt::CaseInsensitive);
}

DataSource dataSourceFromConfigLine(const QString &line)
{
    DataSource source;
    if (!looksLikeServerUri(line)) {
        source.directory = line;
        return source;
    }
    source.kind = DataSource::Kind::Server;
    ServerAddress &server = source.server;

    QStringView rest = QStringView(line).mid(line.indexOf(u"://"_s) + 3);
    QStringView query;
    if (const qsizetype mark = rest.indexOf(u'?'); mark >= 0) {
        query = rest.mid(mark + 1);
        rest = rest.left(mark);
    }
    QStringView authority = rest;
    QStringView path;
    if (const qsizetype slash = rest.indexOf(u'/'); slash >= 0) {
        authority = rest.left(slash);
        path = rest.mid(slash + 1);
    }
    // The password check comes first, so that no message ever repeats a password.
    if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0) {
        const QStringView userInfo = authority.left(at);
        if (userInfo.contains(u':'))
            throw Error(ErrorNumber::InvalidInput, PasswordRefused, u"sys.ini"_s);
        server.user = decoded(line, userInfo);
        authority = authority.mid(at + 1);
    }
    for (const QStringView pair : query.split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(u'=');
        const QString key = decoded(line, equals < 0 ? pair : pair.left(equals));
        if (key.compare(u"password"_s, Qt::CaseInsensitive) == 0)
            throw Error(ErrorNumber::InvalidInput, PasswordRefused, u"sys.ini"_s);
        if (equals < 0)
            refuse(line, u"o parâmetro \"%1\" não tem valor"_s.arg(key));
        server.options.append({key, decoded(line, pair.mid(equals + 1))});
    }

    if (authority.contains(u','))
        refuse(line, u"indique um único servidor"_s);
    std::optional<QStringView> portText;
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 0)
            refuse(line, u"falta o \"]\" do endereço IPv6"_s);
        server.host = authority.mid(1, close - 1).toString();
        const QStringView after = authority.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(u':'))
            refuse(line, u"há texto depois do endereço IPv6"_s);
        if (!after.isEmpty())
            portText = after.mid(1);
    } else {
        const qsizetype colon = authority.lastIndexOf(u':');
        server.host = decoded(line, colon < 0 ? authority : authority.left(colon));
        if (colon >= 0)
            portText = authority.mid(colon + 1);
    }
    if (portText) {
        bool ok = false;
        const int port = portText->toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            refuse(line, u"a porta \"%1\" não é um número de 1 a 65535"_s.arg(*portText));
        server.port = port;
    }
    server.database = decoded(line, path);
    return source;
}

} // namespace tessal
