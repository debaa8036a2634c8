#include "serveraddress.h"

namespace BrokerList {

QString tradeServerUrl(const QString &address)
{
    if (address.contains(QLatin1Char(':')))
        return QStringLiteral("ws://") + address;
    return QStringLiteral("ws://") + address + QStringLiteral(":9001");
}

} // namespace BrokerList
