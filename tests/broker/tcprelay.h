#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

class QTcpSocket;

namespace simbroker {

// A TCP relay in front of a local service. Each accepted client gets its own connection to the
// target; bytes are copied both ways until either side closes. A frozen relay keeps both
// connections open but moves nothing, as a server that hangs would (a WebSocket server behind
// it cannot answer pings, which it otherwise does by itself). It also reads the WebSocket frames
// that clients send (after the HTTP upgrade) to report their close codes and pings.
class TcpRelay : public QObject
{
    Q_OBJECT
public:
    explicit TcpRelay(QObject *parent = nullptr);
    ~TcpRelay() override;

    bool listen(const QHostAddress &address, quint16 port, const QHostAddress &targetAddress,
                quint16 targetPort);
    void close();
    quint16 serverPort() const;
    QHostAddress serverAddress() const;

    void setFrozen(bool frozen);
    bool isFrozen() const { return m_frozen; }

    // Cuts every client at once (TCP reset), as a lost network does.
    void abortAll();
    int linkCount() const { return m_links.size(); }

    // The local port of the relay's connection to the target for a link: the target sees it as
    // the peer port of that client.
    int linkIdForTargetPeerPort(quint16 port) const;

signals:
    void linkOpened(int id);
    void linkClosed(int id);
    void clientCloseFrame(int id, int code);
    void clientPing(int id);

private:
    struct Link;
    void onNewConnection();
    void pump(Link *link);
    void sniff(Link *link, const QByteArray &bytes);
    void finish(Link *link, bool graceful);

    QTcpServer m_server;
    QHostAddress m_targetAddress;
    quint16 m_targetPort = 0;
    bool m_frozen = false;
    int m_nextId = 1;
    QList<Link *> m_links;
};

} // namespace simbroker
