// Arbitrary bytes as one trade-server frame: decoded as the client decodes it, then handed to
// the symbol and position stores as every reply kind they take, and read back the way the
// views read them. Nothing may crash, trip a sanitizer or grow without bound.
#include "positiondatastore.h"
#include "symboldatastorage.h"
#include "tradeclient.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

// The client logs every undecodable frame; thousands per second would only drown the fuzzer.
void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

// What the market watch, trade table and dialogs do with a record: print its prices.
qsizetype formatted(double value, int digits)
{
    return QString::number(value, 'f', digits).size();
}

// Bounds the quadratic parts (every element as a quote repricing every position) so that a
// large input stays a fast input.
constexpr int MaxElementsAsQuotes = 64;
constexpr int MaxHedgeLookups = 64;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    const QJsonObject reply = TradeClient::parseMessage(
        QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)));
    const QJsonArray array = reply.value(QLatin1String("array")).toArray();

    SymbolDataStorage symbols;
    PositionDataStore positions;
    QObject::connect(&symbols, &SymbolDataStorage::tickChanged, &positions,
                     &PositionDataStore::onPriceChanged);

    // Whatever its "res_code", every handler sees the frame: the client dispatches on a key the
    // fuzzer controls anyway.
    positions.onPriceChanged(SymbolDataStorage::tickFromJson(reply));
    symbols.onSymbolListReceived(reply);
    positions.setOpenPositions(array);
    positions.setPendingOrders(array);
    symbols.onPriceReceived(reply);
    int quotes = 0;
    for (const QJsonValue element : array) {
        if (++quotes > MaxElementsAsQuotes)
            break;
        symbols.onPriceReceived(element.toObject());
    }

    qsizetype sink = 0;
    int lookups = 0;
    for (const Position &p : positions.openPositions()) {
        sink += formatted(p.current_price, p.digits) + formatted(p.profit, 2);
        if (++lookups <= MaxHedgeLookups) {
            bool found = false;
            sink += positions.position(p.ticket, &found).symbol.size();
            sink += positions.oppositePositions(p.ticket).size();
        }
    }
    for (const PendingOrder &o : positions.pendingOrders())
        sink += formatted(o.price, o.digits) + positions.pendingOrder(o.ticket).symbol.size();
    for (const QString &name : symbols.allSymbols()) {
        const SymbolSetting setting = symbols.symbolSetting(name);
        sink += formatted(setting.c_size, setting.digits) + formatted(setting.min_vol / 10000.0, 2);
    }
    for (const QString &name : symbols.symbolList()) {
        const TickData tick = symbols.tick(name);
        sink += formatted(tick.bid, symbols.symbolDigits(name)) + formatted(tick.ask, tick.digits);
    }
    symbols.setSymbolVisible(QStringLiteral("EURUSD"), sink % 2 == 0);
    symbols.clear();
    positions.clear();
    return 0;
}
