#include "chartcache.h"
#include "pathsafety.h"
#include "testmain.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <cstring>

Q_DECLARE_METATYPE(CandleStick)

static bool operator==(const CandleStick &a, const CandleStick &b)
{
    return a.timestamp == b.timestamp && a.open == b.open && a.high == b.high && a.low == b.low
        && a.close == b.close;
}

char *toString(const CandleStick &c)
{
    return QTest::toString(QStringLiteral("{%1 %2 %3 %4 %5}")
                               .arg(c.timestamp).arg(c.open).arg(c.high).arg(c.low).arg(c.close));
}

namespace {

// Records as a default QDataStream writes them: the reference the cache format must match.
QByteArray streamRecords(const QList<CandleStick> &candles)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    for (const CandleStick &c : candles)
        out << qint64(c.timestamp) << c.open << c.high << c.low << c.close;
    return bytes;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Hands out at most 7 bytes per read, as a pipe or a slow disk may: records then arrive split.
class TrickleDevice : public QIODevice
{
public:
    explicit TrickleDevice(const QByteArray &bytes) : bytes(bytes) { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(qMin<qint64>(maxSize, 7), bytes.size() - offset);
        std::memcpy(data, bytes.constData() + offset, size_t(n));
        offset += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray bytes;
    qint64 offset = 0;
};

const CandleStick bar256{256, 1.1, 1.2, 1.0, 1.15};
const CandleStick bar300{300, 2.1, 2.2, 2.0, 2.15};

} // namespace

class TestChartCache : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { QDir(QStringLiteral("cache")).removeRecursively(); }
    void init() { QVERIFY(QDir().mkpath(QStringLiteral("cache"))); }

    void recordBytes()
    {
        const QString path = QStringLiteral("cache/EURUSD_60");
        QVERIFY(ChartCache::writeCandleFile(path, {bar256}));
        const QByteArray bytes = fileBytes(path);
        QCOMPARE(bytes.size(), 40);
        QCOMPARE(bytes.left(16).toHex(), QByteArray("00000000000001003ff199999999999a"));
        QCOMPARE(bytes, streamRecords({bar256}));

        QFile::remove(path);
        QVERIFY(ChartCache::appendCandleFile(path, bar256));
        QCOMPARE(fileBytes(path), streamRecords({bar256}));
    }

    void readBack_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<CandleStick>>("expected");

