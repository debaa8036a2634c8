#include "chartmanager.h"

#include "chartcache.h"
#include "logger.h"
#include "marketrecords.h"
#include "pathsafety.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonValue>
#include <QMutexLocker>
#include <algorithm>
#include <memory>
#include <utility>

namespace {

// Stores `candle` in `series`, replacing a bar of the same time; a bar newer than all others
// (the usual case for replies and live bars) goes straight to the end.
void storeCandle(QMap<qint64, CandleStick> &series, const CandleStick &candle)
{
    if (series.isEmpty() || (series.cend() - 1).key() < candle.timestamp)
        series.insert(series.cend(), candle.timestamp, candle);
    else
        series.insert(candle.timestamp, candle);
}

// A file at its bound is rewritten with the series, which holds no more than the limit: appends
// then have as many records of room again, and the loader still reads the file whole.
static_assert(2 * qint64(ChartManager::DefaultSeriesLimit) * ChartCache::RecordSize <= ChartCache::MaxFileSize,
              "a cache file at its bound must stay readable");

QString seriesName(const QString &symbol, int period)
{
    return ChartCache::fileName(symbol, period);
}

} // namespace

ChartManager::ChartManager(TradeClient *client, QObject *parent)
    : QObject(parent), tradeClient(client)
{
    // Enough to read a login's cache files side by side; more would only compete for the disk
    // and the allocator.
    workers.setMaxThreadCount(4);
}

ChartManager::~ChartManager()
{
    // A loader stops at its next file; writes already asked for are finished, not dropped.
    ++loadGeneration;
    workers.waitForDone();
}

void ChartManager::requestChartHistory(const QString &symbol, int interval, qint64 from, qint64 to)
{
    if (!tradeClient || symbol.isEmpty() || interval <= 0 || from < 0)
        return;
    tradeClient->sendRequest(TradeMessages::chartHistoryRequest(symbol, interval, from, to));
}

void ChartManager::setAccount(qint64 login, const QString &server)
{
    if (login == account && server == serverName)
        return;
    account = login;
    serverName = server;
    history.clear();
    lastHanded.clear();
    deferredSaves.clear();
    const quint64 generation = ++loadGeneration;
    // Nothing is ever written without an account or under a server name that is not a plain
    // folder name, so there is nothing to load either; nor for an account without a cache yet.
    const QString folder = cacheFolder();
    loading = account != 0 && isSafePathSegment(serverName) && QFileInfo(folder).isDir();
    if (!loading)
        return;
    workers.start([this, generation, folder] { loadChartHistory(generation, folder); });
}

QList<CandleStick> ChartManager::getChartHistory(const QString &symbol, int interval) const
{
    const auto bySymbol = history.constFind(symbol);
    if (bySymbol == history.cend())
        return {};
    const auto series = bySymbol->constFind(interval);
    if (series == bySymbol->cend())
        return {};
    QList<CandleStick> candles;
    candles.reserve(series->size());
    for (const CandleStick &candle : *series)
        candles.append(candle);
    return candles;
}

CandleStick ChartManager::candleFromJson(const QJsonValue &element)
{
    const QJsonObject bar = element.toObject();
    CandleStick candle;
    candle.timestamp = JsonRead::int64(bar.value(QLatin1String("datetime")));
    candle.open = JsonRead::number(bar.value(QLatin1String("open")));
    candle.high = JsonRead::number(bar.value(QLatin1String("high")));
    candle.low = JsonRead::number(bar.value(QLatin1String("low")));
    candle.close = JsonRead::number(bar.value(QLatin1String("close")));
    return candle;
}

void ChartManager::updateChartHistoryFromServer(QJsonObject chart_object)
{
    const QJsonArray array = chart_object.value(QLatin1String("array")).toArray();
    // Read as the trade client matched the reply to its request.
    const TradeMessages::ChartSeries answered = TradeMessages::chartSeriesOf(chart_object);
    const QString &symbol = answered.symbol;
    const int interval = answered.interval;
    if (symbol.isEmpty() || interval <= 0)
        return;
    if (array.isEmpty()) {
        emit emptyHistoryReply(symbol, interval);
        return;
    }

    // Read into a series of its own first, where every bar takes the quick way in at the end;
    // the smaller of the two then goes into the larger, the reply's bars replacing held bars of
    // the same time.
    Series reply = seriesFromBars(array.size(), [&array](qint64 i) {
        return candleFromJson(array.at(int(i)));
    });
    Series &series = history[symbol][interval];
    if (series.size() > reply.size()) {
        for (auto it = reply.cbegin(); it != reply.cend(); ++it)
            series.insert(it.key(), it.value());
    } else {
        for (auto it = series.cbegin(); it != series.cend(); ++it) {
            if (!reply.contains(it.key()))
                reply.insert(it.key(), it.value());
        }
        series.swap(reply);
    }
    trimSeries(symbol, interval, series);

    emit readyChartHistory(symbol, interval);
    saveChartHistory(symbol, interval);
}

