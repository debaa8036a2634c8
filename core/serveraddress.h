#pragma once

#include <QString>

// A trade server as the broker list names it: the trade session and the account service both
// reach its host from this one reading.
namespace BrokerList {

// "ws://" + address, with the trade server's default port 9001 when the address names none.
QString tradeServerUrl(const QString &address);

} // namespace BrokerList
