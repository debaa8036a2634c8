#include "brokerlist.h"

#include "replylimit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace BrokerList {

QString requestUrl(const QString &host)
{
    return QStringLiteral("http://%1:%2/brokers").arg(host).arg(ServicePort);
}

void limitReply(QNetworkReply *reply)
{
    ReplyLimit::apply(reply, MaxReplyBytes, ReplyTimeoutMs);
}

QList<ServerInfo> parse(const QByteArray &body, bool *isArray)
{
    QList<ServerInfo> servers;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (isArray)
        *isArray = document.isArray();
    if (!document.isArray())
        return servers;

    const QJsonArray brokers = document.array();
    for (const QJsonValue &broker : brokers) {
        const QJsonArray brokerServers = broker.toObject().value(QStringLiteral("servers")).toArray();
        for (const QJsonValue &entry : brokerServers) {
            const QJsonObject server = entry.toObject();
            const QString name = server.value(QStringLiteral("name")).toString();
            if (!name.contains(QLatin1String("taldrex"), Qt::CaseInsensitive))
                continue;
            ServerInfo info;
            info.name = name;
            info.ipaddr = server.value(QStringLiteral("ipaddr")).toString();
            info.brokerId = QString::number(server.value(QStringLiteral("brokerId")).toVariant().toLongLong());
            servers.append(info);
        }
    }
    return servers;
}

} // namespace BrokerList
