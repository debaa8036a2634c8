#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "serveraddress.h"

class QNetworkReply;

// One trade server of the broker list.
struct ServerInfo
{
    QString name;     // display name; also the name the trade client logs and the workspace uses
    QString ipaddr;   // host, or host:port
    QString brokerId; // kept as text; nothing reads it
};

namespace BrokerList {

// Port and path of the broker-list web service.
constexpr int ServicePort = 9000;
QString requestUrl(const QString &host);

// Reads the reply body: brokers in array order, each broker's "servers" in order, keeping only
// servers whose name mentions "taldrex" in any case. *isArray tells whether the document was a
// JSON array at all (a reply that is not one must leave the login dialog's entries alone).
QList<ServerInfo> parse(const QByteArray &body, bool *isArray);

// A list of servers is a few kilobytes; a reply larger than this is no broker list.
constexpr qint64 MaxReplyBytes = 1024 * 1024;
constexpr int ReplyTimeoutMs = 10000;

// Bounds a broker-list request just started (see ReplyLimit::apply).
void limitReply(QNetworkReply *reply);

} // namespace BrokerList
