#include "chartcache.h"
#include "chartwithbars.h"
#include "logger.h"
#include "testmain.h" // <QtTest>, and with it all of QtCore

using corvane_test::historyReply;

// Bars shaped so that a torn or shifted record can never pass for one.
static QList<CandleStick> bars(qint64 first, qint64 last, double base = 1.0)
{
    QList<CandleStick> candles;
    for (qint64 t = first; t <= last; t += 60)
        candles.append({t, base, base + 0.5, base - 0.5, base + 0.25});
    return candles;
}

// Records as a default QDataStream writes them: the reference the cache format must match. Bars
// in memory are compared in this form too.
static QByteArray streamed(const QList<CandleStick> &candles)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    for (const CandleStick &c : candles)
        out << qint64(c.timestamp) << c.open << c.high << c.low << c.close;
    return bytes;
}

static QString cachePath(qint64 account, const QString &symbol)
{
    return QStringLiteral("config/Srv/%1/ChartHistory/%2_60").arg(QString::number(account), symbol);
}

static void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

static QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("no file");
}

// The cache files this process holds open.
static QStringList openCacheFiles()
{
    QStringList open;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files))
        if (fd.symLinkTarget().contains(QLatin1String("/ChartHistory/")))
            open << QFileInfo(fd.symLinkTarget()).fileName();
    return open;
}

class TestChartManager : public QObject
{
    Q_OBJECT

    // Lets the loader finish and every cache write asked for so far reach the disk.
    static void settle(ChartManager &keeper)
    {
        QTRY_VERIFY(!keeper.isLoading());
        keeper.waitForWorkers();
    }

private slots:
    void cleanup() { QDir(QStringLiteral("config")).removeRecursively(); }

    void cacheFilesAndAccountSwitch()
    {
        const QByteArray two = streamed(bars(60, 120, 2)), later = streamed(bars(60, 60, 9));
        writeFile(cachePath(7, "EURUSD"), two + later + two.left(12));
        auto keeper = std::make_unique<ChartManager>(nullptr);
        keeper->setAccount(7, "Srv");
        settle(*keeper);
        // The later record of one time wins. A record left short is ignored, and cut off before the
        // next one is added, or it would shift every later one.
        QCOMPARE(streamed(keeper->getChartHistory("EURUSD", 60)), later + two.mid(40));
        keeper->appendCandleStick("EURUSD", 60, 900, 5, 5.5, 4.5, 5.25);
        keeper->appendCandleStick("EURUSD", 60, 840, 6, 6.5, 5.5, 6.25); // older than the newest: ignored
        const QByteArray file7 = two + later + streamed(bars(900, 900, 5));
        QCOMPARE(fileBytes(cachePath(7, "EURUSD")), file7);

        // Another account empties the history at once, and a loader of the old one, slow enough
        // to deliver after the switch, changes nothing.
        keeper->setAccount(8, "Srv");
        QVERIFY(keeper->getChartHistory("EURUSD", 60).isEmpty());
        keeper->setAccount(7, "Srv");
        keeper->waitForWorkers(); // the old series read and on their way
        keeper->setAccount(8, "Srv");
        QCoreApplication::processEvents();
        QVERIFY(keeper->getChartHistory("EURUSD", 60).isEmpty());

        // Rewrites land in the order they were asked for, each in the account current then, and
        // all of them before the keeper is gone (here while it loads).
        for (int i = 1; i <= 30; ++i) {
            keeper->updateChartHistoryFromServer(historyReply("EURUSD", 60, bars(60, i * 6000, i)));
            keeper->appendCandleStick("EURUSD", 60, i * 6000 + 60, i, i + 0.5, i - 0.5, i + 0.25);
        }
        keeper->setAccount(7, "Srv");
        keeper.reset();
        // The last rewrite left out its newest bar, and the last live bar was appended after it.
        QCOMPARE(fileBytes(cachePath(8, "EURUSD")), streamed(bars(60, 179940, 30) + bars(180060, 180060, 30)));
        QCOMPARE(fileBytes(cachePath(7, "EURUSD")), file7);
    }

