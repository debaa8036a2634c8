// The live tables: the market watch and the trade menu on their own, then the main window's
// tables against the simulated trade server over loopback, with the requests as it receives them.
#include "loggedinwindow.h"
#include "marketwatch.h"
#include "rowcontrols.h"
#include "symboldatastorage.h"
#include "testmain.h"
#include "tradetable.h"

#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTableWidget>
#include <utility>

namespace {

constexpr qint64 Account = 7000000123LL;

QStringList rowTexts(const QTableWidget *table, int row)
{
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts << (table->item(row, c) ? table->item(row, c)->text() : QStringLiteral("<none>"));
    return texts;
}

// A EURUSD quote; bid_high 9.9, bid_low 1.0, ask_high 1.3 and ask_low 0.1 differ, so a swapped one shows.
TickData tick(double bid, double ask, int digits) { return {"EURUSD", 0, bid, ask, 0.0, 0, digits, 0.0, 0.0, 0.0, 9.9, 1.0, 1.3, 0.1}; }

// Runs `act` once in the GUI thread, just before the client hands the window the first replies
// that find it logged in: the client has its login answer, the window has not been told.
class BeforeFirstDelivery : public QObject
{
public:
    BeforeFirstDelivery(TradeClient *client, std::function<void()> act) : client(client), act(std::move(act))
    {
        client->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        // The client's replies reach the window through a queued call on the client.
        if (act && event->type() == QEvent::MetaCall && client->isLoggedIn())
            std::exchange(act, nullptr)();
        return false;
    }

private:
    TradeClient *client;
    std::function<void()> act;
};

} // namespace

class TestLiveTables : public QObject
{
    Q_OBJECT

    corvane_test::LoggedInWindow w;

    QString summaryText() const
    {
        return qobject_cast<QLabel *>(w.part<QDockWidget>("toolboxDockWidget")->titleBarWidget())->text();
    }
private slots:
    void cleanup() { w.stop(); }

    // Each quote meets a row showing 1.10012 / 1.10025 / spread 13; colours compare the shown texts.
    void marketWatchQuote_data()
    {
        QTest::addColumn<TickData>("quote");
        QTest::addColumn<QString>("shown"); // bid, ask and spread with their colours, High, Low
        QTest::newRow("bid up") << tick(1.10015, 1.10025, 5) << "1.10015 blue, 1.10025 black, 10 red, 1.30000, 1.00000";
        QTest::newRow("rounded") << tick(1.100121, 1.100249, 5) << "1.10012 black, 1.10025 black, 13 black, 1.30000, 1.00000";
        QTest::newRow("round bid") << tick(1.1, 1.10013, 5) << "1.10000 red, 1.10013 red, 13 black, 1.30000, 1.00000";
        QTest::newRow("no decimals") << tick(30000, 30012, 0) << "30000 blue, 30012 blue, 12 red, 1, 1";
    }
    void marketWatchQuote()
    {
        QFETCH(TickData, quote);
        QFETCH(QString, shown);
        QTableWidget symbols(0, MarketWatch::ColumnCount);
        SymbolDataStorage store;
        MarketWatch watch(&symbols);
        QVERIFY(watch.setSymbols({"GBPUSD", "EURUSD", "EURUSD"}));
        watch.rebuild(store);
        // Other code renames a row after the watch has looked rows up: the first EURUSD row is now row 0.
        QCOMPARE(watch.rowOf("EURUSD"), 1);
        symbols.item(0, MarketWatch::SymbolColumn)->setText("EURUSD");
        QVERIFY(watch.updateRow(tick(1.10012, 1.10025, 5)) && watch.updateRow(quote));
        QStringList texts;
        for (int column = MarketWatch::BidColumn; column < MarketWatch::ColumnCount; ++column) {
            const QColor c = symbols.item(0, column)->foreground().color();
            texts << symbols.item(0, column)->text();
            if (column <= MarketWatch::SpreadColumn)
                texts.last() += c == Qt::blue ? " blue" : c == Qt::red ? " red" : c == Qt::black ? " black" : " other";
        }
        QCOMPARE(texts.join(", "), shown);
        QCOMPARE(symbols.item(2, MarketWatch::BidColumn)->text(), QStringLiteral("0")); // one row per quote
    }

