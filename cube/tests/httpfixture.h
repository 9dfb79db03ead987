#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>

namespace tessal::cube::test {

// Serves one HTTP response per connection on 127.0.0.1: `body` with `status`, whatever was asked.
class TinyHttpServer : public QTcpServer
{
public:
    QByteArray body;
    int status = 200;
    int requests = 0;
    explicit TinyHttpServer(QObject *parent = nullptr)
        : QTcpServer(parent)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (!s->readAll().contains("\r\n\r\n"))
                        return;
                    ++requests;
                    const QByteArray reason = status == 200 ? "OK" : "Not Found";
                    s->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                             "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n");
                    s->write(body);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
};

} // namespace tessal::cube::test
