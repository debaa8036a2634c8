#include "trademessages.h"

#include "displayformat.h"
#include "marketrecords.h"

#include <QJsonDocument>

#include <cmath>

namespace {

constexpr int ReqChartHistory = 3;
constexpr int ReqTrade = 4;
constexpr int ReqTradeHistory = 5;

constexpr int CloseAllDealer = 1000;

QJsonObject tradeRequest(int type)
{
    QJsonObject request;
    request.insert(QStringLiteral("type"), type);
    request.insert(QStringLiteral("req_code"), ReqTrade);
    return request;
}

} // namespace

namespace TradeMessages {

qint64 lotsToWireVolume(double lots)
{
    const double units = lots * 10000.0;
    // A volume that no 64-bit integer holds exactly (or no number at all) is sent as 0, which
    // the server refuses, rather than as whatever an out-of-range conversion would give.
    constexpr double Largest = 9007199254740992.0; // 2^53
    if (!std::isfinite(units) || std::fabs(units) >= Largest)
        return 0;
    return qRound64(units);
}

QJsonObject chartHistoryRequest(const QString &symbol, int interval, qint64 from, qint64 to)
{
    QJsonObject request;
    request.insert(QStringLiteral("from"), from);
    request.insert(QStringLiteral("to"), to);
    request.insert(QStringLiteral("symbol"), symbol);
    request.insert(QStringLiteral("interval"), interval);
    request.insert(QStringLiteral("req_code"), ReqChartHistory);
    return request;
}

QJsonObject tradeHistoryRequest(qint64 from, qint64 to)
{
    QJsonObject request;
    request.insert(QStringLiteral("from"), static_cast<qint32>(from));
    request.insert(QStringLiteral("to"), static_cast<qint32>(to));
    request.insert(QStringLiteral("req_code"), ReqTradeHistory);
    return request;
}

QJsonObject marketOrderRequest(const QString &symbol, int orderType, double lots)
{
    QJsonObject request = tradeRequest(NewOrder);
    request.insert(QStringLiteral("order_type"), orderType);
    request.insert(QStringLiteral("volume"), lotsToWireVolume(lots));
    request.insert(QStringLiteral("symbol"), symbol);
    return request;
}

QJsonObject dialogMarketOrderRequest(const QString &symbol, int orderType, double lots,
                                     double stopLoss, double takeProfit)
{
    QJsonObject request = marketOrderRequest(symbol, orderType, lots);
    if (stopLoss > 0.0)
        request.insert(QStringLiteral("sl"), stopLoss);
    if (takeProfit > 0.0)
        request.insert(QStringLiteral("tp"), takeProfit);
    return request;
}

QJsonObject placeRequest(const PlaceRequest &r)
{
    QJsonObject request = tradeRequest(r.type);
    request.insert(QStringLiteral("order_id"), r.ticket);
    request.insert(QStringLiteral("order_type"), r.orderType);
    request.insert(QStringLiteral("price"), r.price);
    if (r.hasStopLimitPrice)
        request.insert(QStringLiteral("s_price"), r.stopLimitPrice);
    request.insert(QStringLiteral("sl"), r.stopLoss);
    request.insert(QStringLiteral("tp"), r.takeProfit);
    request.insert(QStringLiteral("volume"), lotsToWireVolume(r.lots));
    request.insert(QStringLiteral("symbol"), r.symbol);
    request.insert(QStringLiteral("t_time"), r.expiryKind);
    if (r.expiryMinutes > 0)
        request.insert(QStringLiteral("exp_mins"), r.expiryMinutes);
    if (r.type == CloseByHedge) {
        request.insert(QStringLiteral("position_id"), r.ticket);
        request.insert(QStringLiteral("position_by_id"), r.oppositeTicket);
    }
    return request;
}

QJsonObject closeTradeRequest(qint64 ticket, int rowType)
{
    if (ticket <= 0)
        return {};
    int type;
    switch (rowType) {
    case 1: type = ClosePosition; break;
    case 2: type = DeleteOrder; break;
    default: return {};
    }
    QJsonObject request = tradeRequest(type);
    request.insert(QStringLiteral("order_id"), ticket);
    return request;
}

QJsonObject closeAllRequest(qint64 login, int subType)
{
    QJsonObject request = tradeRequest(CloseAll);
    request.insert(QStringLiteral("login"), login);
    request.insert(QStringLiteral("dealer"), CloseAllDealer);
    request.insert(QStringLiteral("sub_type"), subType);
    return request;
}

QString closeAllMessage(qint64 login, int subType)
{
    return QString::fromUtf8(QJsonDocument(closeAllRequest(login, subType)).toJson(QJsonDocument::Compact));
}

QString describe(const QJsonObject &request)
{
    // The texts the trader chose them by: the order dialog's order types, its Place texts and
    // the trade table's menu entries.
    static const char *const orderTypes[] = {"Buy", "Sell", "Buy Limit", "Sell Limit",
                                             "Buy Stop", "Sell Stop", "Buy Stop Limit", "Sell Stop Limit"};
    static const char *const closeAll[] = {"Close All Position", "Close All Profit Position", "Close All Loss Position"};
    const auto value = [&request](const char *key) { return JsonRead::int64(request.value(QLatin1String(key))); };
    const auto onTicket = [&value](const char *command) {
        return QStringLiteral("%1 #%2").arg(QLatin1String(command)).arg(value("order_id"));
    };
    const int type = JsonRead::int32(request.value(QLatin1String("type")));
    switch (type) {
    case NewOrder: {
        const qint64 orderType = value("order_type");
        const QString side = orderType >= 0 && orderType < 8 ? QLatin1String(orderTypes[orderType])
                                                             : QStringLiteral("Order type %1").arg(orderType);
        return QStringLiteral("%1 %2 %3").arg(side, DisplayFormat::money(double(value("volume")) / 10000.0),
                                              JsonRead::text(request.value(QLatin1String("symbol"))));
    }
    case ModifyOrder: return onTicket("Modify Order");
    case ModifyPosition: return onTicket("Modify Position");
    case DeleteOrder: return onTicket("Delete Order");
    case ClosePosition: return onTicket("Close Position");
    case CloseByHedge: return onTicket("Close Position By Hedge");
    case CloseAll: {
        const qint64 subType = value("sub_type");
        if (subType >= 0 && subType < 3)
            return QLatin1String(closeAll[subType]);
        break;
    }
    default: break;
    }
    return QStringLiteral("Trade request of type %1").arg(type);
}

QJsonObject accountRefreshAfterLoginRequest(qint64 login)
{
    QJsonObject request = tradeRequest(RefreshAccount);
    request.insert(QStringLiteral("login"), login);
    request.insert(QStringLiteral("is_last"), 1);
    return request;
}

QJsonObject accountRefreshRequest()
{
    return tradeRequest(RefreshAccount);
}

bool replacesPositions(const QJsonObject &accountReply)
{
    // Read as a whole number: a fraction below one is 0, and no value is cast out of range.
    const QJsonValue last = accountReply.value(QLatin1String("is_last"));
    return last.isDouble() && std::fabs(last.toDouble()) >= 1.0;
}

ChartSeries chartSeriesOf(const QJsonObject &message)
{
    return {message.value(QLatin1String("symbol")).toString(),
            message.value(QLatin1String("interval")).toInt(0)};
}

bool asksChartHistory(const QJsonObject &request)
{
    return request.value(QLatin1String("req_code")).toInt() == ReqChartHistory;
}

} // namespace TradeMessages