    void tradeRequests()
    {
        qint64 position = 0;
        QVERIFY(w.start(Account, [&position](simbroker::SimTradeServer &s) {
            s.setNextTicket(5000000001LL); // tickets past 32 bits
            position = s.addPosition(Account, {{"symbol", "EURUSD"}, {"type", "buy"}, {"volume", 5000},
                                               {"price_o", 1.0}, {"price", 1.0}, {"r_profit", 1.0}});
            s.addOrder(Account, {{"symbol", "EURUSD"}, {"type", 2}, {"volume", 5000}, {"price", 1.0}});
        }));
        auto *trades = w.part<QTableWidget>("tradeTableWidget");
        QTRY_COMPARE(trades->rowCount(), 2);
        QCOMPARE(w.window->getPosition(position).ticket, position); // the order dialog's look-ups take the whole ticket

        // Auto Arrange off (the trader sizes the columns: one made wider) and on again: the
        // columns fill the view once more; the close column keeps its width throughout.
        QHeaderView *header = trades->horizontalHeader();
        const int closeWidth = trades->columnWidth(TradeTable::CloseColumn);
        // No share of the stretch: the order's button and the cell's margins.
        QTRY_COMPARE(trades->findChildren<MyCloseButton *>().size(), 1);
        QVERIFY(closeWidth <= trades->findChild<MyCloseButton *>()->width() + 10);
        const QPoint point = trades->visualRect(trades->model()->index(0, TradeTable::TimeColumn)).center();
        QPoint menuAt;
        for (QHeaderView::ResizeMode mode : {QHeaderView::Interactive, QHeaderView::Fixed}) {
            menuAt = corvane_test::chooseFromMenu("Auto Arrange", [&] { w.window->contextTradeMenu(point); });
            QCOMPARE(header->sectionResizeMode(0), mode);
            QCOMPARE(header->sectionResizeMode(TradeTable::CloseColumn), QHeaderView::Fixed);
            QCOMPARE(trades->columnWidth(TradeTable::CloseColumn), closeWidth);
            if (mode == QHeaderView::Interactive)
                header->resizeSection(0, trades->viewport()->width());
        }
        QCOMPARE(header->length(), trades->viewport()->width());
        // The menu opens at the pointer, which comes in the viewport's coordinates.
        const QPoint pointer = trades->viewport()->mapToGlobal(point);
        QCOMPARE(menuAt.x(), pointer.x());
        QVERIFY2(menuAt.y() == pointer.y() || menuAt.y() < pointer.y() - 100, "menu away from the pointer");

        w.window->doInstantBuy("USDJPY", 0.0); // a panel before its first quote: nothing
        w.window->doInstantBuy("USDJPY", 0.57);
        w.window->doInstantSell("USDJPY", 0.29);
        const QString order = R"({"login":%1,"order_type":%2,"req_code":4,"symbol":"USDJPY","type":0,"volume":%3})";
        QTRY_COMPARE(w.trades(0), QStringList({order.arg(Account).arg(0).arg(5700), order.arg(Account).arg(1).arg(2900)}));

        // Close all goes out only for the account the client is logged in with, not the one the
        // window still names while another logs in over the new, open connection: neither while
        // the server holds the new login's answer back, nor once the client has it but the window
        // has not been told.
        constexpr qint64 Other = 7000000456LL;
        w.server->addAccount(Other, "other", 500.0);
        const QMetaObject::Connection freeze = connect(
            w.server.get(), &simbroker::SimTradeServer::frameReceived, this,
            [this](int, const QString &, const QJsonObject &frame) {
                if (frame.value("req_code").toInt() == 1)
                    w.server->setFrozen(true);
            });
        QVERIFY(w.client->connectToServer(w.server->url().toString(), Other, "other", "Sim"));
        QTRY_COMPARE(w.server->receivedRequests(1).size(), 1);
        disconnect(freeze);
        w.window->requestCloseAll(0); // still the old account's window, the new login not answered
        qint64 windowAccount = 0;
        BeforeFirstDelivery told(w.client.get(), [&] {
            windowAccount = w.window->accountLogin();
            w.window->requestCloseAll(1);
        });
        w.server->setFrozen(false);
        QTRY_COMPARE(w.window->accountLogin(), Other);
        QCOMPARE(windowAccount, Account); // it ran while the window still named the old account
        w.window->requestCloseAll(2);
        const QString closeAll = R"({"dealer":1000,"login":%1,"req_code":4,"sub_type":2,"type":9})";
        QTRY_COMPARE(w.trades(9), QStringList(closeAll.arg(Other)));

        // The market watch's menu opens exactly at the pointer, whose position comes in the
        // viewport's coordinates (below the header), not the table's.
        auto *symbols = w.part<QTableWidget>("symbolTableWidget");
        const QPoint at = symbols->visualRect(symbols->model()->index(2, 0)).center();
        // Room for the whole menu below and right of the pointer, so the screen moves nothing.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        w.window->move(w.window->pos() + screen.topLeft() + QPoint(100, 100) - symbols->viewport()->mapToGlobal(at));
        QVERIFY(screen.contains(symbols->viewport()->mapToGlobal(at) + QPoint(300, 300)));
        QCOMPARE(corvane_test::chooseFromMenu(QString(), [&] { w.window->showTickContextMenu(at); }),
                 symbols->viewport()->mapToGlobal(at));
    }

