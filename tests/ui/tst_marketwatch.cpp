#include "marketwatch.h"
#include "symboldatastorage.h"
#include "testmain.h"

#include <QAction>
#include <QJsonArray>
#include <QMenu>
#include <QTableWidget>
#include <memory>

namespace {

QJsonObject symbolList(const QList<QPair<QString, int>> &symbols)
{
    QJsonArray array;
    for (const auto &s : symbols)
        array.append(QJsonObject{{"symbol", s.first}, {"digits", s.second}});
    return QJsonObject{{"res_code", 8}, {"array", array}};
}

QJsonObject quote(const QString &symbol, double bid, double ask, int digits, double askHigh = 0.0,
                  double bidLow = 0.0)
{
    return QJsonObject{{"res_code", 2}, {"symbol", symbol}, {"bid", bid},         {"ask", ask},
                       {"digits", digits}, {"ask_high", askHigh}, {"bid_high", 9.9}, {"bid_low", bidLow},
                       {"ask_low", 0.1}};
}

TickData tick(const QString &symbol, double bid, double ask, int digits, double askHigh = 0.0, double bidLow = 0.0)
{
    TickData t;
    t.symbol = symbol;
    t.bid = bid;
    t.ask = ask;
    t.digits = digits;
    t.ask_high = askHigh;
    t.bid_low = bidLow;
    t.bid_high = 9.9;
    t.ask_low = 0.1;
    return t;
}

QStringList rowTexts(const QTableWidget &table, int row)
{
    QStringList texts;
    for (int c = 0; c < table.columnCount(); ++c)
        texts << (table.item(row, c) ? table.item(row, c)->text() : QStringLiteral("<none>"));
    return texts;
}

QColor textColour(const QTableWidget &table, int row, int column)
{
    return table.item(row, column)->foreground().color();
}

} // namespace

class TestMarketWatch : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTableWidget> table;
    std::unique_ptr<SymbolDataStorage> store;
    std::unique_ptr<MarketWatch> watch;

    void show(const QStringList &symbols)
    {
        QVERIFY(watch->setSymbols(symbols));
        watch->rebuild(*store);
    }

