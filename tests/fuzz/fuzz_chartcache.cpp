// Feeds arbitrary bytes to the chart cache reader, as a damaged or foreign cache file would.
#include "chartcache.h"

#include <QBuffer>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QBuffer device;
    device.setData(bytes);
    if (!device.open(QIODevice::ReadOnly))
        return 0;
    const QMap<qint64, CandleStick> candles = ChartCache::readCandles(device);
    // Whole records only, one bar per time, each under its own time, the last record of a time
    // winning.
    if (candles.size() > qint64(size) / ChartCache::RecordSize)
        std::abort();
    for (auto it = candles.cbegin(); it != candles.cend(); ++it) {
        if (it->timestamp != it.key())
            std::abort();
    }
    const qint64 whole = qint64(size) / ChartCache::RecordSize;
    if (whole > 0) {
        const CandleStick last = ChartCache::decodeRecord(bytes.constData() + (whole - 1) * ChartCache::RecordSize);
        const CandleStick held = candles.value(last.timestamp);
        if (std::memcmp(&held, &last, sizeof last) != 0)
            std::abort();
    }
    return 0;
}
