// Arbitrary bytes as one trade-server frame: decoded as the client decodes it, then handed to
// the symbol and position stores as every reply kind they take, and read back the way the
// views read them. Nothing may crash, trip a sanitizer or grow without bound.
#include "marketrecords.h"
#include "positiondatastore.h"
#include "symboldatastorage.h"
#include "tradeclient.h"

#include <QJsonArray>

// Bounds the quadratic parts (every element as a quote repricing every position, every
// position's hedge lookup) so that a large input stays a fast input.
constexpr int MaxQuadratic = 64;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The client traces every undecodable frame; thousands a second would drown the fuzzer.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    const QJsonObject reply = TradeClient::parseMessage(QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)));
    const QJsonArray array = reply.value(QLatin1String("array")).toArray();
    SymbolDataStorage symbols;
    PositionDataStore positions;
    QObject::connect(&symbols, &SymbolDataStorage::tickChanged, &positions, &PositionDataStore::onPriceChanged);

    // Whatever its "res_code", every handler sees the frame: the client dispatches on a key the
    // fuzzer controls anyway.
    positions.onPriceChanged(SymbolDataStorage::tickFromJson(reply));
    symbols.onSymbolListReceived(reply);
    positions.setOpenPositions(array);
    positions.setPendingOrders(array);
    symbols.onPriceReceived(reply);
    for (int i = 0; i < qMin(int(array.size()), MaxQuadratic); ++i)
        symbols.onPriceReceived(array.at(i).toObject());

    // What the client lets through of a list element reads as the element does, but for texts
    // cut to their bound, and holds no longer text.
    for (const QJsonValue element : array) {
        bool cut = false;
        const SymbolSetting whole = readSymbolSetting(element.toObject());
        const QJsonObject trimmed = trimSymbolElement(element.toObject(), TradeClient::MaxSymbolTextChars, cut);
        for (const QJsonValue value : trimmed) {
            if (value.toString().size() > TradeClient::MaxSymbolTextChars)
                __builtin_trap();
        }
        const SymbolSetting kept = readSymbolSetting(trimmed);
        for (const auto &[wholeText, keptText] : {std::pair{whole.symbol, kept.symbol}, {whole.desc, kept.desc}, {whole.path, kept.path}}) {
            if (!wholeText.startsWith(keptText) || keptText.size() > TradeClient::MaxSymbolTextChars
                || (wholeText.size() <= TradeClient::MaxSymbolTextChars && keptText != wholeText))
                __builtin_trap();
        }
        if (whole.digits != kept.digits || whole.min_vol != kept.min_vol || whole.max_vol != kept.max_vol
            || whole.step_vol != kept.step_vol || whole.c_size != kept.c_size)
            __builtin_trap();
    }

    // What the tables and dialogs do with a record: print its prices, look up its ticket.
    const auto printed = [](double value, int digits) { return QString::number(value, 'f', digits).size(); };
    qsizetype sink = 0;
    int lookups = 0;
    for (const Position &p : positions.openPositions()) {
        sink += printed(p.current_price, p.digits) + printed(p.profit, 2);
        if (++lookups <= MaxQuadratic)
            sink += positions.position(p.ticket).symbol.size() + positions.oppositePositions(p.ticket).size();
    }
    for (const PendingOrder &o : positions.pendingOrders())
        sink += printed(o.price, o.digits) + positions.pendingOrder(o.ticket).symbol.size();
    for (const QString &name : symbols.allSymbols()) {
        const SymbolSetting setting = symbols.symbolSetting(name);
        sink += printed(setting.c_size, setting.digits) + printed(setting.min_vol / 10000.0, 2);
    }
    for (const QString &name : symbols.symbolList())
        sink += printed(symbols.tick(name).bid, symbols.symbolDigits(name)) + printed(symbols.tick(name).ask, symbols.tick(name).digits);
    symbols.setSymbolVisible(QStringLiteral("EURUSD"), sink % 2 == 0);
    return 0;
}
