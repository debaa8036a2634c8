#include "tcprelay.h"

#include <QTcpSocket>
#include <QtEndian>

namespace simbroker {

struct TcpRelay::Link
{
    int id = 0;
    QPointer<QTcpSocket> client;
    QPointer<QTcpSocket> target;
    QByteArray toTarget;      // held while the target is connecting or the relay is frozen
    QByteArray toClient;      // held while the relay is frozen
    QByteArray sniffBuffer;   // client bytes not yet parsed into frames
    bool handshakeDone = false;
    bool finished = false;
};

TcpRelay::TcpRelay(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpRelay::onNewConnection);
}

TcpRelay::~TcpRelay()
{
    close();
}

bool TcpRelay::listen(const QHostAddress &address, quint16 port, const QHostAddress &targetAddress,
                      quint16 targetPort)
{
    m_targetAddress = targetAddress;
    m_targetPort = targetPort;
    return m_server.listen(address, port);
}

void TcpRelay::close()
{
    m_server.close();
    abortAll();
}

quint16 TcpRelay::serverPort() const
{
    return m_server.serverPort();
}

QHostAddress TcpRelay::serverAddress() const
{
    return m_server.serverAddress();
}

int TcpRelay::linkIdForTargetPeerPort(quint16 port) const
{
    for (const Link *link : m_links) {
        if (link->target && link->target->localPort() == port)
            return link->id;
    }
    return 0;
}

void TcpRelay::setFrozen(bool frozen)
{
    m_frozen = frozen;
    if (!frozen) {
        const auto links = m_links;
        for (Link *link : links)
            pump(link);
    }
}

void TcpRelay::abortAll()
{
    const auto links = m_links;
    for (Link *link : links) {
        finish(link, false);
    }
}

void TcpRelay::onNewConnection()
{
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        auto *link = new Link;
        link->id = m_nextId++;
        link->client = client;
        link->target = new QTcpSocket(this);
        client->setParent(this);
        m_links.append(link);

        connect(client, &QTcpSocket::readyRead, this, [this, link] {
            const QByteArray bytes = link->client->readAll();
            sniff(link, bytes);
            link->toTarget += bytes;
            pump(link);
        });
        connect(link->target, &QTcpSocket::readyRead, this, [this, link] {
            link->toClient += link->target->readAll();
            pump(link);
        });
        connect(link->target, &QTcpSocket::connected, this, [this, link] { pump(link); });
        connect(client, &QTcpSocket::disconnected, this, [this, link] { finish(link, true); });
        connect(link->target, &QTcpSocket::disconnected, this, [this, link] { finish(link, true); });
        link->target->connectToHost(m_targetAddress, m_targetPort);
        emit linkOpened(link->id);
    }
}

void TcpRelay::pump(Link *link)
{
    if (m_frozen || link->finished)
        return;
    if (link->target && link->target->state() == QAbstractSocket::ConnectedState && !link->toTarget.isEmpty()) {
        link->target->write(link->toTarget);
        link->toTarget.clear();
    }
    if (link->client && link->client->state() == QAbstractSocket::ConnectedState && !link->toClient.isEmpty()) {
        link->client->write(link->toClient);
        link->toClient.clear();
    }
}

void TcpRelay::sniff(Link *link, const QByteArray &bytes)
{
    link->sniffBuffer += bytes;
    if (!link->handshakeDone) {
        const int end = link->sniffBuffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        link->sniffBuffer.remove(0, end + 4);
        link->handshakeDone = true;
    }
    // Client frames are always masked: header, optional extended length, 4-byte mask, payload.
    for (;;) {
        const QByteArray &b = link->sniffBuffer;
        if (b.size() < 2)
            return;
        const int opcode = quint8(b.at(0)) & 0x0F;
        const bool masked = quint8(b.at(1)) & 0x80;
        quint64 length = quint8(b.at(1)) & 0x7F;
        int header = 2;
        if (length == 126) {
            if (b.size() < 4)
                return;
            length = qFromBigEndian<quint16>(reinterpret_cast<const uchar *>(b.constData() + 2));
            header = 4;
        } else if (length == 127) {
            if (b.size() < 10)
                return;
            length = qFromBigEndian<quint64>(reinterpret_cast<const uchar *>(b.constData() + 2));
            header = 10;
        }
        const int maskBytes = masked ? 4 : 0;
        if (quint64(b.size()) < header + maskBytes + length)
            return;
        if (opcode == 0x8 && length >= 2) {
            quint8 code[2] = {quint8(b.at(header + maskBytes)), quint8(b.at(header + maskBytes + 1))};
            if (masked) {
                code[0] ^= quint8(b.at(header));
                code[1] ^= quint8(b.at(header + 1));
            }
            emit clientCloseFrame(link->id, (code[0] << 8) | code[1]);
        } else if (opcode == 0x9) {
            emit clientPing(link->id);
        }
        link->sniffBuffer.remove(0, int(header + maskBytes + length));
    }
}

void TcpRelay::finish(Link *link, bool graceful)
{
    if (link->finished)
        return;
    // What one side still had to say reaches the other before it is closed, unless the relay is
    // frozen (a hung server says nothing more) or the link is cut.
    if (graceful && !m_frozen)
        pump(link);
    link->finished = true;
    m_links.removeOne(link);
    for (QTcpSocket *socket : {link->client.data(), link->target.data()}) {
        if (!socket)
            continue;
        socket->disconnect(this);
        if (graceful && !m_frozen && socket->state() != QAbstractSocket::UnconnectedState) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
        } else {
            socket->abort();
            socket->deleteLater();
        }
    }
    const int id = link->id;
    delete link;
    emit linkClosed(id);
}

} // namespace simbroker
