// Arbitrary bytes as the inputs of every request builder: the volume in lots (any double,
// non-finite ones included), tickets, account numbers, types and texts. Each request is written
// as the client writes it and read back: the volume must be the one conversion's result, tickets
// and accounts must arrive as sent, and nothing may trip a sanitizer.
#include "trademessages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

class Reader
{
public:
    Reader(const uint8_t *data, size_t size) : data(data), size(size) {}

    template <typename T>
    T take()
    {
        T value{};
        const size_t n = std::min(sizeof(T), size - offset);
        std::memcpy(&value, data + offset, n);
        offset += n;
        return value;
    }
    QString rest() const
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(data + offset), int(size - offset));
    }

private:
    const uint8_t *data;
    size_t size;
    size_t offset = 0;
};

QJsonObject roundTrip(const QJsonObject &request)
{
    return QJsonDocument::fromJson(QJsonDocument(request).toJson(QJsonDocument::Compact)).object();
}

qint64 int64Of(const QJsonValue &value)
{
    return value.toVariant().toLongLong();
}

// JSON numbers are doubles: integers are exact up to 2^53, which covers every real ticket.
bool exact(qint64 value)
{
    return value > -(qint64(1) << 53) && value < (qint64(1) << 53);
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in(data, size);
    const double lots = in.take<double>();
    const double price = in.take<double>();
    const qint64 ticket = in.take<qint64>();
    const qint64 other = in.take<qint64>();
    const int32_t kind = in.take<int32_t>();
    const QString symbol = in.rest();

    const qint64 volume = TradeMessages::lotsToWireVolume(lots);
    check(std::isfinite(lots) || volume == 0);
    if (std::isfinite(lots) && std::fabs(lots) < 1e6)
        check(std::fabs(double(volume) - lots * 10000.0) <= 0.5 + 1e-6);

    const QJsonObject market = roundTrip(TradeMessages::dialogMarketOrderRequest(symbol, kind, lots, price, -price));
    check(int64Of(market.value(QLatin1String("volume"))) == volume);
    check(market.value(QLatin1String("symbol")).toString() == symbol);

    TradeMessages::PlaceRequest place;
    place.type = kind;
    place.ticket = ticket;
    place.orderType = kind;
    place.price = price;
    place.hasStopLimitPrice = kind & 1;
    place.stopLimitPrice = price;
    place.lots = lots;
    place.symbol = symbol;
    place.expiryMinutes = other;
    place.oppositeTicket = other;
    const QJsonObject placed = roundTrip(TradeMessages::placeRequest(place));
    check(int64Of(placed.value(QLatin1String("volume"))) == volume);
    if (exact(ticket))
        check(int64Of(placed.value(QLatin1String("order_id"))) == ticket);
    if (kind == CloseByHedge && exact(other))
        check(int64Of(placed.value(QLatin1String("position_by_id"))) == other);

    const QJsonObject close = roundTrip(TradeMessages::closeTradeRequest(ticket, kind));
    check(close.isEmpty() == (ticket <= 0 || (kind != 1 && kind != 2)));
    if (!close.isEmpty() && exact(ticket))
        check(int64Of(close.value(QLatin1String("order_id"))) == ticket);

    const QJsonObject all = QJsonDocument::fromJson(TradeMessages::closeAllMessage(ticket, kind).toUtf8()).object();
    if (exact(ticket))
        check(int64Of(all.value(QLatin1String("login"))) == ticket);
    const QJsonObject refresh = roundTrip(TradeMessages::accountRefreshAfterLoginRequest(ticket));
    if (exact(ticket))
        check(int64Of(refresh.value(QLatin1String("login"))) == ticket);
    roundTrip(TradeMessages::chartHistoryRequest(symbol, kind, ticket, other));
    roundTrip(TradeMessages::tradeHistoryRequest(ticket, other));
    return 0;
}
