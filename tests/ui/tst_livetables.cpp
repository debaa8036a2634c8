// The live tables of the main window against the simulated trade server over loopback: quotes in
// the market watch, positions and orders in the trade table, the close controls and trade
// commands as the server receives them, the account summary line and the net-trade table.
#include "client_terminal.h"
#include "simtradeserver.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QAbstractItemView>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTimer>
#include <functional>

namespace {

constexpr qint64 Account = 7000000123LL;
const QString Password = QStringLiteral("secret");

QStringList rowTexts(const QTableWidget *table, int row)
{
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts << (table->item(row, c) ? table->item(row, c)->text() : QStringLiteral("<none>"));
    return texts;
}

int rowOf(const QTableWidget *table, int column, const QString &text)
{
    for (int row = 0; row < table->rowCount(); ++row)
        if (table->item(row, column) && table->item(row, column)->text() == text)
            return row;
    return -1;
}

// Trade requests the server received, without the login and refresh traffic.
QList<QJsonObject> tradeRequests(const simbroker::SimTradeServer &server, int type)
{
    QList<QJsonObject> found;
    for (const QJsonObject &request : server.receivedRequests(4))
        if (request.value("type").toInt() == type)
            found << request;
    return found;
}

} // namespace

class TestLiveTables : public QObject
{
    Q_OBJECT

    simbroker::SimTradeServer *server = nullptr;
    TradeClient *client = nullptr;
    Client_Terminal *window = nullptr;

    QTableWidget *table(const char *name) const { return window->findChild<QTableWidget *>(QLatin1String(name)); }
    QString summaryText() const
    {
        auto *dock = window->findChild<QDockWidget *>(QStringLiteral("toolboxDockWidget"));
        auto *label = qobject_cast<QLabel *>(dock->titleBarWidget());
        return label ? label->text() : QStringLiteral("<no label>");
    }

