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
// A server is not a reason to hold memory or disk without end, not even in replies the terminal
// asked for. A series keeps at most the series limit of bars (100,000 unless a test sets
// another), the newest: a chart asks for 2,000 bars, and from its newest cached bar after that,
// so a real broker's replies stay far below the limit, which is some ten weeks of one-minute
// bars and decades of any longer timeframe; a server answering each request with a million old
// bars, or a clock that leaps forward and makes every tick finish a bar, stops at it. Past it
// the oldest bars go, whether a reply, the cache or a live bar brought the newer ones. A cache
// file holds at most twice the limit in records (8 MB): an append past that is refused, and the
// file is rewritten with the series as held (the limit at most), so a file appends make grow
// never reaches the size past which the loader refuses it (chartcache.h) and the cache is not
// lost. A cache file an earlier run or another program left larger is still read whole, within
// the loader's own bound, before its oldest bars go. The journal says once a run for each
// series that it lost bars to the limit, and once that its file was rewritten for its size. A
// chart window keeps no more bars than the keeper (symbolchartwidget.h).
//
// What the keeper holds that grows with what a trade server sends, with the worst a hostile
// server reaches. Series exist only for a (symbol, interval) the terminal asked for or a chart
// window shows (the trade client hands the keeper only the answer to a request the terminal
// sent), and for the files an earlier run wrote. A session with the default charts open shows
// four symbols at H1 (client_terminal_charts.cpp): 4 series, 4 files. Figures per bar: about 80
// bytes in a series (a map node; bench_chartmanager's bytes_per_bar), 40 bytes on disk.
//
//   store             | bounded by                                 | worst, hostile server
//   ------------------|--------------------------------------------|-------------------------------
//   series            | count: one per asked or shown (symbol,     | charts and timeframes the
//                     | interval); replacement: one bar a time     | trader opened; 4 by default
//   bars per series   | count: series limit, newest kept           | 100,000 bars, about 8 MB;
//                     |                                            | a merge of a 64 MiB reply
//                     |                                            | holds about 160 MB more for a
//                     |                                            | moment; default: about 32 MB
//   cache files       | count: one per series written              | as series; 4 by default
//   cache file bytes  | bytes: twice the series limit in records   | 8 MB a file (4 MB more for a
//                     | (refused append, then rewrite)             | moment while it is rewritten);
//                     |                                            | default: 32 MB in 4 files
//   live bars         | count: they are bars of their series; one  | no more than the series and
//                     | last handed bar per series                 | files above
//   write queues      | replacement: a rewrite drops what waits    | one running and one waiting
//                     | before it; time: appends wait only behind  | copy of a series a file, 8
//                     | a rewrite of their file                    | MB; 32 MB by default
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

    // The most bars a series keeps (see above); read at every merge and live bar. A chart
    // window keeps no more.
    static constexpr int DefaultSeriesLimit = 100000;
    void setSeriesLimit(int bars) { barLimit = qMax(1, bars); }
    int seriesLimit() const { return barLimit; }

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
        qint64 maxFileSize = 0; // an append that would pass it is dropped
    };

    bool canWrite(const QString &symbol, int period) const;
    QString cacheFolder() const;

    void loadChartHistory(quint64 generation, const QString &folder);
    void loadSeries(quint64 generation, const QString &path, const QString &symbol, int period);
    void storeLoadedSeries(quint64 generation, const QString &symbol, int period, Series candles);
    void finishLoading(quint64 generation);

    // Drops the oldest bars of a series past the limit.
    void trimSeries(const QString &symbol, int period, Series &series);
    qint64 maxFileSize() const;

    // `withNewest`: the newest bar is finished too (an append was refused for the file's size).
    void saveChartHistory(const QString &symbol, int interval, bool withNewest = false);
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
    // Whether the newest bar goes with it (saveChartHistory's `withNewest`).
    QHash<QPair<QString, int>, bool> deferredSaves;

    int barLimit = DefaultSeriesLimit;
    // Series the journal has heard of this run: trimmed to the limit, file rewritten for its size.
    QSet<QPair<QString, int>> trimReported;
    QSet<QPair<QString, int>> fileFullReported;

    QMutex writeMutex;
    // By file path: the writes of that file still to be done, in the order they were asked for.
    // A path is listed while a worker is on it. Guarded by writeMutex.
    QHash<QString, QList<WriteJob>> writeQueues;
    QThreadPool workers;
};
