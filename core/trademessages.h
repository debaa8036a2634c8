#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// Requests of the trade-server protocol. Every sender builds its request here, so keys, value
// types and the lots-to-wire conversion exist once. Also the one reading of a reply that both the
// client and the window make.

enum TradeAction {
    NewOrder = 0,
    ModifyOrder = 1,
    ModifyPosition = 2,
    DeleteOrder = 3,
    ClosePosition = 4,
    RefreshAccount = 5,
    CloseAll = 9,
    CloseByHedge = 10,
};

// Reply "status" of a trade result that was carried out.
constexpr int StatusDone = 10009;

namespace TradeMessages {

// Lots to the wire's 1/10000-lot units, rounded to the nearest unit (0.57 -> 5700): truncating
// the double product would send one unit less than the trader asked for. Not a number, an
// infinity or a volume beyond 2^53 units gives 0.
qint64 lotsToWireVolume(double lots);

// req_code 3. "to" -1 means up to now.
QJsonObject chartHistoryRequest(const QString &symbol, int interval, qint64 from, qint64 to);

// req_code 5; the bounds are epoch seconds (the protocol carries them as 32-bit integers).
QJsonObject tradeHistoryRequest(qint64 from, qint64 to);

// req_code 4 type 0: a market order of the one-click panel (orderType 0 buy, 1 sell).
QJsonObject marketOrderRequest(const QString &symbol, int orderType, double lots);

// req_code 4 type 0 from the order dialog: "sl" and "tp" only when above 0.
QJsonObject dialogMarketOrderRequest(const QString &symbol, int orderType, double lots,
                                     double stopLoss, double takeProfit);

// The order dialog's Place request, the same keys in each of its modes.
struct PlaceRequest
{
    int type = NewOrder;          // the dialog's mode: 0, 1, 2, 3, 4 or 10
    qint64 ticket = 0;            // "order_id" (and "position_id" in CloseByHedge)
    int orderType = 2;            // pending type, 2..7
    double price = 0.0;
    bool hasStopLimitPrice = false;
    double stopLimitPrice = 0.0;  // "s_price", only while the field is enabled
    double stopLoss = 0.0;        // "sl", always present
    double takeProfit = 0.0;      // "tp", always present
    double lots = 0.0;
    QString symbol;
    int expiryKind = 0;           // "t_time"
    qint64 expiryMinutes = 0;     // "exp_mins", only when above 0
    qint64 oppositeTicket = 0;    // "position_by_id", CloseByHedge only
};
QJsonObject placeRequest(const PlaceRequest &request);

// The close control of a trade-table row: rowType 1 (position) -> ClosePosition,
// 2 (pending order) -> DeleteOrder. Empty for any other row type or a ticket of 0 or less.
QJsonObject closeTradeRequest(qint64 ticket, int rowType);

// Close all ("sub_type" 0 all, 1 profitable, 2 losing) for the logged-in account, and the same
// as the compact text that goes to TradeClient::sendMessage.
QJsonObject closeAllRequest(qint64 login, int subType);
QString closeAllMessage(qint64 login, int subType);

// What a trade request (req_code 4) asks for, as the journal names it: the side, lots and symbol
// of a new order ("Buy 0.50 EURUSD", "Sell Stop Limit 0.10 GBPUSD"), the ticket of a command on
// a position or an order ("Close Position #5000000001"), the kind of a close all.
QString describe(const QJsonObject &request);

// The account refresh sent after each accepted login, for the account of the login reply. "login"
// is written as the whole 64-bit number: cutting it to 32 bits would name another account.
QJsonObject accountRefreshAfterLoginRequest(qint64 login);

// The account refresh sent after some trade replies; sendRequest adds "login".
QJsonObject accountRefreshRequest();

// Whether an account reply (res_code 4) replaces the stored positions: "is_last" is a number of
// size 1 or more (a fraction below one counts as 0). Any other reply carries only the account's
// figures, and its array is not applied.
bool replacesPositions(const QJsonObject &accountReply);

// The series a chart-history request asks for, or a chart-history reply answers: "symbol" as a
// string and "interval" as a 32-bit number, as the chart keeper reads the reply. A request is
// matched to its reply by these alone: replies carry no request id.
struct ChartSeries
{
    QString symbol;
    int interval = 0;
    bool operator==(const ChartSeries &other) const
    {
        return interval == other.interval && symbol == other.symbol;
    }
};
ChartSeries chartSeriesOf(const QJsonObject &message);
// Whether the request asks for chart history (req_code 3).
bool asksChartHistory(const QJsonObject &request);
inline uint qHash(const ChartSeries &series, uint seed = 0)
{
    return ::qHash(series.symbol, seed) ^ uint(series.interval);
}

} // namespace TradeMessages
