#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QVector>
#include <atomic>
#include <functional>

class QJsonValue;
class TradeClient;

// One chart bar. `timestamp` is the bar's open time in epoch seconds and its key in a series.
struct CandleStick
{
    qint64 timestamp = 0;
    double open = 0.0;
    double high = 0.0;
    double low = 0.0;
    double close = 0.0;
};
Q_DECLARE_TYPEINFO(CandleStick, Q_PRIMITIVE_TYPE);

// symbol -> period in minutes -> bar time -> bar. A series (the innermost map) is ordered oldest
// first; its last entry is the newest, still forming bar.
using ChartHistory = QMap<QString, QMap<int, QMap<qint64, CandleStick>>>;

// A series from `count` bars that mostly come oldest first, `barAt(i)` giving the i-th; of equal
// times the later bar wins. `stopped`, when given, is asked now and then; once it says yes the
// result is empty.
template <typename BarAt>
QMap<qint64, CandleStick> seriesFromBars(qint64 count, BarAt barAt,
                                         const std::function<bool()> &stopped = {})
{
    QMap<qint64, CandleStick> series;
    qint64 newest = 0;
    constexpr qint64 checkEvery = 1 << 18;
    for (qint64 i = 0; i < count; ++i) {
        if (stopped && i % checkEvery == checkEvery - 1 && stopped())
            return {};
        const CandleStick bar = barAt(i);
        // A bar newer than all others goes straight to the end, with no search for its place.
        if (series.isEmpty() || bar.timestamp > newest) {
            series.insert(series.cend(), bar.timestamp, bar);
            newest = bar.timestamp;
        } else {
            series.insert(bar.timestamp, bar);
        }
    }
    return series;
}

// Keeps the bars of every symbol and timeframe seen for the logged-in account: asks the trade
// server for history, merges the replies, takes the finished live bars of the chart windows and
// keeps a cache file per series on disk (see chartcache.h), loaded again at the next login.
// A symbol or server name that is not one plain file name (isSafePathSegment) is kept in memory
// only.
//
// Threads: the history map and the account live in the keeper's own (GUI) thread and are touched
// only there. The workers never see them: the cache loader hands each series it read back to the
// keeper's thread through a queued call, and the cache writers get copies and their file path.
// The keeper owns its workers and waits for them when it is destroyed.
class ChartManager : public QObject
{
    Q_OBJECT
public:
    explicit ChartManager(TradeClient *client, QObject *parent = nullptr);
    ~ChartManager() override;

    // Sends one chart-history request; nothing without a client, with an empty symbol, an
    // interval not above 0 or a negative `from`. `to` -1 means up to now.
    void requestChartHistory(const QString &symbol, int interval, qint64 from, qint64 to);

    // A new account or server empties the history at once and loads that account's cache in the
    // background (one readyChartHistory per cached series). The same account again changes
    // nothing.
    void setAccount(qint64 login, const QString &server);

    // The current account's cache is still being read.
    bool isLoading() const { return loading; }
    // Blocks until the work handed to the workers so far is done: what the loader read is queued
    // for this thread, every cache write asked for is on disk.
    void waitForWorkers() { workers.waitForDone(); }

    // The bars of one series, oldest first; empty when none are held.
    QList<CandleStick> getChartHistory(const QString &symbol, int interval) const;

    // One element of a chart-history reply's "array" as a bar.
    static CandleStick candleFromJson(const QJsonValue &element);

signals:
    // The series has new content.
    void readyChartHistory(QString symbol, int period);
    // A reply for the series brought no bar: the answer a chart may wait for is in, and nothing
    // of the series changed, so no chart has a bar to give up for it.
    void emptyHistoryReply(QString symbol, int period);
    // The current account's cache has been read: every cached series has been announced.
    void cacheLoaded();

public slots:
    // Merges one chart-history reply into its series and rewrites the series' cache file.
    void updateChartHistoryFromServer(QJsonObject chart_object);
    // Stores one finished live bar (a bar older than the series' newest is ignored) and appends
    // it to the series' cache file. Every chart of a series hands in the same finished bar: the
    // bar handed in last, handed again, is already stored and written.
    void appendCandleStick(QString symbol, int period, qlonglong timestamp, double open,
                           double high, double low, double close);

private:
    using Series = QMap<qint64, CandleStick>;

    struct WriteJob
    {
        enum Kind { Rewrite, Append };
        Kind kind = Rewrite;
        QString folder;
        QVector<CandleStick> candles;
    };

    bool canWrite(const QString &symbol, int period) const;
    QString cacheFolder() const;

    void loadChartHistory(quint64 generation, const QString &folder);
    void loadSeries(quint64 generation, const QString &path, const QString &symbol, int period);
    void storeLoadedSeries(quint64 generation, const QString &symbol, int period, Series candles);
    void finishLoading(quint64 generation);

    void saveChartHistory(const QString &symbol, int interval);
    void enqueueWrite(const QString &path, WriteJob job);
    void drainWrites(const QString &path);

    qint64 account = 0;
    QString serverName;
    TradeClient *tradeClient = nullptr;
    ChartHistory history;

    // Bumped by every effective setAccount and by the destructor: a loader started for an older
    // value stops, and what it already read is dropped.
    std::atomic<quint64> loadGeneration{0};
    // The current account's cache is being read.
    bool loading = false;
    // By series: the finished bar handed in last, stored and written already.
    QHash<QPair<QString, int>, CandleStick> lastHanded;
    // Series whose rewrite waits for the running load: written earlier, the file would lose the
    // cached bars not yet read.
    QSet<QPair<QString, int>> deferredSaves;

    QMutex writeMutex;
    // By file path: the writes of that file still to be done, in the order they were asked for.
    // A path is listed while a worker is on it. Guarded by writeMutex.
    QHash<QString, QList<WriteJob>> writeQueues;
    QThreadPool workers;
};
