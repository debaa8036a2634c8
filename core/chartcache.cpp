#include "chartcache.h"

#include "pathsafety.h"

#include <QFile>
#include <QIODevice>
#include <QSaveFile>
#include <QStringList>
#include <QtEndian>
#include <cstring>

namespace ChartCache {

namespace {

// Records are written in blocks of this many, so a series of a million bars neither costs a
// system call per record nor a second copy of the whole series in memory.
constexpr qint64 BlockRecords = 4096;

quint64 bitsOf(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double doubleOf(quint64 bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Read between two checks for a stop: a few milliseconds.
constexpr qint64 StopCheckBytes = 8 << 20;

} // namespace

QString folderPath(const QString &serverName, qint64 account)
{
    // One arg() call: chained calls would read a "%1" inside the server name as a placeholder.
    return QStringLiteral("config/%1/%2/ChartHistory").arg(serverName, QString::number(account));
}

QString fileName(const QString &symbol, int period)
{
    return QStringLiteral("%1_%2").arg(symbol, QString::number(period));
}

bool parseFileName(const QString &fileName, QString *symbol, int *period)
{
    const QStringList parts = fileName.split(QLatin1Char('_'));
    if (parts.size() != 2 || !isSafePathSegment(parts.at(0)))
        return false;
    *symbol = parts.at(0);
    *period = parts.at(1).toInt(); // not a number: 0, a series no chart asks for
    return true;
}

// The byte layout of QDataStream's defaults (big-endian, doubles as 64-bit IEEE 754), written
// directly: a stream call per field would cost more than the rest of a load together.
void encodeRecord(const CandleStick &candle, char *out)
{
    qToBigEndian<qint64>(candle.timestamp, out);
    qToBigEndian<quint64>(bitsOf(candle.open), out + 8);
    qToBigEndian<quint64>(bitsOf(candle.high), out + 16);
    qToBigEndian<quint64>(bitsOf(candle.low), out + 24);
    qToBigEndian<quint64>(bitsOf(candle.close), out + 32);
}

CandleStick decodeRecord(const char *in)
{
    CandleStick candle;
    candle.timestamp = qFromBigEndian<qint64>(in);
    candle.open = doubleOf(qFromBigEndian<quint64>(in + 8));
    candle.high = doubleOf(qFromBigEndian<quint64>(in + 16));
    candle.low = doubleOf(qFromBigEndian<quint64>(in + 24));
    candle.close = doubleOf(qFromBigEndian<quint64>(in + 32));
    return candle;
}

QMap<qint64, CandleStick> decodeCandles(const char *data, qint64 size,
                                        const std::function<bool()> &stopped)
{
    return seriesFromBars(
        size / RecordSize, [data](qint64 i) { return decodeRecord(data + i * RecordSize); },
        stopped);
}

QMap<qint64, CandleStick> readCandles(QIODevice &device)
{
    const QByteArray bytes = device.readAll();
    return decodeCandles(bytes.constData(), bytes.size());
}

QMap<qint64, CandleStick> readCandleFile(const QString &path, ReadStatus *status,
                                         const std::function<bool()> &stopped)
{
    ReadStatus ignored;
    ReadStatus &result = status ? *status : ignored;
    result = ReadStatus::Unreadable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    if (size > MaxFileSize) {
        result = ReadStatus::TooLarge;
        return {};
    }
    // Only whole records are of use; an append racing with this read may add more, left for the
    // next load.
    QByteArray bytes(int(size - size % RecordSize), Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < bytes.size()) {
        if (stopped && stopped()) {
            result = ReadStatus::Stopped;
            return {};
        }
        const qint64 got = file.read(bytes.data() + filled, qMin(StopCheckBytes, bytes.size() - filled));
        if (got <= 0)
            break;
        filled += got;
    }
    QMap<qint64, CandleStick> candles = decodeCandles(bytes.constData(), filled, stopped);
    result = stopped && stopped() ? ReadStatus::Stopped : ReadStatus::Read;
    if (result == ReadStatus::Stopped)
        candles.clear();
    return candles;
}

bool writeCandleFile(const QString &path, const QVector<CandleStick> &candles)
{
    if (candles.isEmpty())
        return true;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(int(BlockRecords * RecordSize), Qt::Uninitialized);
    for (int first = 0; first < candles.size(); first += int(BlockRecords)) {
        const int count = qMin(int(BlockRecords), candles.size() - first);
        for (int i = 0; i < count; ++i)
            encodeRecord(candles.at(first + i), block.data() + i * RecordSize);
        if (file.write(block.constData(), count * RecordSize) != count * RecordSize) {
            file.cancelWriting();
            return false;
        }
    }
    return file.commit();
}

AppendStatus appendCandleFile(const QString &path, const CandleStick &candle, qint64 maxSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return AppendStatus::Failed;
    // A record cut short by an earlier failed write would shift every later record; drop it.
    const qint64 size = file.size();
    const qint64 whole = size - size % RecordSize;
    if (whole + RecordSize > maxSize)
        return AppendStatus::Full;
    if (whole != size && !file.resize(whole))
        return AppendStatus::Failed;
    if (!file.seek(whole))
        return AppendStatus::Failed;
    char record[RecordSize];
    encodeRecord(candle, record);
    if (file.write(record, RecordSize) != RecordSize)
        return AppendStatus::Failed;
    return file.flush() ? AppendStatus::Appended : AppendStatus::Failed;
}

} // namespace ChartCache
