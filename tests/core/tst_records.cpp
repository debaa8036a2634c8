#include "marketrecords.h"
#include "positionrecords.h"
#include "symboldatastorage.h"
#include "testmain.h"

#include <QJsonDocument>
#include <QVariantMap>

// Every key of every record is read through one of a few rules; these tables run each key
// through the same awkward values as the wire can carry them (JSON text, parsed here).
class TestRecords : public QObject
{
    Q_OBJECT

    enum Rule { Text, Number, Int32, Int64, Digits, Lots };

    // JSON literals, the same list for every rule; a null string leaves the key out.
    static QStringList literals()
    {
        return { "5.0", "5.5", "\"5\"", "2147483648", "2.6", "\"123\"", "true", QString() };
    }

    static QVariantList expectedFor(Rule rule)
    {
        switch (rule) {
        case Text: return { "", "", "5", "", "", "123", "", "" };
        case Number: return { 5.0, 5.5, 0.0, 2147483648.0, 2.6, 0.0, 0.0, 0.0 };
        case Int32: return { 5, 0, 0, 0, 0, 0, 0, 0 };
        case Int64: return { 5LL, 6LL, 5LL, 2147483648LL, 3LL, 123LL, 1LL, 0LL };
        case Digits: return { 5, 0, 0, 0, 0, 0, 0, 0 };
        case Lots: return { 0.0005, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0 };
        }
        return {};
    }

    static void addRuleRows(const QString &key, const QString &field, Rule rule)
    {
        const QStringList values = literals();
        const QVariantList expected = expectedFor(rule);
        for (int i = 0; i < values.size(); ++i) {
            const QString label = values.at(i).isNull() ? QStringLiteral("missing") : values.at(i);
            QTest::addRow("%s=%s", qPrintable(key), qPrintable(label))
                << key << values.at(i) << field << expected.at(i);
        }
    }

    static void addRuleRows(const QString &key, Rule rule) { addRuleRows(key, key, rule); }

