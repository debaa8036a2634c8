#pragma once

#include "chartmanager.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

class QIODevice;

// The chart cache on disk: one file per account, symbol and timeframe,
// "config/<server>/<account>/ChartHistory/<symbol>_<period>", holding nothing but 40-byte
// records: the bar time as a qint64 and open, high, low, close as doubles, all big-endian,
// exactly as a QDataStream at its default settings writes them. Rewrites keep time order;
// appends go to the end, so one time may occur more than once and the last record wins.
namespace ChartCache {

constexpr qint64 RecordSize = 40;

QString folderPath(const QString &serverName, qint64 account);
QString fileName(const QString &symbol, int period);
// Takes "<symbol>_<period>" with exactly one "_" and a symbol that is a safe path segment; a
// period that is not a number reads as 0.
bool parseFileName(const QString &fileName, QString *symbol, int *period);

void encodeRecord(const CandleStick &candle, char *out);
CandleStick decodeRecord(const char *in);

// Reads whole records up to the end of the device; an incomplete trailing record (a write cut
// short) is ignored.
QMap<qint64, CandleStick> readCandles(QIODevice &device);
// Empty when the file is missing or cannot be opened.
QMap<qint64, CandleStick> readCandleFile(const QString &path);
// Replaces the file's content atomically; an empty list leaves the file as it is.
bool writeCandleFile(const QString &path, const QVector<CandleStick> &candles);
// Adds one record at the end, after cutting the file back to whole records.
bool appendCandleFile(const QString &path, const CandleStick &candle);

} // namespace ChartCache
