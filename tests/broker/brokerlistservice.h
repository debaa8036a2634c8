#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QTcpServer;
class QTcpSocket;

// Answers 200 with a body that never ends (no length given): `chunk` repeated, kept only a
// little ahead of what the client reads, so the service's own memory stays small. Stops at
// `limit` bytes; *streamed counts what was handed to the network. `owner` outlives the socket.
// With `firstChunkOnly`, the answer stops after its first chunk until the returned call (made in
// the socket's thread) lets the rest go; otherwise that call does nothing.
std::function<void()> streamEndlessReply(QObject *owner, QTcpSocket *socket, const QByteArray &chunk,
                                         qint64 *streamed, qint64 limit, bool firstChunkOnly = false);

// The broker-list web service for tests and scripts/run: a small HTTP server answering
// "GET /brokers" with the broker list as JSON. It listens on loopback addresses only.
//
// By default it lists two brokers: one with the servers "Taldrex-Demo" (address with a port) and
// "TALDREX Live" (address without a port), which the terminal keeps, and one with
// "Northwind-Real", which the terminal drops. Tests may script the reply instead.
class BrokerListService : public QObject
{
    Q_OBJECT
public:
    // What the service does with each request for /brokers.
    struct Reply {
        int status = 200;
        QByteArray body;
        // Drop the connection without answering at all.
        bool closeWithoutReply = false;
        // Send only this many bytes of the response (head included), then keep the connection
        // open and say nothing more; -1 sends it whole.
        int stallAfter = -1;
        // Answer 200 with a body that never ends (no length given), written as fast as the
        // client reads it, up to EndlessLimit bytes at most.
        bool endless = false;
        // Starts that answer only this long after the request.
        int endlessAfterMs = 0;
    };
    static constexpr qint64 EndlessLimit = 256LL * 1024 * 1024;

    explicit BrokerListService(QObject *parent = nullptr);
    ~BrokerListService() override;

    // address must lie in 127.0.0.0/8 (or be ::1); port 0 picks a free port.
    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    void close();
    bool isListening() const;
    QHostAddress serverAddress() const;
    quint16 serverPort() const;
    // http://<address>:<port>/brokers
    QUrl brokersUrl() const;

    // The default list; every server's address lies on tradeServerHost (ports 9001 and 9002, and
    // one address without a port).
    static QByteArray defaultBrokerList(const QString &tradeServerHost = QStringLiteral("127.0.0.1"));

    void setReply(const Reply &reply);
    void setReplyBody(const QByteArray &body, int status = 200);
    void setCloseWithoutReply();
    Reply reply() const { return scripted; }

    int requestCount() const { return requests; }
    // Bytes of endless bodies handed to the network so far.
    qint64 streamedBytes() const { return streamed; }

signals:
    // Every complete request, before it is answered.
    void requestReceived(const QString &method, const QString &path);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void respond(QTcpSocket *socket, int status, const QByteArray &body);

    QTcpServer *server;
    Reply scripted;
    int requests = 0;
    qint64 streamed = 0;
};
