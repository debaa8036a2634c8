#include "brokerlistservice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <utility>

namespace {

// A request head larger than this is not one of ours: the connection is dropped.
constexpr int kMaxRequestHead = 16 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

QJsonObject serverEntry(const QString &name, const QString &address, int brokerId)
{
    return QJsonObject{{QStringLiteral("name"), name},
                       {QStringLiteral("ipaddr"), address},
                       {QStringLiteral("brokerId"), brokerId}};
}

} // namespace

BrokerListService::BrokerListService(QObject *parent) : QObject(parent), server(new QTcpServer(this))
{
    scripted.body = defaultBrokerList();
    connect(server, &QTcpServer::newConnection, this, &BrokerListService::onNewConnection);
}

BrokerListService::~BrokerListService() = default;

bool BrokerListService::listen(const QHostAddress &address, quint16 port)
{
    if (!address.isLoopback()) {
        qWarning("BrokerListService listens on loopback addresses only, not %s", qPrintable(address.toString()));
        return false;
    }
    return server->listen(address, port);
}

void BrokerListService::close()
{
    server->close();
}

bool BrokerListService::isListening() const
{
    return server->isListening();
}

QHostAddress BrokerListService::serverAddress() const
{
    return server->serverAddress();
}

quint16 BrokerListService::serverPort() const
{
    return server->serverPort();
}

QUrl BrokerListService::brokersUrl() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(server->serverAddress().toString());
    url.setPort(server->serverPort());
    url.setPath(QStringLiteral("/brokers"));
    return url;
}

QByteArray BrokerListService::defaultBrokerList(const QString &tradeServerHost)
{
    const QJsonArray brokers{
        QJsonObject{{QStringLiteral("id"), 1},
                    {QStringLiteral("name"), QStringLiteral("Taldrex")},
                    {QStringLiteral("servers"),
                     QJsonArray{serverEntry(QStringLiteral("Taldrex-Demo"), tradeServerHost + QStringLiteral(":9001"), 1),
                                serverEntry(QStringLiteral("TALDREX Live"), tradeServerHost, 1)}}},
        QJsonObject{{QStringLiteral("id"), 2},
                    {QStringLiteral("name"), QStringLiteral("Northwind")},
                    {QStringLiteral("servers"),
                     QJsonArray{serverEntry(QStringLiteral("Northwind-Real"), tradeServerHost + QStringLiteral(":9002"), 2)}}},
    };
    return QJsonDocument(brokers).toJson(QJsonDocument::Compact);
}

void BrokerListService::setReply(const Reply &reply)
{
    scripted = reply;
}

void BrokerListService::setReplyBody(const QByteArray &body, int status)
{
    scripted = Reply{status, body, false};
}

void BrokerListService::setCloseWithoutReply()
{
    scripted.closeWithoutReply = true;
}

void BrokerListService::onNewConnection()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    }
}

void BrokerListService::onReadyRead(QTcpSocket *socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    // Wait for the whole head; the service takes no request bodies.
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    const int end = head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (head.size() > kMaxRequestHead)
            socket->abort();
        else
            socket->setProperty("head", head);
        return;
    }
    socket->setProperty("answered", true);
    socket->setProperty("head", QVariant());

    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/")) {
        respond(socket, 400, QByteArray());
        return;
    }
    const QString method = QString::fromLatin1(requestLine[0]);
    const QString path = QUrl(QString::fromLatin1(requestLine[1])).path();
    ++requests;
    emit requestReceived(method, path);

    if (path != QLatin1String("/brokers")) {
        respond(socket, 404, QByteArray());
    } else if (method != QLatin1String("GET")) {
        respond(socket, 405, QByteArray());
    } else if (scripted.closeWithoutReply) {
        socket->abort();
        socket->deleteLater();
    } else if (scripted.endless) {
        // Brokers without servers.
        static const QByteArray chunk = QByteArray(R"({"id":1,"name":"Taldrex","servers":[]},)").repeated(1024);
        QTimer::singleShot(scripted.endlessAfterMs, socket, [this, socket] {
            streamEndlessReply(this, socket, chunk, &streamed, EndlessLimit);
        });
    } else {
        respond(socket, scripted.status, scripted.body);
    }
}

void BrokerListService::respond(QTcpSocket *socket, int status, const QByteArray &body)
{
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    response += "Content-Type: application/json\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n";
    response += body;
    if (scripted.stallAfter >= 0) {
        // Holds the connection open; the client gives up or the service is destroyed.
        socket->write(response.left(scripted.stallAfter));
        return;
    }
    socket->write(response);
    // Closes once everything is written; the socket deletes itself when disconnected.
    socket->disconnectFromHost();
}

std::function<void()> streamEndlessReply(QObject *owner, QTcpSocket *socket, const QByteArray &chunk,
                                         qint64 *streamed, qint64 limit, bool firstChunkOnly)
{
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n[");
    const auto held = std::make_shared<bool>(firstChunkOnly);
    if (firstChunkOnly) {
        socket->write(chunk);
        *streamed += chunk.size();
    }
    const auto pump = [socket, chunk, streamed, limit, held] {
        while (!*held && socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 4 * chunk.size()) {
            if (*streamed >= limit) {
                socket->disconnectFromHost();
                return;
            }
            socket->write(chunk);
            *streamed += chunk.size();
        }
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, owner, pump);
    pump();
    return [target = QPointer<QTcpSocket>(socket), held, pump] {
        if (target && std::exchange(*held, false))
            pump();
    };
}