    // Runs `pick` on the context menu once it is open, after checking where it opened.
    void onNextMenu(std::function<void(QMenu *)> pick)
    {
        QTimer::singleShot(0, this, [pick] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            pick(menu);
            if (menu->isVisible())
                menu->close();
        });
    }

    // A harmless request the server must receive: once it has, every request the window sent
    // before has arrived, and every reply to them is on its way ahead of what the test sends next.
    void syncWithServer()
    {
        // The server records a request of an unknown code and does not answer it.
        static int marker = 0;
        const int mine = ++marker;
        client->sendRequest(QJsonObject{{"req_code", 99}, {"sync", mine}});
        const auto arrived = [this, mine] {
            for (const QJsonObject &request : server->receivedRequests(99))
                if (request.value("sync").toInt() == mine)
                    return true;
            return false;
        };
        QTRY_VERIFY(arrived());
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(resources);
    }

    void init()
    {
        Client_Terminal::setBrokerListHost(QStringLiteral("127.0.0.1"));
        server = new simbroker::SimTradeServer;
        QVERIFY(server->listen(QHostAddress::LocalHost, 0));
        server->addAccount(Account, Password, 1000.0, QStringLiteral("Trader"));
        client = new TradeClient;
        window = new Client_Terminal(client);
        window->resize(1200, 800);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        client->connectToServer(server->url().toString(), Account, Password, QStringLiteral("Sim"));
        QTRY_COMPARE(window->accountLogin(), Account);
        QTRY_COMPARE(table("symbolTableWidget")->rowCount(), server->market().symbols().size());
        // The login's snapshot ends with one quote per symbol.
        QTRY_VERIFY(table("symbolTableWidget")->item(table("symbolTableWidget")->rowCount() - 1, 1)->text().toDouble() > 0);
        QTRY_COMPARE(table("netTableWidget")->rowCount(), 1);
        // The account refresh of the login must be answered before a test sends its own state.
        syncWithServer();
        QVERIFY(!tradeRequests(*server, 5).isEmpty());
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        delete client;
        client = nullptr;
        delete server;
        server = nullptr;
    }

    void marketWatchFollowsQuotesAndTheFilter()
    {
        QTableWidget *symbols = table("symbolTableWidget");
        const int row = rowOf(symbols, 0, "EURUSD");
        QVERIFY(row >= 0);
        const int digits = server->market().symbolInfo("EURUSD").digits;
        const double bid = symbols->item(row, 1)->text().toDouble();

        server->setPrice("EURUSD", bid + 0.001, bid + 0.0012);
        QTRY_COMPARE(symbols->item(row, 1)->text(), QString::number(bid + 0.001, 'f', digits));
        QCOMPARE(symbols->item(row, 1)->foreground().color(), QColor(Qt::blue));
        QCOMPARE(symbols->item(row, 3)->text(), QStringLiteral("20"));

        // Typing alone filters nothing; Return does, in any letter case.
        auto *filter = window->findChild<QLineEdit *>(QStringLiteral("txt_symbol"));
        filter->setFocus();
        QTest::keyClicks(filter, "jpy");
        QCOMPARE(symbols->rowCount(), server->market().symbols().size());
        QTest::keyClick(filter, Qt::Key_Return);
        QVERIFY(symbols->rowCount() > 0);
        QVERIFY(symbols->rowCount() < server->market().symbols().size());
        for (int r = 0; r < symbols->rowCount(); ++r)
            QVERIFY(symbols->item(r, 0)->text().contains("JPY"));
        QCOMPARE(rowOf(symbols, 0, "EURUSD"), -1);

        // A symbol the filter hides still reprices its positions.
        const qint64 ticket = server->addPosition(
            Account, {{"symbol", "EURUSD"}, {"type", "buy"}, {"volume", 10000}, {"price_o", bid}, {"price", bid},
                      {"r_profit", 1.0}, {"profit", 0.0}});
        QTableWidget *trades = table("tradeTableWidget");
        QTRY_COMPARE(trades->rowCount(), 1);
        QCOMPARE(trades->item(0, 1)->text(), QString::number(ticket));
        server->setPrice("EURUSD", bid + 0.002, bid + 0.0022);
        QTRY_COMPARE(trades->item(0, 8)->text(), QString::number(bid + 0.002, 'f', digits));
        QCOMPARE(trades->item(0, 9)->text(), QStringLiteral("200.00"));
    }

    void marketWatchMenuHidesASymbol()
    {
        QTableWidget *symbols = table("symbolTableWidget");
        const int listed = symbols->rowCount();
        const int row = rowOf(symbols, 0, "GBPUSD");
        QVERIFY(row >= 0);
        const QPoint point = symbols->visualRect(symbols->model()->index(row, 1)).center();
        QStringList disabled;
        onNextMenu([&](QMenu *menu) {
            for (QAction *action : menu->actions())
                if (!action->isSeparator() && !action->isEnabled())
                    disabled << action->text();
            for (QAction *action : menu->actions())
                if (action->text() == QLatin1String("Hide"))
                    menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        window->showTickContextMenu(point);
        // Chart windows and the symbol dialog do not exist yet: their entries do not pretend.
        QVERIFY(disabled.contains("Show Chart"));
        QVERIFY(disabled.contains("Show"));
        QCOMPARE(symbols->rowCount(), listed - 1);
        QCOMPARE(rowOf(symbols, 0, "GBPUSD"), -1);
        QVERIFY(!window->symbolStorage()->symbolList().contains("GBPUSD"));
    }

    void closeIconClosesPositionsOnly()
    {
        const qint64 position = server->addPosition(
            Account, {{"symbol", "GBPUSD"}, {"type", "sell"}, {"volume", 5000}, {"price_o", 1.25}, {"price", 1.25},
                      {"r_profit", 1.0}});
        const qint64 order = server->addOrder(
            Account, {{"symbol", "GBPUSD"}, {"type", 2}, {"volume", 5000}, {"price", 1.2}});
        QTableWidget *trades = table("tradeTableWidget");
        QTRY_COMPARE(trades->rowCount(), 2);
        QCOMPARE(trades->item(0, 1)->text(), QString::number(position));
        QCOMPARE(trades->item(1, 1)->text(), QString::number(order));
        server->clearReceivedFrames();

        const QRect orderCell = trades->visualRect(trades->model()->index(1, 9));
        QTest::mouseClick(trades->viewport(), Qt::LeftButton, {}, QPoint(orderCell.right() - 5, orderCell.center().y()));
        syncWithServer();
        QVERIFY(tradeRequests(*server, 4).isEmpty());
        QVERIFY(tradeRequests(*server, 3).isEmpty());

        const QRect positionCell = trades->visualRect(trades->model()->index(0, 9));
        QTest::mouseClick(trades->viewport(), Qt::LeftButton, {}, QPoint(positionCell.right() - 5, positionCell.center().y()));
        QTRY_COMPARE(tradeRequests(*server, 4).size(), 1);
        QCOMPARE(tradeRequests(*server, 4).first(),
                 QJsonObject({{"req_code", 4}, {"type", 4}, {"order_id", position}, {"login", Account}}));
        // The server closes it and sends the new state.
        QTRY_COMPARE(trades->rowCount(), 1);
        QCOMPARE(trades->item(0, 0)->data(Qt::UserRole).toString(), QStringLiteral("order"));
    }

    void contextMenu()
    {
        server->addPosition(Account, {{"symbol", "EURUSD"}, {"type", "buy"}, {"volume", 10000}, {"price_o", 1.0},
                                      {"price", 1.0}, {"r_profit", 1.0}, {"profit", 5.0}});
        server->addOrder(Account, {{"symbol", "EURUSD"}, {"type", 3}, {"volume", 10000}, {"price", 1.3}});
        QTableWidget *trades = table("tradeTableWidget");
        QTRY_COMPARE(trades->rowCount(), 2);

        // Over a pending order: only the order entries (and Auto Arrange) could be enabled.
        const QPoint orderPoint = trades->visualRect(trades->model()->index(1, 2)).center();
        QStringList enabled;
        onNextMenu([&](QMenu *menu) {
            for (QAction *action : menu->actions())
                if (!action->isSeparator() && action->isEnabled())
                    enabled << action->text();
        });
        window->contextTradeMenu(orderPoint);
        QCOMPARE(enabled, QStringList({"Auto Arrange"}));

        // Over a position: the menu opens at the pointer, and picking the second enabled entry
        // closes every profitable position with one exact request.
        const QPoint point = trades->visualRect(trades->model()->index(0, 2)).center();
        QPoint openedAt;
        onNextMenu([&](QMenu *menu) {
            openedAt = menu->pos();
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Down);
            QCOMPARE(menu->activeAction()->text(), QStringLiteral("Close All Profit Position"));
            QTest::keyClick(menu, Qt::Key_Return);
        });
        server->clearReceivedFrames();
        window->contextTradeMenu(point);
        const QPoint expected = trades->viewport()->mapToGlobal(point);
        QCOMPARE(openedAt.x(), expected.x());
        QVERIFY2(openedAt.y() == expected.y() || openedAt.y() < expected.y() - 100, "menu away from the pointer");

        QTRY_COMPARE(tradeRequests(*server, 9).size(), 1);
        const auto frames = server->receivedFrames();
        QString closeAllText;
        for (const auto &frame : frames)
            if (frame.object.value("type").toInt() == 9)
                closeAllText = frame.text;
        QCOMPARE(closeAllText, QStringLiteral("{\"dealer\":1000,\"login\":%1,\"req_code\":4,\"sub_type\":1,\"type\":9}").arg(Account));

        // Auto Arrange off, then on again: the columns share the width once more.
        QHeaderView *header = trades->horizontalHeader();
        for (QHeaderView::ResizeMode mode : {QHeaderView::Interactive, QHeaderView::Stretch}) {
            onNextMenu([](QMenu *menu) {
                for (QAction *action : menu->actions())
                    if (action->text() == QLatin1String("Auto Arrange"))
                        menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
            });
            window->contextTradeMenu(trades->visualRect(trades->model()->index(0, 2)).center());
            QCOMPARE(header->sectionResizeMode(0), mode);
        }

        // Below the last row: no menu.
        window->contextTradeMenu(QPoint(5, trades->viewport()->height() - 2));
        QVERIFY(!QApplication::activePopupWidget());
    }

    void closeAllOnlyForTheLoggedInAccount()
    {
        constexpr qint64 Other = 7000000456LL;
        server->addAccount(Other, QStringLiteral("other"), 500.0);
        server->setReplyDelay(400);
        QVERIFY(client->connectToServer(server->url().toString(), Other, QStringLiteral("other"), QStringLiteral("Sim")));
        // The window still shows the old account while the new one logs in.
        QCOMPARE(window->accountLogin(), Account);
        window->requestCloseAll(0);
        QTRY_COMPARE(window->accountLogin(), Other);
        server->setReplyDelay(0);
        window->requestCloseAll(2);
        QTRY_COMPARE(tradeRequests(*server, 9).size(), 1);
        QCOMPARE(tradeRequests(*server, 9).first().value("login").toVariant().toLongLong(), Other);
        QCOMPARE(tradeRequests(*server, 9).first().value("sub_type").toInt(), 2);
    }

    void oneClickOrders_data()
    {
        QTest::addColumn<bool>("buy");
        QTest::addColumn<double>("lots");
        QTest::addColumn<qint64>("volume");
        QTest::newRow("buy 0.57") << true << 0.57 << qint64(5700);
        QTest::newRow("sell 0.29") << false << 0.29 << qint64(2900);
        QTest::newRow("buy 1.13") << true << 1.13 << qint64(11300);
    }
    void oneClickOrders()
    {
        QFETCH(bool, buy);
        QFETCH(double, lots);
        QFETCH(qint64, volume);
        server->clearReceivedFrames();
        if (buy)
            window->doInstantBuy("USDJPY", lots);
        else
            window->doInstantSell("USDJPY", lots);
        QTRY_COMPARE(tradeRequests(*server, 0).size(), 1);
        const QJsonObject request = tradeRequests(*server, 0).first();
        QCOMPARE(request.value("volume").toVariant().toLongLong(), volume);
        QCOMPARE(request.value("order_type").toInt(), buy ? 0 : 1);
        QCOMPARE(request.value("symbol").toString(), QStringLiteral("USDJPY"));
        QCOMPARE(request.value("login").toVariant().toLongLong(), Account);
    }

    void tradeResultsSound()
    {
        QSignalSpy sounds(window, &Client_Terminal::soundPlayed);
        server->sendJson({{"res_code", 7}, {"status", 10009}, {"type", 0}});
        server->sendJson({{"res_code", 7}, {"status", 10006}, {"type", 0}});
        server->sendJson({{"res_code", 7}});
        QTRY_COMPARE(sounds.size(), 3);
        for (const auto &played : sounds)
            QCOMPARE(played.at(0).toString(), QStringLiteral(":/sound/trade.wav"));
    }

    void summaryAndNetTrade()
    {
        const QJsonObject position{{"ticket", 900001}, {"symbol", "EURUSD"}, {"type", "buy"}, {"volume", 2500},
                                   {"price", 1.1}, {"csize", 100000.0}, {"r_profit", 1.0}, {"digits", 5},
                                   {"profit", 12.5}};
        QTableWidget *trades = table("tradeTableWidget");
        QTableWidget *net = table("netTableWidget");
        const QString before = summaryText();
        QCOMPARE(trades->rowCount(), 0);

        // Not the last part: figures kept, positions and line untouched. The orders reply that
        // follows shows when the window has handled it.
        server->sendJson({{"res_code", 4}, {"balance", 100.0}, {"margin", 10.0}, {"credit", 5.0},
                          {"is_last", 0}, {"array", QJsonArray{position}}});
        const QJsonObject order{{"ticket", 900002}, {"symbol", "USDJPY"}, {"type", 2}, {"volume", 10000},
                                {"price", 140.0}, {"digits", 3}};
        server->sendJson({{"res_code", 6}, {"array", QJsonArray{order}}});
        QTRY_COMPARE(trades->rowCount(), 1);
        QCOMPARE(trades->item(0, 1)->text(), QStringLiteral("900002"));
        QCOMPARE(summaryText(), before);
        QCOMPARE(net->rowCount(), 1);

        // The last part: its positions, and their profit in the line at once.
        server->sendJson({{"res_code", 4}, {"balance", 100.0}, {"margin", 10.0}, {"credit", 5.0},
                          {"is_last", 1}, {"array", QJsonArray{position}}});
        QTRY_COMPARE(trades->rowCount(), 2);
        QCOMPARE(trades->item(0, 1)->text(), QStringLiteral("900001"));
        QCOMPARE(summaryText(), QStringLiteral(" Balance: 100.00, Net profit: 12.50, Equity: 117.50, Credit: 5.00, "
                                               "Used margin: 10.00, Free margin: 107.50"));
        QCOMPARE(rowTexts(net, 0), QStringList({"EURUSD", "1", "0.25", "1.10000", "0.00", "0.00000", "0.25", "12.50"}));
        QCOMPARE(rowTexts(net, 1), QStringList({"Summary", "1", "0.25", "", "0.00", "", "0.25", "12.50"}));
        QVERIFY(net->item(1, 0)->font().bold());

        // A quote reprices the row, the summary row and the line.
        server->setPrice("EURUSD", 1.1010, 1.1012);
        QTRY_COMPARE(net->item(0, 7)->text(), QStringLiteral("25.00"));
        QCOMPARE(rowTexts(net, 1).at(7), QStringLiteral("25.00"));
        QCOMPARE(summaryText(), QStringLiteral(" Balance: 100.00, Net profit: 25.00, Equity: 130.00, Credit: 5.00, "
                                               "Used margin: 10.00, Free margin: 120.00"));
        for (int row = 0; row < net->rowCount(); ++row)
            for (int column = 0; column < net->columnCount(); ++column)
                QCOMPARE(net->item(row, column)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    }
};

CORVANE_TEST_GUI_MAIN(TestLiveTables)
#include "tst_livetables.moc"