void ChartManager::appendCandleStick(QString symbol, int period, qlonglong timestamp, double open,
                                     double high, double low, double close)
{
    Series &series = history[symbol][period];
    if (!series.isEmpty() && (series.cend() - 1).key() > timestamp)
        return;
    const CandleStick candle{timestamp, open, high, low, close};
    const auto handed = lastHanded.constFind(qMakePair(symbol, period));
    if (handed != lastHanded.cend() && handed->timestamp == timestamp && handed->open == open
        && handed->high == high && handed->low == low && handed->close == close)
        return;
    lastHanded.insert(qMakePair(symbol, period), candle);
    storeCandle(series, candle);
    trimSeries(symbol, period, series);

    if (!canWrite(symbol, period))
        return;
    const QString folder = cacheFolder();
    const QString path = folder + QLatin1Char('/') + ChartCache::fileName(symbol, period);
    {
        // Behind a rewrite of the same file still to be done, the record has to wait its turn.
        // Otherwise nobody else writes this file now (queues are only started from this
        // thread), and a 40-byte append is cheaper here than a hop to a worker.
        QMutexLocker lock(&writeMutex);
        const auto queue = writeQueues.find(path);
        if (queue != writeQueues.end()) {
            WriteJob job;
            job.kind = WriteJob::Append;
            job.folder = folder;
            job.candles.append(candle);
            job.maxFileSize = maxFileSize();
            queue->append(std::move(job));
            return;
        }
    }
    if (!QDir().mkpath(folder)
        || ChartCache::appendCandleFile(path, candle, maxFileSize()) != ChartCache::AppendStatus::Full)
        return;
    // Appends alone would let the file grow until the loader refuses it, and the whole cache of
    // the series would be lost; the series holds the newest bars, this one among them.
    const auto key = qMakePair(symbol, period);
    if (!fileFullReported.contains(key)) {
        fileFullReported.insert(key);
        Logger::instance()->log(QStringLiteral("Terminal"),
                                QStringLiteral("Chart cache %1 holds %2 bars, the most a file keeps: rewritten with its newest")
                                    .arg(path, QString::number(maxFileSize() / ChartCache::RecordSize)));
    }
    saveChartHistory(symbol, period, true);
}

void ChartManager::trimSeries(const QString &symbol, int period, Series &series)
{
    if (series.size() <= barLimit)
        return;
    for (int excess = series.size() - barLimit; excess > 0; --excess)
        series.erase(series.begin());
    const auto key = qMakePair(symbol, period);
    if (trimReported.contains(key))
        return;
    trimReported.insert(key);
    Logger::instance()->log(QStringLiteral("Terminal"),
                            QStringLiteral("Chart history %1 holds more than %2 bars: the oldest are dropped")
                                .arg(seriesName(symbol, period), QString::number(barLimit)));
}

qint64 ChartManager::maxFileSize() const
{
    return 2 * qint64(barLimit) * ChartCache::RecordSize;
}

bool ChartManager::canWrite(const QString &symbol, int period) const
{
    return account != 0 && period > 0 && isSafePathSegment(serverName)
        && isSafePathSegment(symbol);
}

QString ChartManager::cacheFolder() const
{
    return ChartCache::folderPath(serverName, account);
}

void ChartManager::loadChartHistory(quint64 generation, const QString &folder)
{
    struct CacheFile
    {
        QString path;
        QString symbol;
        int period = 0;
        qint64 size = 0;
    };
    QVector<CacheFile> files;
    for (const QFileInfo &entry : QDir(folder).entryInfoList()) {
        CacheFile file;
        if (entry.isFile() && ChartCache::parseFileName(entry.fileName(), &file.symbol, &file.period)) {
            file.path = entry.filePath();
            file.size = entry.size();
            files.append(std::move(file));
        }
    }
    // The largest first: read last, a long series would leave the other workers idle meanwhile.
    std::sort(files.begin(), files.end(),
              [](const CacheFile &a, const CacheFile &b) { return a.size > b.size; });

    // Loading ends when the last file is done; this listing counts as one, so that no early file
    // can end it while others are still being handed out.
    auto remaining = std::make_shared<std::atomic<int>>(int(files.size()) + 1);
    const auto done = [this, generation, remaining] {
        if (--*remaining == 0)
            QMetaObject::invokeMethod(this, [this, generation] { finishLoading(generation); },
                                      Qt::QueuedConnection);
    };
    for (const CacheFile &file : files) {
        workers.start([this, generation, file, done] {
            loadSeries(generation, file.path, file.symbol, file.period);
            done();
        });
    }
    done();
}

