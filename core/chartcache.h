#pragma once

#include "chartmanager.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>
#include <functional>

class QIODevice;

// The chart cache on disk: one file per account, symbol and timeframe,
// "config/<server>/<account>/ChartHistory/<symbol>_<period>", holding nothing but 40-byte
// records: the bar time as a qint64 and open, high, low, close as doubles, all big-endian,
// exactly as a QDataStream at its default settings writes them. Rewrites keep time order;
// appends go to the end, so one time may occur more than once and the last record wins.
namespace ChartCache {

constexpr qint64 RecordSize = 40;
// Ten million bars, some nineteen years of one-minute bars: no cache a terminal wrote grows
// this large, so a larger file is foreign or damaged and is not read at all.
constexpr qint64 MaxFileSize = 10000000 * RecordSize;

QString folderPath(const QString &serverName, qint64 account);
QString fileName(const QString &symbol, int period);
// Takes "<symbol>_<period>" with exactly one "_" and a symbol that is a safe path segment; a
// period that is not a number reads as 0.
bool parseFileName(const QString &fileName, QString *symbol, int *period);

void encodeRecord(const CandleStick &candle, char *out);
CandleStick decodeRecord(const char *in);

// Whole records of `size` bytes; an incomplete trailing record (a write cut short) is ignored.
// `stopped`, when given, is asked now and then; once it says yes, decoding ends with an empty
// result.
QMap<qint64, CandleStick> decodeCandles(const char *data, qint64 size,
                                        const std::function<bool()> &stopped = {});
// Reads the device to its end and decodes it.
QMap<qint64, CandleStick> readCandles(QIODevice &device);

enum class ReadStatus { Read, Unreadable, TooLarge, Stopped };
// Reads the file whole, then decodes it. Empty unless the status is Read: the file is missing or
// cannot be opened, is larger than MaxFileSize (nothing of it is read), or `stopped` said yes
// between two blocks of reading or decoding.
QMap<qint64, CandleStick> readCandleFile(const QString &path, ReadStatus *status = nullptr,
                                         const std::function<bool()> &stopped = {});
// Replaces the file's content atomically; an empty list leaves the file as it is.
bool writeCandleFile(const QString &path, const QVector<CandleStick> &candles);
enum class AppendStatus { Appended, Full, Failed };
// Adds one record at the end, after cutting the file back to whole records. Refused (Full, the
// file left as it was) when the file would then be larger than `maxSize` bytes.
AppendStatus appendCandleFile(const QString &path, const CandleStick &candle,
                              qint64 maxSize = MaxFileSize);

} // namespace ChartCache