    static void addColumns()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("expected");
    }

    static void addRow(const QString &key, const QString &literal, const QVariant &expected)
    {
        QTest::addRow("%s=%s", qPrintable(key), qPrintable(literal)) << key << literal << key << expected;
    }

    // Digits format every price later: huge or negative values must not survive reading.
    static void addDigitClampRows()
    {
        addRow("digits", "2147483647", 15);
        addRow("digits", "100000000", 15);
        addRow("digits", "16", 15);
        addRow("digits", "15", 15);
        addRow("digits", "-1", 0);
        addRow("digits", "-2147483648", 0);
    }

    // Tickets, account numbers and times keep all 64 bits and never collapse to another value.
    static void addWideIntegerRows(const QString &key)
    {
        addRow(key, "4294967301", 4294967301LL);
        addRow(key, "9007199254740993", 9007199254740993LL);
        addRow(key, "9223372036854775807", 9223372036854775807LL);
        addRow(key, "\"9223372036854775807\"", 9223372036854775807LL);
        addRow(key, "\"9223372036854775808\"", 0LL);
        addRow(key, "-2.5", -2LL);
        addRow(key, "1e300", 0LL);
        addRow(key, "-1e300", 0LL);
        addRow(key, "false", 0LL);
        addRow(key, "null", 0LL);
        addRow(key, "[1]", 0LL);
    }

    static QJsonObject objectWith(const QString &key, const QString &literal)
    {
        if (literal.isNull())
            return QJsonObject{ { "other", 1 } };
        const QString text = QStringLiteral("{\"%1\": %2}").arg(key, literal);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError)
            qFatal("bad test literal %s", qPrintable(text));
        return document.object();
    }

    static void compareField(const QVariantMap &record)
    {
        QFETCH(QString, field);
        QFETCH(QVariant, expected);
        QVERIFY2(record.contains(field), qPrintable(field));
        const QVariant actual = record.value(field);
        QCOMPARE(int(actual.type()), int(expected.type()));
        if (expected.type() == QVariant::Double)
            QCOMPARE(actual.toDouble(), expected.toDouble());
        else
            QCOMPARE(actual, expected);
    }

    static QVariantMap fields(const TickData &t)
    {
        return { { "symbol", t.symbol }, { "timestamp", t.timestamp }, { "bid", t.bid },
                 { "ask", t.ask }, { "volume", t.volume }, { "tm_ms", t.tm_ms },
                 { "digits", t.digits }, { "min_vol", t.min_vol }, { "max_vol", t.max_vol },
                 { "step_vol", t.step_vol }, { "bid_high", t.bid_high }, { "bid_low", t.bid_low },
                 { "ask_high", t.ask_high }, { "ask_low", t.ask_low } };
    }

    static QVariantMap fields(const SymbolSetting &s)
    {
        return { { "symbol", s.symbol }, { "desc", s.desc }, { "digits", s.digits },
                 { "min_vol", s.min_vol }, { "max_vol", s.max_vol }, { "step_vol", s.step_vol },
                 { "c_size", s.c_size }, { "path", s.path } };
    }

    static QVariantMap fields(const Position &p)
    {
        return { { "login", p.login }, { "ticket", p.ticket }, { "symbol", p.symbol },
                 { "type", p.type }, { "volume", p.volume }, { "price", p.price },
                 { "current_price", p.current_price }, { "price_c", p.price_c }, { "sl", p.sl },
                 { "tp", p.tp }, { "profit", p.profit }, { "csize", p.csize }, { "time", p.time },
                 { "time_c", p.time_c }, { "r_profit", p.r_profit }, { "swap", p.swap },
                 { "fee", p.fee }, { "digits", p.digits } };
    }

    static QVariantMap fields(const PendingOrder &o)
    {
        return { { "login", o.login }, { "ticket", o.ticket }, { "symbol", o.symbol },
                 { "type", o.type }, { "volume", o.volume }, { "price", o.price },
                 { "s_price", o.s_price }, { "sl", o.sl }, { "tp", o.tp }, { "time", o.time },
                 { "digits", o.digits } };
    }