void ChartManager::loadSeries(quint64 generation, const QString &path, const QString &symbol,
                              int period)
{
    ChartCache::ReadStatus status;
    Series candles = ChartCache::readCandleFile(path, &status, [this, generation] {
        return loadGeneration.load() != generation;
    });
    if (status == ChartCache::ReadStatus::TooLarge) {
        Logger::instance()->log(QStringLiteral("Terminal"),
                                QStringLiteral("Chart cache %1 skipped: larger than %2 MB")
                                    .arg(path, QString::number(ChartCache::MaxFileSize / 1000000)));
    }
    if (candles.isEmpty())
        return;
    // Moved along, so the keeper's thread holds the only reference and can add to the map
    // without copying it.
    QMetaObject::invokeMethod(
        this, [this, generation, symbol, period, candles = std::move(candles)]() mutable {
            storeLoadedSeries(generation, symbol, period, std::move(candles));
        },
        Qt::QueuedConnection);
}

void ChartManager::storeLoadedSeries(quint64 generation, const QString &symbol, int period,
                                     Series candles)
{
    // Loaded for an account that is no longer current.
    if (generation != loadGeneration.load())
        return;
    // Bars that a reply or a live bar brought in meanwhile are newer than the cache: the cache
    // only fills the times that are still missing. The smaller map goes into the larger one.
    Series &series = history[symbol][period];
    if (series.size() > candles.size()) {
        for (auto it = candles.cbegin(); it != candles.cend(); ++it) {
            if (!series.contains(it.key()))
                series.insert(it.key(), it.value());
        }
    } else {
        for (auto it = series.cbegin(); it != series.cend(); ++it)
            candles.insert(it.key(), it.value());
        series.swap(candles);
    }
    trimSeries(symbol, period, series);
    emit readyChartHistory(symbol, period);
}

void ChartManager::finishLoading(quint64 generation)
{
    if (generation != loadGeneration.load())
        return;
    loading = false;
    const auto waiting = std::exchange(deferredSaves, {});
    for (auto it = waiting.cbegin(); it != waiting.cend(); ++it)
        saveChartHistory(it.key().first, it.key().second, it.value());
    emit cacheLoaded();
}

void ChartManager::saveChartHistory(const QString &symbol, int interval, bool withNewest)
{
    if (!canWrite(symbol, interval))
        return;
    if (loading) {
        bool &deferred = deferredSaves[qMakePair(symbol, interval)];
        deferred = deferred || withNewest;
        return;
    }
    // The newest bar may still be forming; it reaches the file through appendCandleStick once
    // it is finished.
    QVector<CandleStick> candles;
    const auto bySymbol = history.constFind(symbol);
    if (bySymbol != history.cend()) {
        const auto series = bySymbol->constFind(interval);
        const int kept = series == bySymbol->cend() ? 0 : series->size() - (withNewest ? 0 : 1);
        if (kept > 0) {
            candles.reserve(kept);
            auto it = series->cbegin();
            for (int i = 0; i < kept; ++i, ++it)
                candles.append(it.value());
        }
    }
    WriteJob job;
    job.kind = WriteJob::Rewrite;
    job.folder = cacheFolder();
    job.candles = std::move(candles);
    const QString path = job.folder + QLatin1Char('/') + ChartCache::fileName(symbol, interval);
    enqueueWrite(path, std::move(job));
}

void ChartManager::enqueueWrite(const QString &path, WriteJob job)
{
    QMutexLocker lock(&writeMutex);
    const bool idle = !writeQueues.contains(path);
    QList<WriteJob> &queue = writeQueues[path];
    // A rewrite with bars replaces the whole file, so what waits before it would be overwritten
    // anyway; an empty one leaves the file as it is and must not drop anything.
    if (job.kind == WriteJob::Rewrite && !job.candles.isEmpty())
        queue.clear();
    queue.append(std::move(job));
    if (idle)
        workers.start([this, path] { drainWrites(path); });
}

void ChartManager::drainWrites(const QString &path)
{
    for (;;) {
        WriteJob job;
        {
            QMutexLocker lock(&writeMutex);
            const auto queue = writeQueues.find(path);
            if (queue->isEmpty()) {
                writeQueues.erase(queue);
                return;
            }
            job = queue->takeFirst();
        }
        if (!QDir().mkpath(job.folder))
            continue;
        if (job.kind == WriteJob::Rewrite)
            ChartCache::writeCandleFile(path, job.candles);
        else
            ChartCache::appendCandleFile(path, job.candles.constFirst(), job.maxFileSize);
    }
}

#include "moc_chartmanager.cpp"