    // A position's close icon, drawn at the right end of its close cell, closes it; a pending
    // order's button deletes that order: one request each, with the whole ticket, and the server's
    // answer takes the row away. A reply that moves the orders just before the click (one gone, a
    // position added) leaves one fresh button per order, each acting on its own order. In an
    // outage (the server closed) each command, close all too, is refused with the failure sound
    // of a refused order and a journal line, and nothing is sent after the client logs in again.
    void closeControls_data()
    {
        QTest::addColumn<QString>("rebuild"); // what the server sends before the click, or "outage"
        QTest::addColumn<QString>("target");  // #P the position, #O1 and #O2 the orders, or the menu's close all
        QTest::newRow("position's icon") << "" << "#P";
        QTest::newRow("order's button") << "" << "#O2";
        QTest::newRow("after an orders reply") << "orders" << "#O2";
        QTest::newRow("after a positions reply") << "positions" << "#O1";
        QTest::newRow("position's icon in an outage") << "outage" << "#P";
        QTest::newRow("order's button in an outage") << "outage" << "#O2";
        QTest::newRow("close all in an outage") << "outage" << "Close All Position";
    }
    void closeControls()
    {
        QFETCH(QString, rebuild);
        QFETCH(QString, target);
        QMap<QString, qint64> tickets;
        QVERIFY(w.start(Account, [&tickets](simbroker::SimTradeServer &s) {
            s.setNextTicket(5000000001LL); // past 32 bits
            tickets["#P"] = s.addPosition(Account, {{"symbol", "EURUSD"}, {"type", "buy"}, {"volume", 5000}, {"price_o", 1.0}});
            for (const char *tag : {"#O1", "#O2"})
                tickets[tag] = s.addOrder(Account, {{"symbol", "GBPUSD"}, {"type", 2}, {"volume", 1000}, {"price", 1.0}});
        }));
        auto *trades = w.part<QTableWidget>("tradeTableWidget");
        const auto closeCell = [trades](const QString &ticket) {
            const auto found = trades->findItems(ticket, Qt::MatchExactly);
            return found.isEmpty() ? QRect() : trades->visualRect(trades->model()->index(found[0]->row(), TradeTable::CloseColumn));
        };
        const auto buttonAt = [&](const QString &ticket) {
            return qobject_cast<MyCloseButton *>(trades->viewport()->childAt(closeCell(ticket).center()));
        };
        const auto oneButtonPerOrder = [&] {
            const auto placed = trades->findItems("Placed", Qt::MatchExactly);
            return trades->findChildren<MyCloseButton *>().size() == placed.size()
                && std::all_of(placed.cbegin(), placed.cend(), [&](const QTableWidgetItem *order) {
                       return buttonAt(trades->item(order->row(), TradeTable::TicketColumn)->text()); });
        };
        QTRY_COMPARE(trades->rowCount(), 3);
        // The table's own painting, under the orders' buttons: the close icon as the resource
        // generator draws it (a red disc crossed by a white X, 16 px) at the right end of the
        // position's cell, centred on its height, and no trace of it behind an order's button.
        const QRect iconCell = closeCell(QString::number(tickets["#P"]));
        QImage painted(trades->viewport()->size(), QImage::Format_RGB32);
        trades->viewport()->render(&painted, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        const QPoint icon(iconCell.right() - 15, iconCell.top() + (iconCell.height() - 16) / 2);
        const QColor disc(0xd3, 0x2f, 0x2f);
        for (const QPoint at : {QPoint(8, 3), QPoint(3, 8), QPoint(12, 8)})
            QCOMPARE(painted.pixelColor(icon + at), disc);
        for (const QPoint at : {QPoint(7, 7), QPoint(8, 8)})
            QCOMPARE(painted.pixelColor(icon + at), QColor(Qt::white));
        const QRect orderCell = closeCell(QString::number(tickets["#O1"]));
        QVERIFY(painted.rect().contains(orderCell));
        for (int y = orderCell.top(); y <= orderCell.bottom(); ++y)
            for (int x = orderCell.left(); x <= orderCell.right(); ++x) {
                const QColor c = painted.pixelColor(x, y);
                QVERIFY2(c.red() < 120 || c.green() > 80 || c.blue() > 80, "the close icon behind an order's button");
            }

        if (rebuild == "orders") {
            QJsonArray orders = w.server->orders(Account);
            orders.removeAt(0);
            w.server->sendJson({{"res_code", 6}, {"array", orders}});
        } else if (rebuild == "positions") {
            w.server->addPosition(Account, {{"symbol", "USDJPY"}, {"type", "sell"}, {"volume", 1000}, {"price_o", 150.0}});
        }
        QTRY_COMPARE(trades->rowCount(), rebuild == "orders" ? 2 : rebuild == "positions" ? 4 : 3);
        QTRY_VERIFY(oneButtonPerOrder());
        w.server->clearReceivedFrames();
        const QString ticket = QString::number(tickets.value(target));
        QSignalSpy sounds(w.window.get(), &Client_Terminal::soundPlayed);
        if (rebuild == "outage") {
            QVERIFY(w.loseConnection(true));
            w.windowJournal.clear();
        }
        if (!target.startsWith('#')) {
            corvane_test::chooseFromMenu(target, [&] { w.window->contextTradeMenu(iconCell.center()); });
        } else if (MyCloseButton *button = buttonAt(ticket)) {
            QVERIFY(closeCell(ticket).contains(QRect(button->mapTo(trades->viewport(), QPoint()), button->size())));
            QTest::mouseClick(button, Qt::LeftButton);
        } else {
            QTest::mouseClick(trades->viewport(), Qt::LeftButton, {}, iconCell.topRight() + QPoint(-5, 5));
        }
        if (rebuild == "outage") {
            const QString what = target == "#P" ? "Close Position #" + ticket : target == "#O2" ? "Delete Order #" + ticket : target;
            QCOMPARE(sounds.count({":/sound/trade.wav"}), 1);
            QCOMPARE(w.windowJournal, QStringList(what + ": not sent, no connection to the trade server"));
            QVERIFY(w.awaitRelogin());
            w.settle();
            QCOMPARE(w.requests(4), QStringList());
            return;
        }
        w.settle();
        QCOMPARE(w.requests(4), QStringList(QString(R"({"login":%1,"order_id":%2,"req_code":4,"type":%3})")
                                                .arg(Account).arg(ticket).arg(target == "#P" ? 4 : 3)));
        QTRY_VERIFY(closeCell(ticket).isNull());
        QTRY_VERIFY(oneButtonPerOrder());
    }

    // The broker holds each position's dollar value at the account's leverage, so the line
    // reads as a real account's does (the sign-up's leverage is checked with the account service).
    void marginAtTheAccountsLeverage_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<int>("volume"); // 1/10000 lot
        QTest::addColumn<double>("open");
        QTest::addColumn<int>("leverage");
        QTest::addColumn<QString>("margin");
        QTest::newRow("EURUSD 1 lot, 1:100") << "EURUSD" << 10000 << 1.1 << 100 << "1100.00,";
        QTest::newRow("USDJPY 0.5 lot, yen price") << "USDJPY" << 5000 << 150.0 << 100 << "500.00";
        QTest::newRow("EURJPY cross, 1:200") << "EURJPY" << 10000 << 162.0 << 200 << "540.00";
        QTest::newRow("XAUUSD 0.05 lot, 1:500") << "XAUUSD" << 500 << 2000.0 << 500 << "20.00";
    }
    void marginAtTheAccountsLeverage()
    {
        QFETCH(QString, symbol);
        QFETCH(int, volume);
        QFETCH(double, open);
        QFETCH(int, leverage);
        QFETCH(QString, margin);
        QVERIFY(w.start(Account, [&](simbroker::SimTradeServer &s) {
            s.addAccount(Account, "secret", 10000.0, QString(), QStringLiteral("demo\\usd"), leverage);
            s.setPrice("USDJPY", 150.0, 150.0);
            s.addPosition(Account, {{"symbol", symbol}, {"type", "buy"}, {"volume", volume}, {"price_o", open}});
        }, {"secret", 10000.0, QString(), QHostAddress::LocalHost, true, false}));
        QTRY_VERIFY2(summaryText().contains(", Used margin: " + margin), qPrintable(summaryText()));
    }