    void readCacheFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("sparseSize"); // a file of this size holding nothing, when above 0
        QTest::addColumn<int>("stopFrom");      // the first question answered with a stop; 0: none
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("bars");
        QTest::addColumn<int>("questions");     // -1: any number
        const QByteArray two = streamed(bars(120, 180)), early = streamed(bars(60, 60, 3)), again = streamed(bars(120, 120, 4));
        const int read = int(ChartCache::ReadStatus::Read), stopped = int(ChartCache::ReadStatus::Stopped);
        QTest::newRow("out of order, a time again, a cut tail") << two + early + again + two.left(30) << qint64(0) << 0 << read << early + again + two.mid(40) << -1;
        QTest::newRow("larger than 400 MB: not read at all") << QByteArray() << ChartCache::MaxFileSize + 1 << 0 << int(ChartCache::ReadStatus::TooLarge) << QByteArray() << 0;
        QTest::newRow("400 MB, stopped: nothing read after the stop") << QByteArray() << ChartCache::MaxFileSize << 1 << stopped << QByteArray() << 1;
        QTest::newRow("stopped part-way") << QByteArray() << qint64(2000000) * 40 << 4 << stopped << QByteArray() << -1;
    }
    void readCacheFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, sparseSize);
        QFETCH(int, stopFrom);
        QFETCH(QByteArray, bars);
        QFETCH(int, questions);
        const QString path = cachePath(7, "EURUSD");
        if (!content.isEmpty())
            writeFile(path, content);
        if (sparseSize > 0) {
            writeFile(path, {});
            QVERIFY(QFile::resize(path, sparseSize));
        }
        int asked = 0;
        ChartCache::ReadStatus status;
        const auto candles = ChartCache::readCandleFile(path, &status, [&] { return ++asked == stopFrom || (stopFrom > 0 && asked > stopFrom); });
        QTEST(int(status), "status");
        QCOMPARE(streamed(candles.values()), bars);
        if (questions >= 0)
            QCOMPARE(asked, questions);
    }

    // A stop ends the building of a series at once, not after its last bar.
    void buildingStopsEarly()
    {
        qint64 read = 0;
        const auto series = seriesFromBars(1000000, [&](qint64 i) { ++read; return CandleStick{i, 1, 1, 1, 1}; }, [] { return true; });
        QVERIFY(series.isEmpty());
        QVERIFY2(read < 500000, qPrintable(QString::number(read)));
    }

    // A huge file in the cache (a sparse 200 GB one here) is skipped with a journal line, and the
    // rest of the cache loads as usual. A keeper destroyed while it loads leaves nothing of its
    // loading running.
    void hugeCacheFileSkipped()
    {
        writeFile(cachePath(7, "EURUSD"), streamed(bars(60, 600)));
        writeFile(cachePath(7, "HUGE"), {});
        QVERIFY(QFile::resize(cachePath(7, "HUGE"), qint64(200) << 30));
        QSignalSpy journal(Logger::instance(), &Logger::logMessage);
        ChartManager keeper(nullptr);
        keeper.setAccount(7, "Srv");
        settle(keeper);
        QCOMPARE(streamed(keeper.getChartHistory("EURUSD", 60)), streamed(bars(60, 600)));
        QVERIFY(keeper.getChartHistory("HUGE", 60).isEmpty());
        QTRY_COMPARE(journal.count(), 1);
        QCOMPARE(journal.at(0).at(1).toString(), QStringLiteral("Terminal"));
        QCOMPARE(journal.at(0).at(2).toString(), QStringLiteral("Chart cache config/Srv/7/ChartHistory/HUGE_60 skipped: larger than 400 MB"));
        // Destroyed while it loads (a long file among the rest), a keeper's loading is over when
        // it is gone: it has reached the huge file, and holds no cache file open.
        writeFile(cachePath(7, "LONG"), {});
        QVERIFY(QFile::resize(cachePath(7, "LONG"), qint64(2000000) * 40));
        auto destroyed = std::make_unique<ChartManager>(nullptr);
        destroyed->setAccount(7, "Srv");
        QVERIFY(destroyed->isLoading());
        destroyed.reset();
        QCOMPARE(journal.count(), 2);
        QCOMPARE(openCacheFiles(), QStringList());
    }

    void replyMergesWithCache_data()
    {
        QTest::addColumn<qint64>("cachedUntil");
        QTest::addColumn<bool>("duringLoad");
        QTest::newRow("during the load, cache smaller than the reply") << qint64(6000) << true;
        QTest::newRow("during the load, cache larger than the reply") << qint64(60000) << true;
        QTest::newRow("after the load") << qint64(60000) << false;
    }
    void replyMergesWithCache()
    {
        QFETCH(qint64, cachedUntil);
        QFETCH(bool, duringLoad);
        // Only "<symbol>_<period>" names a series.
        for (const char *name : {"EURUSD_60", "EURUSD", "EURUSD_60_old"})
            writeFile(QStringLiteral("config/Srv/7/ChartHistory/") + name, streamed(bars(60, cachedUntil)));
        ChartManager keeper(nullptr);
        QSignalSpy ready(&keeper, &ChartManager::readyChartHistory);
        QSet<QThread *> announcedIn; // the keeper's own thread only: the history map lives there
        connect(&keeper, &ChartManager::readyChartHistory, [&] { announcedIn.insert(QThread::currentThread()); });
        keeper.setAccount(7, "Srv");
        if (!duringLoad) // the reply merges into what was loaded
            settle(keeper);
        keeper.updateChartHistoryFromServer(historyReply("EURUSD", 60, bars(3000, 9000, 2)));
        settle(keeper);
        QCOMPARE(ready.count(), 2);
        QCOMPARE(announcedIn, QSet<QThread *>{QThread::currentThread()});
        // Bars of a time the reply holds are replaced, the others kept; the file holds all but the
        // newest, which may still be forming.
        const auto expected = bars(60, 2940) + bars(3000, 9000, 2) + bars(9060, cachedUntil);
        QCOMPARE(streamed(keeper.getChartHistory("EURUSD", 60)), streamed(expected));
        QCOMPARE(fileBytes(cachePath(7, "EURUSD")), streamed(expected.mid(0, expected.size() - 1)));
    }

    void unsafeNamesWriteNothing_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("symbol leaves the folder") << "Srv" << "../x" << QStringList();
        QTest::newRow("symbol with a slash") << "Srv" << "EUR/USD" << QStringList();
        QTest::newRow("server leaves the folder") << "../x" << "EURUSD" << QStringList();
        QTest::newRow("percent signs") << "Srv%1" << "EUR%1%2" << QStringList{"./config/Srv%1/7/ChartHistory/EUR%1%2_60"};
    }
    void unsafeNamesWriteNothing()
    {
        QFETCH(QString, server);
        QFETCH(QString, symbol);
        ChartManager keeper(nullptr);
        keeper.setAccount(7, server);
        keeper.updateChartHistoryFromServer(historyReply(symbol, 60, bars(60, 600)));
        keeper.appendCandleStick(symbol, 60, 660, 1, 1.5, 0.5, 1.25);
        settle(keeper);
        QStringList files;
        for (QDirIterator it(".", QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            if (!it.next().startsWith("./Logs/")) // the journal of another test
                files.append(it.filePath());
        }
        QTEST(files, "files");
    }

    // A series keeps the newest bars up to its limit (5 here), wherever they came from; its file
    // is rewritten with them once appends would take it past twice the limit (10 records).
    // Ranges are "first-last" bar times a minute apart: cached bars priced 3, replies 1, live 2.
    void seriesLimit_data()
    {
        QTest::addColumn<QString>("cached");
        QTest::addColumn<QString>("replies");
        QTest::addColumn<QString>("live");
        QTest::addColumn<QByteArray>("series");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("journal");
        const QString trimmed = "Chart history EURUSD_60 holds more than 5 bars: the oldest are dropped";
        QTest::newRow("a reply past the limit") << "" << "60-480" << "" << streamed(bars(240, 480)) << streamed(bars(240, 420)) << QStringList{trimmed};
        QTest::newRow("a reply of older bars changes nothing, said once") << "" << "60-480 0-180" << "" << streamed(bars(240, 480)) << streamed(bars(240, 420)) << QStringList{trimmed};
        QTest::newRow("live bars; the file rewritten at its bound")
            << "" << "60-180" << "240-780" << streamed(bars(540, 780, 2)) << streamed(bars(480, 780, 2))
            << QStringList{trimmed, "Chart cache config/Srv/7/ChartHistory/EURUSD_60 holds 10 bars, the most a file keeps: rewritten with its newest"};
        QTest::newRow("a cache past the limit") << "60-480" << "" << "" << streamed(bars(240, 480, 3)) << streamed(bars(60, 480, 3)) << QStringList{trimmed};
    }
    void seriesLimit()
    {
        QFETCH(QString, cached);
        QFETCH(QString, replies);
        QFETCH(QString, live);
        const auto range = [](const QString &text, double base) {
            const QStringList ends = text.split('-');
            return bars(ends.at(0).toLongLong(), ends.at(1).toLongLong(), base);
        };
        if (!cached.isEmpty())
            writeFile(cachePath(7, "EURUSD"), streamed(range(cached, 3)));
        QSignalSpy journal(Logger::instance(), &Logger::logMessage);
        ChartManager keeper(nullptr);
        keeper.setSeriesLimit(5);
        keeper.setAccount(7, "Srv");
        settle(keeper);
        for (const QString &reply : replies.split(' ', Qt::SkipEmptyParts))
            keeper.updateChartHistoryFromServer(historyReply("EURUSD", 60, range(reply, 1)));
        settle(keeper);
        if (!live.isEmpty())
            for (const CandleStick &c : range(live, 2))
                keeper.appendCandleStick("EURUSD", 60, c.timestamp, c.open, c.high, c.low, c.close);
        settle(keeper);
        QTEST(streamed(keeper.getChartHistory("EURUSD", 60)), "series");
        QTEST(fileBytes(cachePath(7, "EURUSD")), "file");
        Logger::instance()->log("Marker", "end");
        QTRY_VERIFY(!journal.isEmpty() && journal.constLast().at(1) == "Marker");
        QStringList lines;
        for (const QList<QVariant> &line : journal)
            if (line.at(1) == "Terminal")
                lines << line.at(2).toString();
        QTEST(lines, "journal");
    }

    // Loader, rewrites, appends, replies and account switches at once: every file stays whole,
    // well-formed records, and none of the cached bars is lost.
    void stress()
    {
        for (const QString &path : {cachePath(1, "A"), cachePath(2, "A")})
            writeFile(path, streamed(bars(0, 4199 * 60))); // more than one block of reads and writes
        QRandomGenerator random(4);
        auto keeper = std::make_unique<ChartManager>(nullptr);
        keeper->setAccount(1, "Srv");
        for (int step = 0; step < 2000; ++step) {
            QCoreApplication::processEvents();
            // Present series are never empty; an absent one (loading) goes on from the cache's end.
            const QList<CandleStick> held = keeper->getChartHistory("A", 60);
            const qint64 newest = held.isEmpty() ? 4200 * 60 : held.last().timestamp;
            const int kind = random.bounded(100); // and the price of the bars
            if (kind < 45)
                keeper->updateChartHistoryFromServer(historyReply("A", 60, bars(newest - 60 * random.bounded(30), newest + 60 * random.bounded(30), kind)));
            else if (kind < 90)
                keeper->appendCandleStick("A", 60, newest + 60 * random.bounded(2), kind, kind + 0.5, kind - 0.5, kind + 0.25);
            else
                keeper->setAccount(random.bounded(1, 3), "Srv");
        }
        QTRY_VERIFY(!keeper->isLoading());
        keeper.reset();
        for (const QString &path : {cachePath(1, "A"), cachePath(2, "A")}) {
            const auto candles = ChartCache::readCandleFile(path).values();
            QVERIFY2(QFileInfo(path).size() % 40 == 0 && candles.size() >= 4199, qPrintable(path));
            for (const CandleStick &c : candles)
                QVERIFY(c.timestamp % 60 == 0 && c.high == c.open + 0.5 && c.low == c.open - 0.5 && c.close == c.open + 0.25);
        }
    }
};

CORVANE_TEST_MAIN(TestChartManager)
#include "tst_chartmanager.moc"