        const CandleStick later256{256, 9.0, 9.5, 8.5, 9.25};
        QTest::newRow("empty") << QByteArray() << QList<CandleStick>{};
        QTest::newRow("one record") << streamRecords({bar256}) << QList<CandleStick>{bar256};
        QTest::newRow("later record of one time wins")
            << streamRecords({bar256, bar300, later256}) << QList<CandleStick>{later256, bar300};
        QTest::newRow("out of order") << streamRecords({bar300, bar256})
                                      << QList<CandleStick>{bar256, bar300};
        QTest::newRow("52 bytes: one record and a cut one")
            << streamRecords({bar256, bar300}).left(52) << QList<CandleStick>{bar256};
        QTest::newRow("less than one record") << streamRecords({bar256}).left(39)
                                              << QList<CandleStick>{};
        QTest::newRow("negative time and special prices")
            << streamRecords({{-5, -0.0, 1e308, 4.9e-324, -1.5}})
            << QList<CandleStick>{{-5, -0.0, 1e308, 4.9e-324, -1.5}};
    }
    void readBack()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<CandleStick>, expected);
        const QString path = QStringLiteral("cache/EURUSD_60");
        writeBytes(path, content);
        QCOMPARE(ChartCache::readCandleFile(path).values(), expected);

        // The same through a device fed in odd-sized pieces, as a pipe or a slow disk would.
        TrickleDevice device(content);
        QCOMPARE(ChartCache::readCandles(device).values(), expected);
    }

    void readsMoreThanOneBlock()
    {
        QList<CandleStick> candles;
        for (int i = 0; i < 10000; ++i)
            candles.append({qint64(i) * 60, i + 0.5, i + 1.0, double(i), i + 0.25});
        const QString path = QStringLiteral("cache/EURUSD_1");
        writeBytes(path, streamRecords(candles));
        QCOMPARE(ChartCache::readCandleFile(path).values(), candles);
        QVERIFY(ChartCache::writeCandleFile(path, candles.toVector()));
        QCOMPARE(fileBytes(path), streamRecords(candles));
    }

    void missingFileReadsEmpty()
    {
        QVERIFY(ChartCache::readCandleFile(QStringLiteral("cache/none_60")).isEmpty());
    }

    void appendAfterCutRecord()
    {
        const QString path = QStringLiteral("cache/EURUSD_60");
        writeBytes(path, streamRecords({bar256, bar256}).left(52));
        QVERIFY(ChartCache::appendCandleFile(path, bar300));
        QCOMPARE(QFileInfo(path).size(), qint64(80));
        QCOMPARE(ChartCache::readCandleFile(path).values(), (QList<CandleStick>{bar256, bar300}));
    }

    void rewrite()
    {
        const QString path = QStringLiteral("cache/EURUSD_60");
        writeBytes(path, streamRecords({bar256, bar300, bar256}));
        QVERIFY(ChartCache::writeCandleFile(path, {bar300}));
        QCOMPARE(fileBytes(path), streamRecords({bar300}));

        // An empty list leaves the file alone rather than emptying it.
        QVERIFY(ChartCache::writeCandleFile(path, {}));
        QCOMPARE(fileBytes(path), streamRecords({bar300}));
        QVERIFY(ChartCache::writeCandleFile(QStringLiteral("cache/none_60"), {}));
        QVERIFY(!QFile::exists(QStringLiteral("cache/none_60")));

        // Nothing but the file itself is left behind.
        QCOMPARE(QDir(QStringLiteral("cache")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("EURUSD_60")});
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<int>("period");
        QTest::newRow("series") << "EURUSD_60" << true << "EURUSD" << 60;
        QTest::newRow("monthly") << "XAUUSD_40000" << true << "XAUUSD" << 40000;
        QTest::newRow("no period") << "EURUSD" << false << "" << 0;
        QTest::newRow("extra part") << "EURUSD_60_old" << false << "" << 0;
        QTest::newRow("symbol with underscore") << "EUR_USD_60" << false << "" << 0;
        QTest::newRow("period not a number") << "EURUSD_H1" << true << "EURUSD" << 0;
        QTest::newRow("signed period") << "EURUSD_-5" << true << "EURUSD" << -5;
        QTest::newRow("no symbol") << "_60" << false << "" << 0;
        QTest::newRow("percent sign") << "EUR%1_60" << true << "EUR%1" << 60;
    }
    void fileNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, taken);
        QString symbol;
        int period = 0;
        QCOMPARE(ChartCache::parseFileName(name, &symbol, &period), taken);
        if (taken) {
            QTEST(symbol, "symbol");
            QTEST(period, "period");
            if (period > 0)
                QCOMPARE(ChartCache::fileName(symbol, period), name);
        }
    }

    void folderPaths()
    {
        QCOMPARE(ChartCache::folderPath(QStringLiteral("Demo Server"), 1001),
                 QStringLiteral("config/Demo Server/1001/ChartHistory"));
        QCOMPARE(ChartCache::folderPath(QStringLiteral("Srv%1%2"), 3000000001),
                 QStringLiteral("config/Srv%1%2/3000000001/ChartHistory"));
    }

    void safePathSegments_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::newRow("symbol") << "EURUSD" << true;
        QTest::newRow("suffixed symbol") << "EURUSD.m" << true;
        QTest::newRow("server with spaces") << "Demo Server 2" << true;
        QTest::newRow("non-latin") << QStringLiteral("Сервер") << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot dot") << ".." << false;
        QTest::newRow("parent path") << "../x" << false;
        QTest::newRow("slash") << "EUR/USD" << false;
        QTest::newRow("backslash") << "EUR\\USD" << false;
        QTest::newRow("drive") << "C:" << false;
        QTest::newRow("wildcard") << "EUR*" << false;
        QTest::newRow("control character") << QStringLiteral("EUR\nUSD") << false;
        QTest::newRow("nul") << QString(QChar(0)) << false;
        QTest::newRow("trailing dot") << "EURUSD." << false;
        QTest::newRow("trailing space") << "EURUSD " << false;
        QTest::newRow("device") << "CON" << false;
        QTest::newRow("device with extension") << "nul.txt" << false;
        QTest::newRow("numbered device") << "com1" << false;
        QTest::newRow("device-like word") << "CONSOLE" << true;
        QTest::newRow("longest") << QString(255, QLatin1Char('a')) << true;
        QTest::newRow("too long") << QString(256, QLatin1Char('a')) << false;
        QTest::newRow("lone surrogate") << QString(QChar(0xd800)) << false;
    }
    void safePathSegments()
    {
        QFETCH(QString, name);
        QTEST(isSafePathSegment(name), "safe");
    }
};

CORVANE_TEST_MAIN(TestChartCache)
#include "tst_chartcache.moc"