    // A position on a symbol the server never listed still gets its net row, but the lookup of
    // its digits must not make the symbol up: it would show in the symbol dialog from then on.
    void netRowOfAnUnlistedSymbol()
    {
        QVERIFY(w.start(Account));
        auto *net = w.part<QTableWidget>("netTableWidget");
        const QStringList listed = w.window->symbolStorage()->allSymbols();
        QVERIFY(!listed.contains("ZZZUSD"));
        w.server->sendJson({{"res_code", 4}, {"balance", 100.0}, {"is_last", 1},
                            {"array", QJsonArray{QJsonObject{{"ticket", 7}, {"symbol", "ZZZUSD"}, {"type", "buy"},
                                                             {"volume", 10000}, {"price", 2.5}, {"profit", 1.0},
                                                             {"digits", 3}, {"csize", 100000.0}, {"r_profit", 1.0}}}}});
        QTRY_COMPARE(net->rowCount(), 2);
        // Its quote reprices the row through the store's per-symbol signal.
        w.server->sendJson({{"res_code", 2}, {"symbol", "ZZZUSD"}, {"bid", 2.75}, {"ask", 2.76}, {"digits", 3}});
        QTRY_COMPARE(net->item(0, 7)->text(), QStringLiteral("25000.00"));
        QCOMPARE(w.window->symbolStorage()->allSymbols(), listed);
    }

