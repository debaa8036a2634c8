// Order entry: the dialog's modes, the requests the simulated broker receives from it, how it
// settles trade replies, its tick chart, and every place of the main window that opens it.
#include "axistag.h"
#include "client_terminal.h"
#include "new_order.h"
#include "simtradeserver.h"
#include "testmain.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QJsonDocument>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <qcustomplot.h>

namespace {

constexpr qint64 Account = 7000000321LL;

QJsonObject parse(const QString &text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

// Compares "key=value; ..." descriptions; a value part "*" (between commas) matches anything, and
// keys the expectation leaves out are not compared.
QString mismatches(const QMap<QString, QString> &actual, const QString &expected)
{
    QStringList wrong;
    for (const QString &entry : expected.split(QStringLiteral("; "))) {
        const QString key = entry.section(QLatin1Char('='), 0, 0);
        const QStringList want = entry.section(QLatin1Char('='), 1).split(QLatin1Char(','));
        const QStringList have = actual.value(key).split(QLatin1Char(','));
        bool same = want.size() == have.size();
        for (int i = 0; same && i < want.size(); ++i)
            same = want.at(i) == QLatin1String("*") || want.at(i) == have.at(i);
        if (!same)
            wrong << QStringLiteral("%1: %2 (wanted %3)").arg(key, have.join(','), want.join(','));
    }
    return wrong.join(QStringLiteral("; "));
}

} // namespace

class TestOrderEntry : public QObject
{
    Q_OBJECT

    std::unique_ptr<simbroker::SimTradeServer> server;
    std::unique_ptr<TradeClient> client;
    std::unique_ptr<Client_Terminal> window;
    QString sessionOf; // the test function that started the running session

    // Tickets past 32 bits: a buy and a sell EURUSD position, a lone USDJPY position, a GBPUSD
    // sell stop limit and a GBPUSD buy limit order.
    qint64 buyPosition = 0, sellPosition = 0, lonePosition = 0, stopLimitOrder = 0, buyLimitOrder = 0;