private slots:
    void tickReading_data()
    {
        addColumns();
        addRuleRows("symbol", Text);
        for (const char *key : { "timestamp", "tm_ms" })
            addRuleRows(key, Int64);
        for (const char *key : { "bid", "ask", "bid_high", "bid_low", "ask_high", "ask_low" })
            addRuleRows(key, Number);
        addRuleRows("digits", Digits);
        // A quote's volumes are lots, unlike a specification's.
        for (const char *key : { "volume", "min_vol", "max_vol", "step_vol" })
            addRuleRows(key, Lots);
        addRow("volume", "25000", 2.5);
        addRow("min_vol", "100", 0.01);
        addRow("max_vol", "100000", 10.0);
        addDigitClampRows();
        addWideIntegerRows("timestamp");
        addWideIntegerRows("tm_ms");
    }
    void tickReading()
    {
        QFETCH(QString, key);
        QFETCH(QString, literal);
        compareField(fields(SymbolDataStorage::tickFromJson(objectWith(key, literal))));
    }

    void settingReading_data()
    {
        addColumns();
        for (const char *key : { "symbol", "desc", "path" })
            addRuleRows(key, Text);
        addRuleRows("digits", Digits);
        addRuleRows("c_size", Number);
        // The symbol setting keeps the wire's 1/10000-lot integers.
        for (const char *key : { "min_vol", "max_vol", "step_vol" })
            addRuleRows(key, Int64);
        addRow("min_vol", "100", 100LL);
        addDigitClampRows();
    }
    void settingReading()
    {
        QFETCH(QString, key);
        QFETCH(QString, literal);
        compareField(fields(SymbolDataStorage::settingFromJson(objectWith(key, literal))));
    }

    void positionReading_data()
    {
        addColumns();
        for (const char *key : { "login", "ticket", "time", "time_c" })
            addRuleRows(key, Int64);
        for (const char *key : { "symbol", "type" })
            addRuleRows(key, Text);
        addRuleRows("volume", Lots);
        for (const char *key : { "price", "price_c", "sl", "tp", "csize", "profit", "swap", "fee",
                                 "r_profit" })
            addRuleRows(key, Number);
        addRuleRows("price_o", "price", Number);
        addRuleRows("digits", Digits);
        addRow("volume", "500", 0.05);
        addRow("volume", "1.5", 0.0);
        addRow("type", "\"Sell\"", "Sell");
        addDigitClampRows();
        addWideIntegerRows("ticket");
        addWideIntegerRows("login");
        addWideIntegerRows("time");
    }
    void positionReading()
    {
        QFETCH(QString, key);
        QFETCH(QString, literal);
        const Position position(objectWith(key, literal));
        QCOMPARE(position.current_price, 0.0); // never read from the element
        compareField(fields(position));
    }

    void orderReading_data()
    {
        addColumns();
        for (const char *key : { "login", "ticket", "time" })
            addRuleRows(key, Int64);
        addRuleRows("symbol", Text);
        addRuleRows("type", Int32);
        addRuleRows("volume", Lots);
        for (const char *key : { "price", "s_price", "sl", "tp" })
            addRuleRows(key, Number);
        addRuleRows("digits", Digits);
        addRow("type", "7", 7);
        addDigitClampRows();
        addWideIntegerRows("ticket");
    }
    void orderReading()
    {
        QFETCH(QString, key);
        QFETCH(QString, literal);
        compareField(fields(PendingOrder(objectWith(key, literal))));
    }

    void openPrice_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<double>("price");
        QTest::newRow("both, price_o wins") << QByteArray(R"({"price": 1.1, "price_o": 1.2})") << 1.2;
        QTest::newRow("price_o first in text") << QByteArray(R"({"price_o": 1.2, "price": 1.1})") << 1.2;
        QTest::newRow("price alone") << QByteArray(R"({"price": 1.1})") << 1.1;
        QTest::newRow("neither") << QByteArray(R"({"price_c": 1.3})") << 0.0;
    }
    void openPrice()
    {
        QFETCH(QByteArray, json);
        QFETCH(double, price);
        QCOMPARE(Position(QJsonDocument::fromJson(json).object()).price, price);
    }

    // The unknown-symbol defaults belong to records the store makes itself, never to a
    // specification the server sent without volumes.
    void settingDefaultsOnlyForUnknownSymbols()
    {
        const SymbolSetting made;
        QCOMPARE(made.min_vol, qint64(100));
        QCOMPARE(made.max_vol, qint64(100000));
        QCOMPARE(made.step_vol, qint64(100));
        QCOMPARE(made.c_size, 100000.0);

        const SymbolSetting read = SymbolDataStorage::settingFromJson({ { "symbol", "EURUSD" } });
        QCOMPARE(read.symbol, QString("EURUSD"));
        QCOMPARE(read.min_vol, qint64(0));
        QCOMPARE(read.max_vol, qint64(0));
        QCOMPARE(read.step_vol, qint64(0));
        QCOMPARE(read.c_size, 0.0);
    }

    // Records travel through queued connections and QVariant.
    void recordsAreMetaTypes()
    {
        for (const char *name : { "TickData", "SymbolSetting", "Position", "PendingOrder" }) {
            const int id = QMetaType::type(name);
            QVERIFY2(id != QMetaType::UnknownType, name);
            QVERIFY2(QMetaType::isRegistered(id), name);
        }
        Position p;
        p.ticket = 4294967301LL;
        QCOMPARE(QVariant::fromValue(p).value<Position>().ticket, 4294967301LL);
    }
};

CORVANE_TEST_MAIN(TestRecords)
#include "tst_records.moc"