    void tablesFollowTheAccount()
    {
        QVERIFY(w.start(Account));
        auto *symbols = w.part<QTableWidget>("symbolTableWidget");
        auto *trades = w.part<QTableWidget>("tradeTableWidget");
        auto *net = w.part<QTableWidget>("netTableWidget");
        const QString before = " Balance: 1000.00, Net profit: 0.00, Equity: 1000.00, Used margin: 0.00, "
                               "Free margin: 1000.00";
        QTRY_COMPARE(summaryText(), before);
        const auto position = [](qint64 ticket, const char *symbol, const char *side, int volume, double open, double profit) {
            return QJsonObject{{"ticket", ticket}, {"symbol", symbol}, {"type", side}, {"volume", volume},
                               {"price", open}, {"profit", profit}, {"csize", 100000.0}, {"r_profit", 1.0},
                               {"digits", 5}, {"time", 1700000000}, {"sl", ticket == 5000000004LL ? 1.25 : 0.0}};
        };
        // Only the exact side "sell" sells.
        const QJsonArray positions{position(1, "EURUSD", "buy", 5000, 1.1, 10.0),
                                   position(2, "EURUSD", "buy", 20000, 1.2, -3.5),
                                   position(3, "EURUSD", "sell", 2500, 1.25, 0.0),
                                   position(5000000004LL, "GBPUSD", "Sell", 3000, 1.3, -1.004)};
        QJsonArray orders; // the first shares the ticket of a position
        for (int type = 2; type <= 8; ++type)
            orders << QJsonObject{{"ticket", 5000000000LL + (type == 2 ? 4 : type * 10)}, {"symbol", "GBPUSD"},
                                  {"type", type}, {"volume", 3000}, {"price", 1.25},
                                  {"s_price", type == 6 ? 1.2512 : 0.0}, {"digits", 5}};
        const auto account = [&positions](int isLast) {
            return QJsonObject{{"res_code", 4}, {"balance", 100.0}, {"margin", 10.0}, {"credit", 5.0},
                               {"is_last", isLast}, {"array", positions}};
        };

        // A part that is not the last changes nothing shown; the orders reply after it shows when it was handled.
        w.server->sendJson(account(0));
        w.server->sendJson({{"res_code", 6}, {"array", orders}});
        QTRY_COMPARE(trades->rowCount(), 7);
        QCOMPARE(summaryText(), before);

        // The last part: its positions, and their profits in the line at once.
        w.server->sendJson(account(1));
        QTRY_COMPARE(trades->rowCount(), 11);
        QCOMPARE(summaryText(), " Balance: 100.00, Net profit: 5.50, Equity: 110.50, Credit: 5.00, "
                                "Used margin: 10.00, Free margin: 100.50");
        // One button per order: none left over from the first rebuild, none outside the table.
        QTRY_COMPARE(trades->viewport()->findChildren<MyCloseButton *>().size(), 7);
        for (QWidget *widget : QApplication::allWidgets())
            QVERIFY(!qobject_cast<MyCloseButton *>(widget) || trades->viewport()->isAncestorOf(widget));
        QCOMPARE(rowTexts(trades, 8), QStringList({"GBPUSD", "5000000060", TradeTable::formatTime(0), "buy limit stop",
                                                   "0.30", "1.25000", "", "", "1.25120", "Placed", ""}));
        const QStringList types = QString("buy|buy|sell|Sell|buy limit|sell limit|buy stop|sell stop|buy limit stop|"
                                          "sell limit stop|").split('|');
        const QStringList icons = QString("buy|buy|sell|buy|pending_order|pending_order|pending_order|pending_order|"
                                          "pending_order|pending_order|").split('|');
        for (int row = 0; row < trades->rowCount(); ++row) {
            QCOMPARE(trades->item(row, TradeTable::TypeColumn)->text(), types[row]);
            const QString icon = icons[row].isEmpty() ? QString() : ":/icon/" + icons[row] + ".png";
            QCOMPARE(trades->item(row, 0)->icon().pixmap(16).toImage(), QIcon(icon).pixmap(16).toImage());
        }
        // Mean open prices, not weighted by volume; a side without positions shows 0.
        QCOMPARE(rowTexts(net, 0), QStringList({"EURUSD", "3", "2.50", "1.15000", "0.25", "1.25000", "2.25", "6.50"}));
        QCOMPARE(rowTexts(net, 1), QStringList({"GBPUSD", "1", "0.30", "1.30000", "0.00", "0.00000", "0.30", "-1.00"}));
        QCOMPARE(rowTexts(net, 2), QStringList({"Summary", "4", "2.80", "", "0.25", "", "2.55", "5.50"}));
        for (int row = 0; row < net->rowCount(); ++row)
            for (int column = 0; column < net->columnCount(); ++column)
                QVERIFY(net->item(row, column)->flags() == (Qt::ItemIsSelectable | Qt::ItemIsEnabled)
                        && net->item(row, column)->font().bold() == (row == 2));

        // A quote reprices its position's row only, never an order sharing the ticket; the net
        // table adds the other rows as shown (6.50).
        const QStringList sharing = rowTexts(trades, 4);
        w.server->setPrice("GBPUSD", 1.31, 1.3102);
        QTRY_COMPARE(net->item(2, 7)->text(), QStringLiteral("306.50"));
        QCOMPARE(rowTexts(trades, 3), QStringList({"GBPUSD", "5000000004", TradeTable::formatTime(1700000000), "Sell",
                                                   "0.30", "1.30000", "1.25000", "", "1.31000", "300.00", ""}));
        QCOMPARE(rowTexts(trades, 4), sharing);
        QCOMPARE(summaryText(), " Balance: 100.00, Net profit: 306.50, Equity: 411.50, Credit: 5.00, "
                                "Used margin: 10.00, Free margin: 401.50");

        // Rows removed by other code, and a net table emptied as at a new connection, take the
        // next quote safely: the position is found in its new row, the net table stays empty.
        trades->removeRow(0);
        net->setRowCount(0);
        w.server->setPrice("GBPUSD", 1.32, 1.3202);
        QTRY_COMPARE(trades->item(2, TradeTable::ProfitColumn)->text(), QStringLiteral("600.00"));
        QCOMPARE(symbols->findItems("1.32000", Qt::MatchExactly).size(), 1); // and the market watch shows it
        QCOMPARE(net->rowCount(), 0);
    }
};

CORVANE_TEST_GUI_MAIN(TestLiveTables)
#include "tst_livetables.moc"
