// Feeds arbitrary text to the merge of a chart-history reply, as a broken or hostile server
// would send it. A JSON array is also tried as the bars of a well-formed reply.
#include "chartmanager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdint>
#include <cstdlib>

namespace {

void checkSeries(const ChartManager &keeper, const QString &symbol, int interval, int maxBars)
{
    const QList<CandleStick> candles = keeper.getChartHistory(symbol, interval);
    if (candles.size() > maxBars)
        std::abort();
    for (int i = 1; i < candles.size(); ++i) {
        if (candles.at(i - 1).timestamp >= candles.at(i).timestamp)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    // No account: nothing reaches the disk.
    ChartManager keeper(nullptr);
    if (document.isObject()) {
        const QJsonObject reply = document.object();
        const QString symbol = reply.value(QLatin1String("symbol")).toString();
        const int interval = reply.value(QLatin1String("interval")).toInt();
        keeper.updateChartHistoryFromServer(reply);
        checkSeries(keeper, symbol, interval, reply.value(QLatin1String("array")).toArray().size());
    } else if (document.isArray()) {
        const QJsonArray bars = document.array();
        keeper.updateChartHistoryFromServer(
            {{"res_code", 3}, {"symbol", "EURUSD"}, {"interval", 60}, {"array", bars}});
        checkSeries(keeper, QStringLiteral("EURUSD"), 60, bars.size());
        for (const QJsonValue &bar : bars) {
            const CandleStick candle = ChartManager::candleFromJson(bar);
            keeper.appendCandleStick(QStringLiteral("EURUSD"), 60, candle.timestamp, candle.open,
                                     candle.high, candle.low, candle.close);
        }
        checkSeries(keeper, QStringLiteral("EURUSD"), 60, 2 * bars.size());
    }
    return 0;
}
