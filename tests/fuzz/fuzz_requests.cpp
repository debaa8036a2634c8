// Arbitrary bytes as the inputs of every request builder: the volume in lots (any double,
// non-finite ones included), tickets, account numbers, types and texts. Each request is written
// as the client writes it and read back: the volume must be the one conversion's result, tickets
// and accounts must arrive as sent, and nothing may trip a sanitizer.
#include "trademessages.h"

#include <QJsonDocument>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

QJsonObject roundTrip(const QJsonObject &request)
{
    return QJsonDocument::fromJson(QJsonDocument(request).toJson(QJsonDocument::Compact)).object();
}

// JSON numbers are doubles: integers are exact up to 2^53, which covers every real ticket.
// Where `value` is exact, the request must carry it in `key`.
void check(bool condition)
{
    if (!condition)
        std::abort();
}
void carries(const QJsonObject &request, const char *key, qint64 value)
{
    if (value > -(qint64(1) << 53) && value < (qint64(1) << 53))
        check(request.value(QLatin1String(key)).toVariant().toLongLong() == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t offset = 0;
    const auto take = [&](auto value) {
        const size_t n = std::min(sizeof value, size - offset);
        std::memcpy(&value, data + offset, n);
        offset += n;
        return value;
    };
    const double lots = take(0.0), price = take(0.0);
    const qint64 ticket = take(qint64(0)), other = take(qint64(0));
    const int32_t kind = take(int32_t(0));
    const QString symbol = QString::fromUtf8(reinterpret_cast<const char *>(data + offset), int(size - offset));

    const qint64 volume = TradeMessages::lotsToWireVolume(lots);
    check(std::isfinite(lots) || volume == 0);
    if (std::isfinite(lots) && std::fabs(lots) < 1e6)
        check(std::fabs(double(volume) - lots * 10000.0) <= 0.5 + 1e-6);

    const QJsonObject market = roundTrip(TradeMessages::dialogMarketOrderRequest(symbol, kind, lots, price, -price));
    carries(market, "volume", volume);
    check(market.value(QLatin1String("symbol")).toString() == symbol);

    const TradeMessages::PlaceRequest place{kind, ticket, kind, price, bool(kind & 1), price, 0.0, 0.0, lots, symbol, kind, other, other};
    const QJsonObject placed = roundTrip(TradeMessages::placeRequest(place));
    carries(placed, "volume", volume);
    carries(placed, "order_id", ticket);
    if (kind == CloseByHedge)
        carries(placed, "position_by_id", other);

    const QJsonObject close = roundTrip(TradeMessages::closeTradeRequest(ticket, kind));
    check(close.isEmpty() == (ticket <= 0 || (kind != 1 && kind != 2)));
    if (!close.isEmpty())
        carries(close, "order_id", ticket);
    carries(QJsonDocument::fromJson(TradeMessages::closeAllMessage(ticket, kind).toUtf8()).object(), "login", ticket);
    carries(roundTrip(TradeMessages::accountRefreshAfterLoginRequest(ticket)), "login", ticket);
    roundTrip(TradeMessages::chartHistoryRequest(symbol, kind, ticket, other));
    roundTrip(TradeMessages::tradeHistoryRequest(ticket, other));
    return 0;
}