    void startSession()
    {
        window.reset();
        client.reset();
        server = std::make_unique<simbroker::SimTradeServer>();
        QVERIFY(server->listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        server->addAccount(Account, "secret", 100000.0, "Jane Trader");
        server->setNextTicket(5000000001LL);
        buyPosition = server->addPosition(Account, {{"symbol", "EURUSD"}, {"type", "buy"}, {"volume", 5700},
                                                    {"price_o", 1.1}, {"price", 1.1}, {"sl", 1.05}, {"tp", 1.2}});
        sellPosition = server->addPosition(Account, {{"symbol", "EURUSD"}, {"type", "sell"}, {"volume", 1000},
                                                     {"price_o", 1.09}, {"price", 1.09}});
        lonePosition = server->addPosition(Account, {{"symbol", "USDJPY"}, {"type", "buy"}, {"volume", 1000},
                                                     {"price_o", 150.0}, {"price", 150.0}});
        stopLimitOrder = server->addOrder(Account, {{"symbol", "GBPUSD"}, {"type", 7}, {"volume", 3000},
                                                    {"price", 1.1}, {"s_price", 1.09}, {"sl", 1.15}, {"tp", 1.0}});
        buyLimitOrder = server->addOrder(Account, {{"symbol", "GBPUSD"}, {"type", 2}, {"volume", 2000},
                                                   {"price", 1.0}, {"sl", 0.9}, {"tp", 1.3}});
        client = std::make_unique<TradeClient>();
        window = std::make_unique<Client_Terminal>(client.get());
        window->resize(1200, 800);
        client->connectToServer(server->url().toString(), Account, "secret", "Sim");
        QTRY_VERIFY(!frames(5).isEmpty()); // the window's refresh after the login
        QTRY_VERIFY(window->getPendingOrder(buyLimitOrder).ticket == buyLimitOrder);
        QTRY_VERIFY(!window->getTick("USDJPY").symbol.isEmpty());
        QTRY_VERIFY(dialog()->findChild<QComboBox *>("symbolComboBox")->count() > 0);
        server->clearReceivedFrames();
        sessionOf = QString::fromLatin1(QTest::currentTestFunction());
    }

    New_Order *dialog() const { return window->findChild<New_Order *>(); }
    template <class T> static T *part(const QWidget *dialog, const char *name)
    {
        T *widget = dialog->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no %s in the dialog", name);
        return widget;
    }

    // The trade requests of this type the server received, as sent.
    QStringList frames(int type) const
    {
        QStringList texts;
        for (const auto &frame : server->receivedFrames())
            if (frame.object.value("req_code").toInt() == 4 && frame.object.value("type").toInt() == type)
                texts << frame.text;
        return texts;
    }
    qint64 ticketOf(const QString &record) const
    {
        if (record == "buy position" || record.isEmpty())
            return buyPosition;
        if (record == "sell position")
            return sellPosition;
        if (record == "lone position")
            return lonePosition;
        if (record == "stop limit order")
            return stopLimitOrder;
        if (record == "buy limit order")
            return buyLimitOrder;
        return 0;
    }

    // The uses of the dialog the modes test walks through: mode, record, symbol.
    struct Use { int mode; const char *record; const char *symbol; };
    static QMap<QString, Use> uses()
    {
        return {{"new order", {NewOrder, "", "EURUSD"}},
                {"modify stop limit order", {ModifyOrder, "stop limit order", "GBPUSD"}},
                {"modify buy limit order", {ModifyOrder, "buy limit order", "GBPUSD"}},
                {"modify position", {ModifyPosition, "buy position", "EURUSD"}},
                {"delete order", {DeleteOrder, "stop limit order", "GBPUSD"}},
                {"close position", {ClosePosition, "buy position", "EURUSD"}},
                {"close by hedge", {CloseByHedge, "buy position", "EURUSD"}},
                {"close by hedge, no opposite", {CloseByHedge, "lone position", "USDJPY"}}};
    }
    void prepare(New_Order *dlg, const Use &use)
    {
        dlg->setCurrentSymbol(QString::fromLatin1(use.symbol));
        dlg->setMode(use.mode, use.mode == NewOrder ? 0 : ticketOf(QString::fromLatin1(use.record)));
    }

    static QMap<QString, QString> describe(const QWidget *d)
    {
        const auto shown = [d](const char *name) {
            return part<QWidget>(d, name)->isVisibleTo(d) ? QStringLiteral("shown") : QStringLiteral("hidden");
        };
        const auto on = [d](const char *name) {
            return part<QWidget>(d, name)->isEnabled() ? QStringLiteral("on") : QStringLiteral("off");
        };
        const auto value = [d](const char *name) { return QString::number(part<QDoubleSpinBox>(d, name)->value()); };
        const auto index = [d](const char *name) { return QString::number(part<QComboBox>(d, name)->currentIndex()); };
        const auto both = [&](const char *a, const char *b) { return shown(a) == shown(b) ? shown(a) : QStringLiteral("mixed"); };
        QStringList opposites;
        auto *opposite = part<QComboBox>(d, "cmbOppositePositions");
        for (int i = 0; i < opposite->count(); ++i)
            opposites << opposite->itemText(i);
        return {{"title", d->windowTitle()},
                {"place", QStringList{part<QPushButton>(d, "placeButton")->text(), shown("placeButton"), on("placeButton")}.join(',')},
                {"kind", index("orederTypeComboBox") + ',' + on("orederTypeComboBox")},
                {"symbol", on("symbolComboBox")},
                {"pending", index("pendingOrderTypeBox") + ',' + on("pendingOrderTypeBox")},
                {"volume", value("volumeSpinBox") + ',' + on("volumeSpinBox")},
                {"price", value("priceSpinBox") + ',' + both("priceSpinBox", "priceLabel") + ',' + on("priceSpinBox")},
                {"stoplimit", value("stopLimitPriceSpinBox") + ',' + on("stopLimitPriceSpinBox")},
                {"sl", value("stopLossSpinBox") + ',' + on("stopLossSpinBox")},
                {"tp", value("takeprofitSpinBox") + ',' + on("takeprofitSpinBox")},
                {"buysell", both("buyButton", "sellButton")},
                {"opposite", both("lbl_positions", "cmbOppositePositions") + ',' + opposites.join(' ')}};
    }
    QString withTickets(QString text) const
    {
        return text.replace("#BUYLIMIT", QString::number(buyLimitOrder))
            .replace("#BUY", QString::number(buyPosition))
            .replace("#SELL", QString::number(sellPosition))
            .replace("#LONE", QString::number(lonePosition))
            .replace("#STOPLIMIT", QString::number(stopLimitOrder))
            .replace("#ACCOUNT", QString::number(Account));
    }

    // Opens a context menu through the given call and picks the entry.
    void chooseFromMenu(const QString &entry, const std::function<void()> &open)
    {
        QTimer::singleShot(0, this, [entry] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction *action : menu->actions())
                if (action->text() == entry)
                    menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
            if (menu->isVisible())
                menu->close();
        });
        open();
    }
    int rowOf(QTableWidget *table, const QString &text, int column)
    {
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, column) && table->item(row, column)->text() == text)
                return row;
        return -1;
    }

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }
    void cleanupTestCase()
    {
        window.reset();
        client.reset();
        server.reset();
    }

    void decimalsOfStep_data()
    {
        QTest::addColumn<double>("step");
        QTest::addColumn<int>("decimals");
        QTest::newRow("hundredth") << 0.01 << 2;
        QTest::newRow("tenth") << 0.1 << 1;
        QTest::newRow("whole") << 1.0 << 0;
        QTest::newRow("quarter") << 0.25 << 2;
        QTest::newRow("finest shown") << 0.0005 << 4;
        QTest::newRow("below four decimals") << 0.00004 << 0;
    }
    void decimalsOfStep()
    {
        QFETCH(double, step);
        QFETCH(int, decimals);
        QCOMPARE(New_Order::decimalsOf(step), decimals);
    }

    // Times in seconds; each tick's bid is its time + 1000 and its ask + 2000, so a bid or an ask
    // kept for the wrong tick shows.
    void tickWindow_data()
    {
        QTest::addColumn<QVector<double>>("times");
        QTest::addColumn<QVector<double>>("kept");
        QTest::newRow("200 s apart stays") << QVector<double>{0, 100, 200} << QVector<double>{0, 100, 200};
        QTest::newRow("201 s drops the first") << QVector<double>{0, 100, 200, 201} << QVector<double>{100, 200, 201};
        QTest::newRow("a gap drops all before") << QVector<double>{0, 1, 2, 500} << QVector<double>{500};
        QTest::newRow("fractions") << QVector<double>{10.25, 210.25, 210.5} << QVector<double>{210.25, 210.5};
    }
    void tickWindow()
    {
        QFETCH(QVector<double>, times);
        QFETCH(QVector<double>, kept);
        QVector<double> t, bids, asks;
        for (double time : times)
            TickWindow::append(t, bids, asks, time, time + 1000, time + 2000);
        QCOMPARE(t, kept);
        for (int i = 0; i < kept.size(); ++i) {
            QCOMPARE(bids.at(i), kept.at(i) + 1000);
            QCOMPARE(asks.at(i), kept.at(i) + 2000);
        }
        const TickWindow::Range range = TickWindow::timeRange(t);
        QCOMPARE(range.lower, kept.first());
        QCOMPARE(range.upper, kept.first() + 205.0);
    }

    // Each use of the dialog from a fresh dialog and after every other use: what its mode names
    // must be so whatever came before.
    void modes_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("use");
        QTest::addColumn<QString>("expected");
        const QMap<QString, QString> expected = {
            {"new order", "title=New Order; place=Place,hidden,on; kind=0,on; symbol=on; pending=*,on; volume=*,on; "
                          "price=*,hidden,on; sl=*,on; tp=*,on; buysell=shown; opposite=hidden,*"},
            {"modify stop limit order", "title=Order; place=Modify Order ##STOPLIMIT,shown,on; kind=1,off; symbol=off; "
                                        "pending=5,off; volume=0.3,off; price=1.1,shown,on; stoplimit=1.09,on; "
                                        "sl=1.15,on; tp=1,on; buysell=hidden; opposite=hidden,*"},
            {"modify buy limit order", "title=Order; place=Modify Order ##BUYLIMIT,shown,on; kind=1,off; symbol=off; "
                                       "pending=0,off; volume=0.2,off; price=1,shown,on; stoplimit=0,on; "
                                       "sl=0.9,on; tp=1.3,on; buysell=hidden; opposite=hidden,*"},
            {"modify position", "title=Position; place=Modify Position ##BUY,shown,on; kind=0,off; symbol=off; "
                                "volume=0.57,off; price=1.1,shown,off; sl=1.05,on; tp=1.2,on; buysell=hidden; "
                                "opposite=hidden,*"},
            {"delete order", "title=Order; place=Delete Order ##STOPLIMIT,shown,on; kind=1,off; symbol=off; "
                             "pending=5,off; volume=0.3,off; price=1.1,shown,off; stoplimit=1.09,off; sl=1.15,off; "
                             "tp=1,off; buysell=hidden; opposite=hidden,*"},
            {"close position", "title=Position; place=Close Position ##BUY,shown,on; kind=0,off; symbol=off; "
                               "volume=0.57,*; price=1.1,shown,off; sl=1.05,off; tp=1.2,off; buysell=hidden; "
                               "opposite=hidden,*"},
            {"close by hedge", "title=Close By Hedge; place=Close Position By Hedge ##BUY,shown,on; kind=0,off; "
                               "symbol=off; volume=0.57,*; price=1.1,shown,off; sl=1.05,off; tp=1.2,off; "
                               "buysell=hidden; opposite=shown,#SELL"},
            {"close by hedge, no opposite", "title=Close By Hedge; place=Close Position By Hedge ##LONE,shown,off; "
                                            "kind=0,off; symbol=off; volume=0.1,*; price=150,shown,off; sl=0,off; "
                                            "tp=0,off; buysell=hidden; opposite=shown,"},
        };
        QStringList befores = uses().keys();
        befores.prepend("fresh dialog");
        for (const QString &before : befores)
            for (auto it = expected.cbegin(); it != expected.cend(); ++it)
                QTest::addRow("%s after %s", qPrintable(it.key()), qPrintable(before)) << before << it.key() << it.value();
    }
    void modes()
    {
        QFETCH(QString, before);
        QFETCH(QString, use);
        QFETCH(QString, expected);
        if (!window || sessionOf != QLatin1String("modes"))
            startSession(); // nothing here changes the account: the rows share one session
        New_Order dlg(client.get(), window.get());
        dlg.setSymbolList(window->symbolStorage()->allSymbols());
        if (uses().contains(before))
            prepare(&dlg, uses().value(before));
        prepare(&dlg, uses().value(use));
        const QString wrong = mismatches(describe(&dlg), withTickets(expected));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    // A close prepared before its symbol has a quote is set up whole but cannot be sent until
    // a quote gives the volume limits.
    void closeWaitsForQuote_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("close position") << int(ClosePosition) << "buy position"
            << "title=Position; place=Close Position ##BUY,shown,off; volume=0.57,*; price=1.1,shown,off; buysell=hidden"
            << "place=Close Position ##BUY,shown,on; volume=0.57,*";
        QTest::newRow("close by hedge") << int(CloseByHedge) << "buy position"
            << "title=Close By Hedge; place=Close Position By Hedge ##BUY,shown,off; opposite=shown,#SELL; buysell=hidden"
            << "place=Close Position By Hedge ##BUY,shown,on";
        QTest::newRow("close by hedge, no opposite") << int(CloseByHedge) << "lone position"
            << "title=Close By Hedge; place=Close Position By Hedge ##LONE,shown,off; opposite=shown,"
            << "place=Close Position By Hedge ##LONE,shown,off";
    }
    void closeWaitsForQuote()
    {
        QFETCH(int, mode);
        QFETCH(QString, record);
        QFETCH(QString, before);
        QFETCH(QString, after);
        startSession();
        New_Order *dlg = dialog();
        // A modify-order use first: a half-done close would keep its title and Place text.
        dlg->setCurrentSymbol("GBPUSD");
        dlg->setMode(ModifyOrder, stopLimitOrder);
        window->symbolStorage()->clear(); // no quote of any symbol is stored now
        const Position position = window->getPosition(ticketOf(record));
        dlg->setCurrentSymbol(position.symbol);
        dlg->setMode(mode, position.ticket);
        QString wrong = mismatches(describe(dlg), withTickets(before));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

        server->setPrice("GBPUSD", 1.2, 1.2002); // another symbol's quote changes nothing
        server->setPrice(position.symbol, position.symbol == "USDJPY" ? 150.5 : 1.08, position.symbol == "USDJPY" ? 150.52 : 1.0802);
        QTRY_COMPARE(window->getTick(position.symbol).symbol, position.symbol);
        wrong = mismatches(describe(dlg), withTickets(after));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    // What the server receives for each button; a use prepares the dialog, then the fields are
    // set (-1 leaves one as the use left it) and the button pressed.
    void requests_data()
    {
        QTest::addColumn<QString>("use");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("pending");
        QTest::addColumn<double>("volume");
        QTest::addColumn<double>("price");
        QTest::addColumn<double>("stopLimit");
        QTest::addColumn<double>("sl");
        QTest::addColumn<double>("tp");
        QTest::addColumn<int>("expiry");
        QTest::addColumn<int>("expirySeconds");
        QTest::addColumn<QString>("sent");
        const QString market = R"({"login":#ACCOUNT,"order_type":%1,"req_code":4,"symbol":"EURUSD","type":0,"volume":%2%3})";
        QTest::newRow("buy 0.5, take profit only") << "new order" << "buy" << 0 << -1 << 0.5 << -1.0 << -1.0 << 0.0 << 1.2 << -1 << 0
            << market.arg(0).arg(5000).arg(R"(,"tp":1.2)");
        QTest::newRow("sell 0.57, stop loss only") << "new order" << "sell" << 0 << -1 << 0.57 << -1.0 << -1.0 << 1.2 << 0.0 << -1 << 0
            << market.arg(1).arg(5700).arg(R"(,"sl":1.2)");
        QTest::newRow("buy 1.13, both") << "new order" << "buy" << 0 << -1 << 1.13 << -1.0 << -1.0 << 1.0 << 1.2 << -1 << 0
            << market.arg(0).arg(11300).arg(R"(,"sl":1,"tp":1.2)");
        const QString pending = R"({"login":#ACCOUNT,"order_id":0,"order_type":%1,"price":1.01,"req_code":4,"sl":0,)"
                                R"("symbol":"EURUSD","t_time":%2,"tp":0,"type":0,"volume":1000%3})";
        QTest::newRow("buy limit, GTC") << "new order" << "place" << 1 << 0 << 0.1 << 1.01 << 1.0 << 0.0 << 0.0 << 0 << 0
            << pending.arg(2).arg(0).arg("");
        QTest::newRow("sell stop limit adds its price") << "new order" << "place" << 1 << 5 << 0.1 << 1.01 << 1.02 << 0.0 << 0.0 << 0 << 0
            << pending.arg(7).arg(0).arg(R"(,"s_price":1.02)");
        QTest::newRow("specified 90 s ahead") << "new order" << "place" << 1 << 0 << 0.1 << 1.01 << 1.0 << 0.0 << 0.0 << 2 << 90
            << pending.arg(2).arg(2).arg(R"(,"exp_mins":1)");
        QTest::newRow("specified in the past") << "new order" << "place" << 1 << 0 << 0.1 << 1.01 << 1.0 << 0.0 << 0.0 << 2 << -600
            << pending.arg(2).arg(2).arg("");
        QTest::newRow("today") << "new order" << "place" << 1 << 0 << 0.1 << 1.01 << 1.0 << 0.0 << 0.0 << 1 << 0
            << pending.arg(2).arg(1).arg("");
        QTest::newRow("close position") << "close position" << "place" << -1 << -1 << -1.0 << -1.0 << -1.0 << -1.0 << -1.0 << -1 << 0
            << R"({"login":#ACCOUNT,"order_id":#BUY,"order_type":2,"price":1.1,"req_code":4,"sl":1.05,"symbol":"EURUSD",)"
               R"("t_time":0,"tp":1.2,"type":4,"volume":5700})";
        QTest::newRow("close by hedge") << "close by hedge" << "place" << -1 << -1 << -1.0 << -1.0 << -1.0 << -1.0 << -1.0 << -1 << 0
            << R"({"login":#ACCOUNT,"order_id":#BUY,"order_type":2,"position_by_id":#SELL,"position_id":#BUY,"price":1.1,)"
               R"("req_code":4,"sl":1.05,"symbol":"EURUSD","t_time":0,"tp":1.2,"type":10,"volume":5700})";
        QTest::newRow("modify stop limit order") << "modify stop limit order" << "place" << -1 << -1 << -1.0 << -1.0 << -1.0 << 1.16 << -1.0 << -1 << 0
            << R"({"login":#ACCOUNT,"order_id":#STOPLIMIT,"order_type":7,"price":1.1,"req_code":4,"s_price":1.09,"sl":1.16,)"
               R"("symbol":"GBPUSD","t_time":0,"tp":1,"type":1,"volume":3000})";
        QTest::newRow("delete order") << "delete order" << "place" << -1 << -1 << -1.0 << -1.0 << -1.0 << -1.0 << -1.0 << -1 << 0
            << R"({"login":#ACCOUNT,"order_id":#STOPLIMIT,"order_type":7,"price":1.1,"req_code":4,"sl":1.15,)"
               R"("symbol":"GBPUSD","t_time":0,"tp":1,"type":3,"volume":3000})";
    }
    void requests()
    {
        QFETCH(QString, use);
        QFETCH(QString, button);
        QFETCH(int, kind);
        QFETCH(int, pending);
        QFETCH(double, volume);
        QFETCH(double, price);
        QFETCH(double, stopLimit);
        QFETCH(double, sl);
        QFETCH(double, tp);
        QFETCH(int, expiry);
        QFETCH(int, expirySeconds);
        QFETCH(QString, sent);
        startSession();
        New_Order *dlg = dialog();
        prepare(dlg, uses().value(use));
        dlg->show();
        if (kind >= 0)
            part<QComboBox>(dlg, "orederTypeComboBox")->setCurrentIndex(kind);
        if (pending >= 0)
            part<QComboBox>(dlg, "pendingOrderTypeBox")->setCurrentIndex(pending);
        const QList<QPair<const char *, double>> fields = {{"volumeSpinBox", volume}, {"priceSpinBox", price},
                                                           {"stopLimitPriceSpinBox", stopLimit},
                                                           {"stopLossSpinBox", sl}, {"takeprofitSpinBox", tp}};
        for (const auto &[name, value] : fields)
            if (value >= 0)
                part<QDoubleSpinBox>(dlg, name)->setValue(value);
        if (expiry >= 0) {
            part<QComboBox>(dlg, "expTypeBox")->setCurrentIndex(expiry);
            if (expiry == 2)
                part<QDateTimeEdit>(dlg, "expDateTimeEdit")->setDateTime(QDateTime::currentDateTime().addSecs(expirySeconds));
        }
        QTest::mouseClick(part<QPushButton>(dlg, qPrintable(button + "Button")), Qt::LeftButton);
        QCOMPARE(part<QLabel>(dlg, "responseLabel")->text(), QStringLiteral("Please wait while request sending..."));

        const QJsonObject expected = parse(withTickets(sent));
        const int type = expected.value("type").toInt();
        QTRY_COMPARE(frames(type).size(), 1);
        QCOMPARE(parse(frames(type).first()), expected);
    }

    // The first trade reply while the dialog waits settles its request; the refresh follows
    // replies of closes (4), of type 6 and of close all (9) with a status above 0.
    void replies_data()
    {
        QTest::addColumn<bool>("waiting");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("stillShown");
        QTest::addColumn<QString>("shownText"); // the response text, empty when it is hidden
        QTest::addColumn<int>("refreshes");
        QTest::newRow("done close while waiting") << true << R"({"status":10009,"type":4,"msg":"Done"})" << false << "" << 1;
        QTest::newRow("done close, not waiting") << false << R"({"status":10009,"type":4})" << true << "" << 0;
        QTest::newRow("failure with a reason") << true << R"({"status":10019,"type":0,"msg":"No money","fail_reason":"Margin"})"
                                               << true << "No money - Margin" << 0;
        QTest::newRow("failed close, empty reason") << true << R"({"status":10006,"type":4,"msg":"Rejected","fail_reason":""})"
                                                    << true << "Rejected" << 1;
        QTest::newRow("failed close all") << true << R"({"status":10006,"type":9,"msg":"Rejected"})" << true << "Rejected" << 1;
        QTest::newRow("type 6") << true << R"({"status":10006,"type":6,"msg":"x"})" << true << "x" << 1;
        QTest::newRow("status 0") << true << R"({"status":0,"type":4,"msg":"odd"})" << true << "odd" << 0;
        QTest::newRow("no status") << true << R"({"type":9})" << true << "" << 0;
    }
    void replies()
    {
        QFETCH(bool, waiting);
        QFETCH(QString, reply);
        QFETCH(bool, stillShown);
        QFETCH(QString, shownText);
        QFETCH(int, refreshes);
        startSession();
        server->setReplyDelay(600000); // the server's own answers never come during the test
        New_Order *dlg = dialog();
        prepare(dlg, uses().value("new order"));
        dlg->show();
        if (waiting) {
            part<QPushButton>(dlg, "buyButton")->click();
            QTRY_COMPARE(frames(0).size(), 1);
        }
        server->clearReceivedFrames();

        QSignalSpy sounds(window.get(), &Client_Terminal::soundPlayed);
        QJsonObject response = parse(reply);
        response.insert("res_code", 7);
        server->sendJson(response);
        QVERIFY(sounds.wait());
        QCoreApplication::processEvents(); // the dialog's copy of the reply follows the window's
        auto *text = part<QLabel>(dlg, "responseLabel");
        QCOMPARE(dlg->isVisible(), stillShown);
        QCOMPARE(text->isVisibleTo(dlg) ? text->text() : QString(), shownText);
        QCOMPARE(part<QLabel>(dlg, "rateLabel")->isVisibleTo(dlg), !waiting || !stillShown);
        auto *place = part<QPushButton>(dlg, "placeButton");
        if (waiting && stillShown) {
            QCOMPARE(place->text(), QStringLiteral("OK"));
            QVERIFY(place->isVisibleTo(dlg));
            place->click(); // acknowledges, sends nothing
            QVERIFY(!dlg->isVisible());
        }
        client->sendRequest(TradeMessages::chartHistoryRequest("MARKER", 1, 0, -1));
        QTRY_VERIFY(!server->receivedRequests(3).isEmpty());
        QCOMPARE(frames(0), QStringList());
        QStringList refreshSent;
        for (int i = 0; i < refreshes; ++i)
            refreshSent << withTickets(R"({"login":#ACCOUNT,"req_code":4,"type":5})");
        QCOMPARE(frames(5), refreshSent);
    }

    // A request left unanswered or a failure left unacknowledged must not swallow the next
    // request after the dialog is prepared again.
    void nextUseSendsAfterUnsettledRequest_data()
    {
        QTest::addColumn<QString>("left");
        QTest::newRow("closed while sending") << "sending";
        QTest::newRow("closed with a failure shown") << "failure";
    }
    void nextUseSendsAfterUnsettledRequest()
    {
        QFETCH(QString, left);
        startSession();
        server->setReplyDelay(600000);
        New_Order *dlg = dialog();
        prepare(dlg, uses().value("new order"));
        dlg->show();
        part<QPushButton>(dlg, "buyButton")->click();
        QTRY_COMPARE(frames(0).size(), 1);
        if (left == "failure") {
            QSignalSpy sounds(window.get(), &Client_Terminal::soundPlayed);
            server->sendJson({{"res_code", 7}, {"status", 10019}, {"type", 0}, {"msg", "No money"}});
            QVERIFY(sounds.wait());
            QTRY_COMPARE(part<QPushButton>(dlg, "placeButton")->text(), QStringLiteral("OK"));
        }
        dlg->close();

        window->findChild<QAction *>("actionNew_Order")->trigger();
        QVERIFY(dlg->isVisible());
        QVERIFY(!part<QLabel>(dlg, "responseLabel")->isVisibleTo(dlg));
        part<QComboBox>(dlg, "orederTypeComboBox")->setCurrentIndex(1);
        part<QDoubleSpinBox>(dlg, "priceSpinBox")->setValue(1.01);
        part<QPushButton>(dlg, "placeButton")->click();
        QTRY_COMPARE(frames(0).size(), 2);
        QVERIFY(parse(frames(0).last()).contains("order_id"));
    }

    // Every place of the main window that opens the dialog, and what it prepares.
    void openedFromWindow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("target"); // a market-watch symbol or a trade-table record
        QTest::addColumn<QString>("expected");
        QTest::newRow("F9") << "F9" << "GBPUSD" << "title=New Order; place=Place,hidden,on; symbol=on; chart=Tick Chart: GBPUSD; chosen=GBPUSD";
        QTest::newRow("Tools menu") << "Tools" << "USDJPY" << "title=New Order; chosen=USDJPY";
        QTest::newRow("market watch double-click") << "double-click" << "USDJPY" << "title=New Order; chart=Tick Chart: USDJPY; chosen=USDJPY";
        QTest::newRow("market watch menu") << "New Order" << "XAUUSD" << "title=New Order; chosen=XAUUSD";
        QTest::newRow("position double-click") << "double-click" << "buy position"
            << "title=Position; place=Close Position ##BUY,shown,on; chosen=EURUSD";
        QTest::newRow("order double-click") << "double-click" << "stop limit order"
            << "title=Order; place=Modify Order ##STOPLIMIT,shown,on; chosen=GBPUSD";
        QTest::newRow("Close Position") << "Close Position" << "buy position" << "place=Close Position ##BUY,shown,on";
        QTest::newRow("Close By Hedge") << "Close By Hedge" << "buy position" << "place=Close Position By Hedge ##BUY,shown,on; opposite=shown,#SELL";
        QTest::newRow("Modify Position") << "Modify Position" << "buy position" << "place=Modify Position ##BUY,shown,on";
        QTest::newRow("Delete Order") << "Delete Order" << "stop limit order" << "place=Delete Order ##STOPLIMIT,shown,on";
        QTest::newRow("Modify Order") << "Modify Order" << "buy limit order" << "place=Modify Order ##BUYLIMIT,shown,on";
    }
    void openedFromWindow()
    {
        QFETCH(QString, how);
        QFETCH(QString, target);
        QFETCH(QString, expected);
        startSession();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        auto *symbols = window->findChild<QTableWidget *>("symbolTableWidget");
        auto *trades = window->findChild<QTableWidget *>("tradeTableWidget");
        const qint64 ticket = ticketOf(target);
        const bool tradeRow = target.contains(' ');
        QTableWidget *table = tradeRow ? trades : symbols;
        const int row = tradeRow ? rowOf(trades, QString::number(ticket), 1) : rowOf(symbols, target, 0);
        QVERIFY(row >= 0);
        table->setCurrentCell(row, 0);
        const QRect cell = table->visualRect(table->model()->index(row, 2));
        if (how == "F9")
            QTest::keyClick(window.get(), Qt::Key_F9);
        else if (how == "Tools")
            window->findChild<QAction *>("actionNew_Order")->trigger();
        else if (how == "double-click") {
            // As a mouse sends it: the first click, then the double click.
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        }
        else if (tradeRow)
            chooseFromMenu(how, [&] { window->contextTradeMenu(cell.center()); });
        else
            chooseFromMenu(how, [&] { window->showTickContextMenu(cell.center()); });

        New_Order *dlg = dialog();
        QTRY_VERIFY(dlg->isVisible());
        auto state = describe(dlg);
        state.insert("chart", part<QLabel>(dlg, "chartTitleLabel")->text());
        state.insert("chosen", part<QComboBox>(dlg, "symbolComboBox")->currentText());
        const QString wrong = mismatches(state, withTickets(expected));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    // Each symbol-list reply refills the box; the trader's symbol stays when the list holds it.
    void symbolListKeepsChoice_data()
    {
        QTest::addColumn<bool>("fromServer");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("server resends the list") << true << QStringList() << "GBPUSD";
        QTest::newRow("list without it") << false << QStringList{"EURUSD", "USDJPY"} << "EURUSD";
    }
    void symbolListKeepsChoice()
    {
        QFETCH(bool, fromServer);
        QFETCH(QStringList, list);
        QFETCH(QString, chosen);
        startSession();
        New_Order *dlg = dialog();
        dlg->setCurrentSymbol("GBPUSD");
        dlg->setMode(NewOrder, 0);
        dlg->show();
        auto *box = part<QComboBox>(dlg, "symbolComboBox");
        if (fromServer) {
            QSignalSpy refilled(window->symbolStorage(), &SymbolDataStorage::symbolSettingChanged);
            server->sendJson({{"res_code", 8}, {"array", server->market().symbolListJson()}});
            QVERIFY(refilled.wait());
        } else {
            dlg->setSymbolList(list);
        }
        QCOMPARE(box->currentText(), chosen);
        const TickData tick = window->getTick(chosen);
        QCOMPARE(part<QLabel>(dlg, "rateLabel")->text(),
                 QString::number(tick.bid, 'f', tick.digits) + '/' + QString::number(tick.ask, 'f', tick.digits));
        part<QPushButton>(dlg, "buyButton")->click();
        QTRY_COMPARE(frames(0).size(), 1);
        QCOMPARE(parse(frames(0).first()).value("symbol").toString(), chosen);
    }

    // The account labels at login, the live rate, and the tick chart as the trader sees it: the
    // bid line red below the blue ask line, each with its tag; a symbol without ticks shows none.
    void tickChart()
    {
        startSession();
        New_Order *dlg = dialog();
        QCOMPARE(part<QLabel>(dlg, "clientNameLabel")->text(), QStringLiteral("Jane Trader"));
        QCOMPARE(part<QLabel>(dlg, "serverNameLabel")->text(), QStringLiteral("Sim"));
        auto *plot = part<QCustomPlot>(dlg, "tickGraphWidget");
        QSignalSpy replots(plot, &QCustomPlot::afterReplot);
        QSignalSpy timer(dlg->findChild<QTimer *>(), &QTimer::timeout);
        QVERIFY(timer.wait() && timer.wait());
        QCOMPARE(replots.count(), 0); // hidden: nothing is drawn

        prepare(dlg, uses().value("new order"));
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        auto *rate = part<QLabel>(dlg, "rateLabel");
        server->setPrice("EURUSD", 1.08, 1.0803);
        QTRY_COMPARE(rate->text(), QStringLiteral("1.08000/1.08030"));
        server->setPrice("GBPUSD", 1.25, 1.2503); // another symbol leaves the rate
        QTRY_COMPARE(window->getTick("GBPUSD").bid, 1.25);
        QCOMPARE(rate->text(), QStringLiteral("1.08000/1.08030"));

        // Later ticks 20 and 100 s apart with the lines well inside the price range.
        const qint64 t0 = QDateTime::currentMSecsSinceEpoch() + 10000;
        const auto quote = [](qint64 ms, double bid, double ask) {
            return TickData{"EURUSD", ms / 1000, bid, ask, 0.0, ms, 5, 0.01, 100.0, 0.01, 0, 0, 0, 0};
        };
        window->onPrice(quote(t0, 1.0780, 1.0830));
        window->onPrice(quote(t0 + 20000, 1.0796, 1.0812));
        window->onPrice(quote(t0 + 100000, 1.07961, 1.08121));
        QTRY_COMPARE(plot->graph(0)->dataCount(), 5);
        replots.clear();
        QTRY_VERIFY(replots.count() >= 2); // the tags move after a redraw and show with the next

        const QList<AxisTag *> tags = plot->yAxis2->findChildren<AxisTag *>();
        QCOMPARE(tags.size(), 2);
        QStringList tagTexts{tags.at(0)->label->text(), tags.at(1)->label->text()};
        tagTexts.sort();
        QCOMPARE(tagTexts, (QStringList{"1.07961", "1.08121"}));

        const QImage image = dlg->grab().toImage();
        const auto colourNear = [&](double key, double value) {
            const QPoint at = plot->mapTo(dlg, QPoint(int(plot->xAxis->coordToPixel(key)),
                                                      int(plot->yAxis2->coordToPixel(value))));
            for (int dy = -2; dy <= 2; ++dy) {
                const QColor c = image.pixelColor(at + QPoint(0, dy));
                if (c.red() > 180 && c.green() < 120 && c.blue() < 120)
                    return QStringLiteral("red");
                if (c.blue() > 180 && c.red() < 120 && c.green() < 120)
                    return QStringLiteral("blue");
            }
            return QStringLiteral("none");
        };
        const double middle = (t0 + 60000) / 1000.0;
        QCOMPARE(colourNear(middle, 1.0796), QStringLiteral("red"));
        QCOMPARE(colourNear(middle, 1.0812), QStringLiteral("blue"));
        QCOMPARE(colourNear(middle, 1.0804), QStringLiteral("none"));
        // Each tag's box frame, at its left edge, in the tag's colour.
        for (AxisTag *tag : tags) {
            const QPoint left = plot->mapTo(dlg, tag->label->left->pixelPosition().toPoint());
            bool framed = false;
            for (int dx = -1; dx <= 1; ++dx)
                framed = framed || image.pixelColor(left + QPoint(dx, 0)) == tag->label->pen().color();
            QVERIFY2(framed, qPrintable(tag->label->text()));
        }

        // A symbol without ticks: no rate, no lines, no tags.
        dlg->setSymbolList(window->symbolStorage()->allSymbols() << "ZZNOTICK");
        part<QComboBox>(dlg, "symbolComboBox")->setCurrentText("ZZNOTICK");
        QCOMPARE(rate->text(), QString());
        QTRY_COMPARE(plot->graph(0)->dataCount(), 0);
        QVERIFY(!tags.at(0)->label->visible() && !tags.at(1)->arrow->visible());
    }
};

CORVANE_TEST_GUI_MAIN(TestOrderEntry)
#include "tst_orderentry.moc"