private slots:
    void init()
    {
        table = std::make_unique<QTableWidget>(0, MarketWatch::ColumnCount);
        store = std::make_unique<SymbolDataStorage>();
        watch = std::make_unique<MarketWatch>(table.get());
    }
    void cleanup()
    {
        watch.reset();
        store.reset();
        table.reset();
    }

    void rebuildUsesSpecificationDigitsAndAskHighBidLow()
    {
        store->onSymbolListReceived(symbolList({{"EURUSD", 5}, {"USDJPY", 3}}));
        store->onPriceReceived(quote("EURUSD", 1.10012, 1.10025, 2, 1.2, 1.05));
        show({"EURUSD", "USDJPY", "XAUUSD"});

        QCOMPARE(table->rowCount(), 3);
        // The symbol setting's digits win over the quote's at a rebuild; High is the highest ask
        // and Low the lowest bid.
        QCOMPARE(rowTexts(*table, 0),
                 QStringList({"EURUSD", "1.10012", "1.10025", "13", "1.20000", "1.05000"}));
        QCOMPARE(rowTexts(*table, 1), QStringList({"USDJPY", "0.000", "0.000", "0", "0.000", "0.000"}));
        // Listed without a specification: no decimals.
        QCOMPARE(rowTexts(*table, 2), QStringList({"XAUUSD", "0", "0", "0", "0", "0"}));
        QVERIFY(table->item(0, 1)->data(Qt::ForegroundRole).isNull());
    }

    void spread_data()
    {
        QTest::addColumn<double>("bid");
        QTest::addColumn<double>("ask");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("spread");
        QTest::newRow("rounded up") << 1.10012 << 1.10025 << 5 << "13";
        QTest::newRow("from a round bid") << 1.10000 << 1.10013 << 5 << "13";
        QTest::newRow("none") << 1.2 << 1.2 << 5 << "0";
        QTest::newRow("three digits") << 151.201 << 151.219 << 3 << "18";
        QTest::newRow("no decimals") << 30000.0 << 30012.0 << 0 << "12";
    }
    void spread()
    {
        QFETCH(double, bid);
        QFETCH(double, ask);
        QFETCH(int, digits);
        QFETCH(QString, spread);
        show({"EURUSD"});
        QVERIFY(watch->updateRow(tick("EURUSD", bid, ask, digits)));
        QCOMPARE(table->item(0, MarketWatch::SpreadColumn)->text(), spread);
    }

    void colours_data()
    {
        QTest::addColumn<double>("bid");
        QTest::addColumn<double>("ask");
        QTest::addColumn<QColor>("bidColour");
        QTest::addColumn<QColor>("askColour");
        QTest::addColumn<QColor>("spreadColour");
        QTest::addColumn<QString>("bidText");
        // Shown before: bid 1.10012, ask 1.10025, spread 13.
        QTest::newRow("bid up") << 1.10015 << 1.10025 << QColor(Qt::blue) << QColor(Qt::black)
                                << QColor(Qt::red) << "1.10015";
        QTest::newRow("bid down") << 1.10010 << 1.10025 << QColor(Qt::red) << QColor(Qt::black)
                                  << QColor(Qt::blue) << "1.10010";
        QTest::newRow("both up") << 1.10020 << 1.10030 << QColor(Qt::blue) << QColor(Qt::blue)
                                 << QColor(Qt::red) << "1.10020";
        // A move below the shown decimals is no move for the trader.
        QTest::newRow("hidden by rounding") << 1.100121 << 1.100249 << QColor(Qt::black)
                                            << QColor(Qt::black) << QColor(Qt::black) << "1.10012";
    }
    void colours()
    {
        QFETCH(double, bid);
        QFETCH(double, ask);
        QFETCH(QColor, bidColour);
        QFETCH(QColor, askColour);
        QFETCH(QColor, spreadColour);
        QFETCH(QString, bidText);
        store->onSymbolListReceived(symbolList({{"EURUSD", 5}}));
        store->onPriceReceived(quote("EURUSD", 1.10012, 1.10025, 5));
        show({"EURUSD"});

        QVERIFY(watch->updateRow(tick("EURUSD", bid, ask, 5, 1.3, 1.0)));
        QCOMPARE(textColour(*table, 0, MarketWatch::BidColumn), bidColour);
        QCOMPARE(textColour(*table, 0, MarketWatch::AskColumn), askColour);
        QCOMPARE(textColour(*table, 0, MarketWatch::SpreadColumn), spreadColour);
        QCOMPARE(table->item(0, MarketWatch::BidColumn)->text(), bidText);
        QCOMPARE(table->item(0, MarketWatch::HighColumn)->text(), QStringLiteral("1.30000"));
        QCOMPARE(table->item(0, MarketWatch::LowColumn)->text(), QStringLiteral("1.00000"));
        QVERIFY(table->item(0, MarketWatch::HighColumn)->data(Qt::ForegroundRole).isNull());

        // The next quote compares against what is shown now; a rebuild drops the colours.
        watch->rebuild(*store);
        QVERIFY(table->item(0, MarketWatch::BidColumn)->data(Qt::ForegroundRole).isNull());
    }

    void quoteUsesItsOwnDigits()
    {
        show({"XAUUSD"});
        QCOMPARE(table->item(0, MarketWatch::BidColumn)->text(), QStringLiteral("0"));
        QVERIFY(watch->updateRow(tick("XAUUSD", 2001.5, 2001.85, 2, 2010.0, 1990.25)));
        QCOMPARE(rowTexts(*table, 0), QStringList({"XAUUSD", "2001.50", "2001.85", "35", "2010.00", "1990.25"}));
    }

    void filter()
    {
        store->onSymbolListReceived(symbolList({{"eurusd", 5}, {"GBPJPY", 3}, {"XAUUSD", 2}}));
        show(store->symbolList());
        QCOMPARE(table->rowCount(), 3);

        QVERIFY(watch->setFilter("usd"));
        QCOMPARE(watch->filter(), QStringLiteral("USD"));
        watch->rebuild(*store);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(watch->symbolAt(0), QStringLiteral("eurusd"));
        QCOMPARE(watch->symbolAt(1), QStringLiteral("XAUUSD"));

        // Same filter in other letters: nothing to rebuild.
        QVERIFY(!watch->setFilter("Usd"));

        // A filtered-out symbol changes no row.
        QVERIFY(!watch->updateRow(tick("GBPJPY", 190.1, 190.2, 3)));
        QVERIFY(watch->setFilter(QString()));
        watch->rebuild(*store);
        QCOMPARE(table->rowCount(), 3);
    }

    void sameListIsNoChange()
    {
        show({"EURUSD", "GBPUSD"});
        QVERIFY(watch->updateRow(tick("GBPUSD", 1.3, 1.31, 5)));
        QVERIFY(!watch->setSymbols({"EURUSD", "GBPUSD"}));
        QVERIFY(watch->setSymbols({"GBPUSD", "EURUSD"}));
        QVERIFY(!MarketWatch(table.get()).setSymbols({}));
    }

    void duplicatedNameUpdatesItsFirstRow()
    {
        show({"EURUSD", "GBPUSD", "EURUSD"});
        QCOMPARE(table->rowCount(), 3);
        QVERIFY(watch->updateRow(tick("EURUSD", 1.1, 1.2, 1)));
        QCOMPARE(table->item(0, MarketWatch::BidColumn)->text(), QStringLiteral("1.1"));
        QCOMPARE(table->item(2, MarketWatch::BidColumn)->text(), QStringLiteral("0"));
        QCOMPARE(watch->rowOf("EURUSD"), 0);
    }

    void unlistedSymbolChangesNothing()
    {
        show({"EURUSD"});
        QVERIFY(!watch->updateRow(tick("USDCHF", 0.9, 0.91, 5)));
        QCOMPARE(rowTexts(*table, 0), QStringList({"EURUSD", "0", "0", "0", "0", "0"}));
    }

    // Rows moved or removed behind the watch's back must not send a quote to the wrong row.
    void quoteFindsItsRowAfterTheTableChanged()
    {
        show({"AUDUSD", "EURUSD", "GBPUSD"});
        QCOMPARE(watch->rowOf("GBPUSD"), 2);
        table->removeRow(0);
        QVERIFY(watch->updateRow(tick("GBPUSD", 1.25, 1.26, 2)));
        QCOMPARE(rowTexts(*table, 1), QStringList({"GBPUSD", "1.25", "1.26", "1", "0.00", "0.00"}));
        QCOMPARE(table->item(0, MarketWatch::BidColumn)->text(), QStringLiteral("0"));

        table->item(0, MarketWatch::SymbolColumn)->setText("EURUSD.m");
        QVERIFY(!watch->updateRow(tick("EURUSD", 1.1, 1.2, 1)));
        QCOMPARE(watch->rowOf("EURUSD.m"), 0);

        table->setRowCount(0);
        QVERIFY(!watch->updateRow(tick("GBPUSD", 1.27, 1.28, 2)));
    }

    void contextMenu_data()
    {
        QTest::addColumn<bool>("charts");
        QTest::addColumn<bool>("symbolDialog");
        QTest::newRow("nothing yet") << false << false;
        QTest::newRow("everything") << true << true;
    }
    void contextMenu()
    {
        QFETCH(bool, charts);
        QFETCH(bool, symbolDialog);
        QAction newOrder(QStringLiteral("New Order"));
        std::unique_ptr<QMenu> menu(MarketWatch::buildContextMenu(&newOrder, charts, symbolDialog));
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 5);
        QCOMPARE(actions[0], &newOrder);
        QCOMPARE(actions[1]->text(), QStringLiteral("Show Chart"));
        QCOMPARE(actions[1]->isEnabled(), charts);
        QVERIFY(actions[2]->isSeparator());
        QCOMPARE(actions[3]->text(), QStringLiteral("Hide"));
        QVERIFY(actions[3]->isEnabled());
        QCOMPARE(actions[3]->data().toInt(), int(MarketWatch::HideEntry));
        QCOMPARE(actions[4]->text(), QStringLiteral("Show"));
        QCOMPARE(actions[4]->isEnabled(), symbolDialog);
    }
};

CORVANE_TEST_GUI_MAIN(TestMarketWatch)
#include "tst_marketwatch.moc"
