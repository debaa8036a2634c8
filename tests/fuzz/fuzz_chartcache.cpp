// Feeds arbitrary bytes to the chart cache reader, as a damaged or foreign cache file would.
#include "chartcache.h"

#include <QBuffer>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

bool sameBits(const CandleStick &a, const CandleStick &b)
{
    char left[ChartCache::RecordSize];
    char right[ChartCache::RecordSize];
    ChartCache::encodeRecord(a, left);
    ChartCache::encodeRecord(b, right);
    return std::memcmp(left, right, sizeof left) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QBuffer device;
    device.setData(bytes);
    if (!device.open(QIODevice::ReadOnly))
        return 0;
    const QMap<qint64, CandleStick> candles = ChartCache::readCandles(device);

    // Every whole record counts, the last of each time wins, the cut tail is ignored.
    std::map<qint64, CandleStick> expected;
    for (qint64 at = 0; at + ChartCache::RecordSize <= bytes.size(); at += ChartCache::RecordSize) {
        const CandleStick candle = ChartCache::decodeRecord(bytes.constData() + at);
        expected[candle.timestamp] = candle;
    }
    if (size_t(candles.size()) != expected.size())
        std::abort();
    auto want = expected.cbegin();
    for (auto it = candles.cbegin(); it != candles.cend(); ++it, ++want) {
        if (it.key() != want->first || it->timestamp != it.key() || !sameBits(*it, want->second))
            std::abort();
    }
    return 0;
}
