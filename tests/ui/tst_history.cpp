// The "History" tab: the three tables as the window fills them from trade-history replies, the
// tab's context menu with its period requests read back at the simulated trade server, and the
// HTML account statement read back as XML and as a real browser renders it.
#include "historytables.h"
#include "loggedinwindow.h"
#include "loopback.h"
#include "statementwriter.h"
#include "symboldatastorage.h"
#include "testmain.h"
#include "tradetable.h"

#include <QtWidgets>
#include <ctime>

using corvane_test::MustHappenMs;

namespace {

constexpr qint64 Account = 4000000007LL; // past 32 bits, as are some tickets below
const QDate Today(2026, 3, 30);          // a Monday, the day after Berlin's clocks went forward

QJsonObject with(QJsonObject object, const QJsonObject &changes)
{
    for (auto it = changes.begin(); it != changes.end(); ++it)
        object[it.key()] = it.value();
    return object;
}

QJsonObject deal(int kind, double profit, const QJsonObject &changes = {})
{
    return with({{"ticket", 900}, {"order", 800}, {"symbol", "EURUSD"}, {"type", kind}, {"time", 1700000000},
                 {"volume", 2000}, {"price", 1.1}, {"profit", profit}, {"digits", 2}}, changes);
}

QJsonObject closedPosition(double profit, const QJsonObject &changes = {})
{
    return with({{"ticket", 700}, {"symbol", "EURUSD"}, {"type", "buy"}, {"time", 1700000000}, {"digits", 5},
                 {"volume", 2000}, {"price_o", 1.0812}, {"price_c", 1.0837}, {"sl", 0}, {"tp", 1.084},
                 {"swap", -0.42}, {"profit", profit}}, changes);
}

QJsonObject order(int state, const QJsonObject &changes = {})
{
    return with({{"ticket", 800}, {"symbol", "EURUSD"}, {"type", 2}, {"time", 1700000000}, {"volume", 2000},
                 {"price", 1.08}, {"state", state}, {"digits", 5}}, changes);
}

// The rows of the statement's table as cells "tag colspan: text", read from the written file, or
// from the DOM a browser serialises once its void elements are closed.
QVector<QStringList> rowsOf(QString page)
{
    page.replace(QRegularExpression(QStringLiteral("<(meta|img|br)\\b([^>]*[^/])?>")), QStringLiteral("<\\1\\2/>"));
    QVector<QStringList> rows;
    QXmlStreamReader reader(page);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString tag = reader.name().toString();
        if (tag == QLatin1String("tr")) {
            rows.append(QStringList());
        } else if ((tag == QLatin1String("td") || tag == QLatin1String("th")) && !rows.isEmpty()) {
            const QString span = reader.attributes().value(QLatin1String("colspan")).toString();
            rows.last() << tag + ' ' + (span.isEmpty() ? QStringLiteral("1") : span) + ": "
                    + reader.readElementText(QXmlStreamReader::IncludeChildElements);
        }
    }
    if (reader.hasError())
        rows = {{"XML error: " + reader.errorString()}};
    return rows;
}

// A data row of the statement as rowsOf reads it: fourteen cells, the last spanning two.
QStringList dataCells(const QStringList &texts)
{
    QStringList cells;
    for (int i = 0; i < 14; ++i)
        cells << QString("td %1: %2").arg(i == 13 ? 2 : 1).arg(texts.value(i));
    return cells;
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

    corvane_test::LoggedInWindow session;
    std::unique_ptr<TradeClient> offlineClient;
    std::unique_ptr<Client_Terminal> offline;
    QList<QUrl> opened;

    // A window that never logged in, on its "History" tab, whose store knows EURUSD (5 digits).
    Client_Terminal *offlineWindow()
    {
        offlineClient = std::make_unique<TradeClient>();
        offline = std::make_unique<Client_Terminal>(offlineClient.get());
        offline->resize(1200, 800);
        offline->show();
        offline->findChild<QTabWidget *>(QStringLiteral("tabWidget_3"))->setCurrentIndex(1);
        offline->symbolStorage()->onSymbolListReceived(
            {{"res_code", 8}, {"array", QJsonArray{QJsonObject{{"symbol", "EURUSD"}, {"digits", 5}}}}});
        return offline.get();
    }

    bool startSession(const QString &holder, const std::function<void(simbroker::SimTradeServer &)> &seed = {})
    {
        if (!session.start(Account, seed, {QStringLiteral("secret"), 1000.0, holder, QHostAddress::LocalHost, false}))
            return false;
        session.window->setHistoryClock([] { return Today; });
        session.window->findChild<QTabWidget *>(QStringLiteral("tabWidget_3"))->setCurrentIndex(1);
        return true;
    }

    static QTableWidget *table(Client_Terminal *window, int index)
    {
        return window->findChild<QTableWidget *>(QStringList{"positionTableWidget", "orderTableWidget",
                                                             "dealTableWidget"}.value(index));
    }

    // Raises the history menu from `from` at `point` and walks `path` ("Period", "All") with the
    // keyboard, as a trader would; an empty path dismisses the menu. Returns where it opened and
    // the period entries that carried the check mark.
    QPair<QPoint, QStringList> useHistoryMenu(QTableWidget *from, const QPoint &point, const QStringList &path)
    {
        QPair<QPoint, QStringList> seen;
        QMenu *handled = nullptr;
        int step = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu || menu == handled)
                return;
            handled = menu;
            if (step == 0) {
                seen.first = menu->pos();
                for (QAction *top : menu->actions())
                    if (top->menu() && top->text() == QLatin1String("Period"))
                        for (QAction *entry : top->menu()->actions())
                            if (!entry->icon().isNull())
                                seen.second << entry->text();
            }
            QAction *target = nullptr;
            for (QAction *action : menu->actions())
                if (action->text() == path.value(step))
                    target = action;
            if (!target) {
                poll.stop();
                QTest::keyClick(menu, Qt::Key_Escape);
                return;
            }
            menu->setActiveAction(target);
            if (++step == path.size())
                poll.stop();
            QTest::keyClick(menu, step == path.size() ? Qt::Key_Return : Qt::Key_Right);
        });
        poll.start(5);
        emit from->customContextMenuRequested(point);
        return seen;
    }

public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    void initTestCase()
    {
        // Midnights are counted in a zone with clock changes; Qt reads TZ at each conversion.
        qputenv("TZ", "Europe/Berlin");
        tzset();
        Client_Terminal::setBrokerListHost(corvane_test::ownLoopbackHost(corvane_test::Loopback::Quiet));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void cleanup()
    {
        offline.reset();
        offlineClient.reset();
        session.stop();
        opened.clear();
    }

    // One reply per row: the cells of the table's first row, its icon, and the table's bold
    // summary row. EURUSD is known to the store with 5 digits; no other symbol is.
    void tables_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<int>("table"); // positions, orders, deals
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("summary");
        const QString t0 = TradeTable::formatTime(1700000000);
        const auto one = [](const char *array, const QJsonObject &element) {
            return QJsonObject{{"res_code", 5}, {array, QJsonArray{element}}};
        };
        QTest::newRow("wide ticket, million swap, huge digits")
            << one("positions", closedPosition(0, {{"swap", 1e6}, {"ticket", 5000000001LL}, {"digits", 2e9}})) << 0
            << QStringList{"EURUSD", "5000000001", t0, "buy", "0.20", "", "1.084000000000000", "1.081200000000000",
                           "1.083700000000000", "1e+06", "0.00"}
            << "Profit: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00";
        QTest::newRow("state 4.9 is filled, unknown symbol")
            << one("orders", order(0, {{"state", 4.9}, {"type", 7}, {"symbol", "XAUUSD"}, {"digits", 2}})) << 1
            << QStringList{"XAUUSD", "800", t0, "sell limit stop", "0.20", "", "", "1.08", "", "filled"}
            << "Filled: 1, Canceled: 0, Total: 1";
        QTest::newRow("type 9, state beyond int") << one("orders", order(0, {{"type", 9}, {"state", 1e300}})) << 1
            << QStringList{"EURUSD", "800", t0, "", "0.20", "", "", "1.08000", "", ""} << "Filled: 0, Canceled: 0, Total: 1";
        QTest::newRow("digits 2^31-1, wide tickets")
            << one("deals", deal(0, 1.0, {{"symbol", "GBPUSD"}, {"digits", 2147483647}, {"ticket", 5000000003LL},
                                          {"order", 5000000004LL}})) << 2
            << QStringList{"GBPUSD", "5000000003", "5000000004", t0, "buy", "0.20", "1.100000000000000", "1.00"}
            << "Profit: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00, Swap: 0.00, Commission: 0.00, Balance: 0.00";
        // Deposits above 0; a zero and a negative balance deal are withdrawals; trade deals'
        // profits count nowhere; the fee only lowers the balance.
        const QJsonObject movements{
            {"res_code", 5}, {"positions", QJsonArray{closedPosition(120.5), closedPosition(-20.0)}},
            {"orders", QJsonArray{order(4), order(2), order(4), order(1), order(6)}},
            {"deals", QJsonArray{deal(2, 1000.0), deal(2, 0.0), deal(2, -250.0), deal(3, 30.0),
                                 deal(0, 77.0, {{"swap", -1.25}, {"commission", -0.7}}),
                                 deal(1, -5.0, {{"commission", -0.7}}), deal(4, -9.0), deal(0, 0.0, {{"fee", -3.0}})}}};
        QTest::newRow("money movements, deals") << movements << 2
            << QStringList{"EURUSD", "900", "", TradeTable::formatTime(1700000000), "balance", "", "", "1000.00"}
            << "Profit: 100.50, Credit: 30.00, Deposit: 1000.00, Withdraw: -250.00, Swap: -1.25, Commission: -1.40, "
               "Balance: 874.85";
    }
    void tables()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(int, table);
        QFETCH(QStringList, cells);
        Client_Terminal *window = offlineWindow();
        window->historyTableLoad(reply);
        QTableWidget *t = TestHistory::table(window, table);
        QCOMPARE(Statement::tableTexts(t, t->columnCount(), 1).value(0), cells);
        const int last = t->rowCount() - 1;
        QTEST(t->item(last, 0)->text(), "summary");
        QVERIFY(t->item(last, 0)->font().bold() && t->columnSpan(last, 0) == t->columnCount());
        QVERIFY(!t->isSortingEnabled());
        // Looking digits up adds no symbol to the store (a market-watch row would follow).
        QCOMPARE(window->symbolStorage()->allSymbols(), QStringList{"EURUSD"});
    }

    // A time cell as the trader reads it in a zone with clock changes (Berlin), also across
    // both changes, and on either side of the times the C library converts; a long series of
    // times read the same way QDateTime reads them. A second entry of the suite runs these under
    // Egyptian Arabic (LC_ALL), where QDateTime writes the locale's own digits; its rows are
    // worked in them, so a locale that did not take shows red.
    void timeTexts_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        if (qEnvironmentVariable("LC_ALL").startsWith(QLatin1String("ar_EG"))) {
            QTest::newRow("epoch") << qint64(0) << "١٩٧٠.٠١.٠١ ٠١:٠٠:٠٠";
            QTest::newRow("winter") << qint64(1700000000) << "٢٠٢٣.١١.١٤ ٢٣:١٣:٢٠";
            QTest::newRow("summer") << qint64(1688000000) << "٢٠٢٣.٠٦.٢٩ ٠٢:٥٣:٢٠";
            QTest::newRow("last of 2037") << qint64(2145916799) << "٢٠٣٨.٠١.٠١ ٠٠:٥٩:٥٩";
            QTest::newRow("before the epoch") << qint64(-1) << "١٩٧٠.٠١.٠١ ٠٠:٥٩:٥٩";
            return;
        }
        QTest::newRow("winter") << qint64(1700000000) << "2023.11.14 23:13:20";
        QTest::newRow("summer") << qint64(1688000000) << "2023.06.29 02:53:20";
        QTest::newRow("before spring change") << qint64(1711846799) << "2024.03.31 01:59:59";
        QTest::newRow("spring change") << qint64(1711846800) << "2024.03.31 03:00:00";
        QTest::newRow("before autumn change") << qint64(1729990799) << "2024.10.27 02:59:59";
        QTest::newRow("autumn change") << qint64(1729990800) << "2024.10.27 02:00:00";
        QTest::newRow("epoch") << qint64(0) << "1970.01.01 01:00:00";
        QTest::newRow("last of 2037") << qint64(2145916799) << "2038.01.01 00:59:59";
        QTest::newRow("before the epoch") << qint64(-1) << "1970.01.01 00:59:59";
    }
    void timeTexts()
    {
        QFETCH(qint64, seconds);
        QTEST(TradeTable::TimeTexts()(seconds), "text");
        QTEST(TradeTable::formatTime(seconds), "text");
        const TradeTable::TimeTexts times;
        QRandomGenerator random{quint32(seconds)};
        for (int i = 0; i < 2000; ++i) {
            const qint64 t = qint64(random.bounded(4300000000.0)) - 100000000;
            QCOMPARE(times(t), QDateTime::fromSecsSinceEpoch(t, Qt::LocalTime).toString("yyyy.MM.dd hh:mm:ss"));
        }
    }

    // Each row picks one period of the menu, with "All" chosen before it; the server holds
    // closed positions from today back to 2020. The menu opens at the click, mapped through the
    // viewport of the table that asked.
    void menu_data()
    {
        QTest::addColumn<QString>("period");
        QTest::addColumn<QString>("request"); // what reaches the server
        QTest::addColumn<int>("closedRows");  // positions of the reply
        // Berlin midnights: 29 March (still winter time) to 31 March (summer time).
        QTest::newRow("Today") << "Today" << "1774738800..1774908000" << 1;
        QTest::newRow("This week") << "This week" << "1774220400..1774908000" << 2;
        QTest::newRow("This month") << "This month" << "1772233200..1774908000" << 3;
    }
    void menu()
    {
        QFETCH(QString, period);
        QVERIFY(startSession("Holder", [](simbroker::SimTradeServer &server) {
            for (qint64 time : {1774864800LL, 1774350000LL, 1772362800LL, 1588672800LL})
                server.addHistory(Account, "positions", closedPosition(1.0, {{"time", time}}));
        }));
        QTableWidget *positions = table(session.window.get(), 0);
        const QPoint point(30, 10);
        // A fresh window marks "Today", also after its login asked for yesterday and today.
        QCOMPARE(useHistoryMenu(positions, point, {"Period", "All"}).second, QStringList{"Today"});
        QTRY_COMPARE_WITH_TIMEOUT(positions->rowCount(), 5, MustHappenMs);
        session.server->clearReceivedFrames();

        const auto seen = useHistoryMenu(positions, point, {"Period", period});
        QCOMPARE(seen.second, QStringList{"All"});
        QCOMPARE(seen.first.x(), positions->viewport()->mapToGlobal(point).x());
        QTRY_COMPARE_WITH_TIMEOUT(session.server->receivedRequests(5).size(), 1, MustHappenMs);
        const QJsonObject sent = session.server->receivedRequests(5).value(0);
        QTEST(QStringLiteral("%1..%2").arg(sent.value("from").toVariant().toLongLong())
                  .arg(sent.value("to").toVariant().toLongLong()), "request");
        QFETCH(int, closedRows);
        QTRY_COMPARE_WITH_TIMEOUT(positions->rowCount(), closedRows + 1, MustHappenMs);
        QCOMPARE(useHistoryMenu(positions, point, {}).second, QStringList{period});
    }

    // The simulated broker's history adds up: from its opening deposit on, the deals summary's
    // balance is the account's own, as the account summary line shows it.
    void brokerHistoryAddsUp_data()
    {
        QTest::addColumn<bool>("demoAccounts"); // the documented accounts, logged in as 1001
        QTest::addColumn<QString>("period");    // "" for the history the login asks for
        QTest::addColumn<QString>("balance");
        QTest::newRow("1001, All") << true << "All" << "10048.18";
        QTest::newRow("opened at once, the login's history") << false << "" << "1000.00";
    }
    void brokerHistoryAddsUp()
    {
        QFETCH(bool, demoAccounts);
        QFETCH(QString, period);
        QFETCH(QString, balance);
        corvane_test::SessionOptions options;
        options.password = demoAccounts ? "demo1001" : "secret";
        QVERIFY(session.start(demoAccounts ? 1001 : Account, [&](simbroker::SimTradeServer &server) {
            if (demoAccounts)
                server.addDemoAccounts(); // sets up again the account the session opened
        }, options));
        const QTableWidget *deals = table(session.window.get(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(deals->rowCount() > 0, MustHappenMs); // the login's history
        if (!period.isEmpty()) {
            int loads = 0; // counted after the window's own load of the same reply
            QObject counter;
            connect(session.client.get(), &TradeClient::tradeHistoryReceived, &counter, [&loads] { ++loads; });
            useHistoryMenu(table(session.window.get(), 0), QPoint(30, 10), {"Period", period});
            QTRY_COMPARE_WITH_TIMEOUT(loads, 1, MustHappenMs);
        }
        QCOMPARE(deals->item(deals->rowCount() - 1, 0)->text().section(QStringLiteral("Balance: "), 1), balance);
        const auto *line = qobject_cast<QLabel *>(session.part<QDockWidget>("toolboxDockWidget")->titleBarWidget());
        QVERIFY2(line->text().startsWith(" Balance: " + balance + ','), qPrintable(line->text()));
    }

    // The page of two closed positions (of three table rows: one lacks a cell, the last is the
    // summary) and the first of them read as an open position: data rows of fourteen cells from the right columns, the
    // last spanning two, empty where a table lacks a cell; the six boxes read back from the two
    // summary texts with every cent. A device that takes the page only in part is reported.
    void statement_data()
    {
        QTest::addColumn<QString>("deals");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QStringList>("boxes"); // Balance, Deposit, Withdraw, Equity, Profit, Loss
        QTest::newRow("a loss") << "Profit: -75.30, Credit: 0.00, Deposit: 500.00, Withdraw: -200.00, Swap: 0.00, "
                                   "Commission: 0.00, Balance: 224.70"
                                << " Balance: 224.70, Net profit: 0.00, Equity: 224.70, Used margin: 0.00"
                                << QStringList{"224.70", "500.00", "-200.00", "224.70", "0.00", "-75.30"};
        QTest::newRow("cents past six digits and a float")
            << "Profit: 10280.34, Credit: 0.00, Deposit: 1234567.89, Withdraw: -250.00, Swap: 0.00, Commission: 0.00, "
               "Balance: 10048.18" << " Balance: 1.00, Net profit: 0.00, Equity: 10280.34"
            << QStringList{"10048.18", "1234567.89", "-250.00", "10280.34", "10280.34", "0.00"};
        QTest::newRow("nothing shown yet") << "" << "" << QStringList{"0.00", "0.00", "0.00", "0.00", "0.00", "0.00"};
    }
    void statement()
    {
        QTableWidget positions(3, HistoryTables::PositionColumns);
        for (int column = 0; column < HistoryTables::PositionColumns; ++column)
            if (column != 9) // a cell without an item
                positions.setItem(0, column, new QTableWidgetItem(QString("p%1").arg(column)));
        positions.setItem(2, 0, new QTableWidgetItem("summary"));
        StatementData data;
        data.closedPositions = Statement::tableTexts(&positions, HistoryTables::PositionColumns, 1);
        data.openPositions = Statement::tableTexts(&positions, TradeTable::ColumnCount, 2); // read as a trade table
        QCOMPARE(Statement::tableTexts(&positions, TradeTable::ColumnCount, 5).size(), 0);
        QFETCH(QString, deals);
        QFETCH(QString, account);
        QFETCH(QStringList, boxes);
        data.dealsSummary = deals;
        data.accountSummary = account;

        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(Statement::write(&buffer, data));
        const QVector<QStringList> rows = rowsOf(QString::fromUtf8(buffer.data()));
        QCOMPARE(rows.size(), 16);
        QCOMPARE(rows.at(6), dataCells({"p2", "p1", "p0", "p3", "p4", "p7", "p5", "p6", "", "p8", "", "", "", "p10"}));
        QCOMPARE(rows.at(7), dataCells({}));
        QCOMPARE(rows.at(10), dataCells({"p2", "p1", "p0", "p3", "p4", "p5", "p6", "p7", "", "p8", "", "", "", ""}));
        const QStringList labels{"Balance", "Deposit", "Withdraw", "Equity", "Profit", "Loss"};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(rows.at(i < 3 ? 12 : 14).at(i % 3), "td 5: " + labels[i] + boxes[i]);
        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        QVERIFY(!Statement::write(&readOnly, data));
    }

    // The statement from the window's menu: the save dialog's proposal, what is opened, and
    // that a statement that was not written whole is never opened. Names come from the login
    // and trade-history replies of the simulated server; a real browser reads the page into the
    // same tables, names with markup characters as typed, empty cells and spacer rows in place.
    void statementFromWindow_data()
    {
        QTest::addColumn<QString>("target");  // "" cancels; %1 is the test's folder
        QTest::addColumn<QString>("holder");  // "" for a window that never logged in
        QTest::addColumn<QString>("symbol");  // of the closed position
        QTest::addColumn<bool>("written");
        const QString half(QChar(0xd800)); // half a surrogate pair, a valid JSON escape
        QTest::newRow("written, in a browser") << "%1/report.html" << "A&B <x>" << "\"q\" & 'a'" << true;
        QTest::newRow("cancelled") << "" << "A" << "EURUSD" << false;
        QTest::newRow("folder that is a file") << "%1/plain-file/report.html" << "A" << "EURUSD" << false;
        QTest::newRow("lone surrogates") << "%1/report.html" << "Ann " + half + " Lee" << half + "lone" << true;
        QTest::newRow("deals table with no row") << "%1/report.html" << "" << "" << true;
    }
    void statementFromWindow()
    {
        QFETCH(QString, target);
        QFETCH(QString, holder);
        QFETCH(QString, symbol);
        QTemporaryDir folder;
        QFile plain(folder.filePath("plain-file"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        const QString path = target.isEmpty() ? QString() : target.arg(folder.path());
        Client_Terminal *window = holder.isEmpty() ? offlineWindow() : nullptr;
        if (!window) {
            QVERIFY(startSession(holder));
            window = session.window.get();
            session.server->sendJson(
                {{"res_code", 4}, {"balance", 1000.0}, {"is_last", 1},
                 {"array", QJsonArray{QJsonObject{{"ticket", 5000000001LL}, {"symbol", "EURUSD"}, {"type", "sell"},
                                                  {"volume", 3000}, {"price", 1.25}, {"profit", -20.5}, {"digits", 5},
                                                  {"time", 1774864800}}}}});
            session.server->sendJson( // a pending order among the open positions
                {{"res_code", 6},
                 {"array", QJsonArray{QJsonObject{{"ticket", 5000000002LL}, {"symbol", "GBPUSD"}, {"type", 6},
                                                  {"volume", 3000}, {"price", 1.25}, {"s_price", 1.2512}, {"sl", 1.2},
                                                  {"tp", 1.3}, {"digits", 5}, {"time", 1774864800}}}}});
            session.server->sendJson({{"res_code", 5},
                                      {"positions", QJsonArray{closedPosition(-75.3, {{"symbol", symbol}})}},
                                      {"deals", QJsonArray{deal(2, 500.0), deal(2, -200.0)}}});
            QTRY_VERIFY_WITH_TIMEOUT(table(window, 0)->rowCount() == 2 && window->getPosition(5000000001LL).ticket
                                         && window->getPendingOrder(5000000002LL).ticket,
                                     MustHappenMs);
        }

        QTimer poll;
        QString proposed;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            poll.stop();
            proposed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            dialog->selectFile(path);
            if (!path.isEmpty())
                static_cast<QDialog *>(dialog)->accept(); // the file dialog's own checks run
            if (dialog->isVisible()) // cancelled, or it refused the path
                dialog->reject();
        });
        poll.start(5);
        useHistoryMenu(table(window, 0), QPoint(20, 5), {"Report", "HTML (Internet Explorer)"});
        QCOMPARE(proposed, QStringLiteral("ReportHistory-%1.html").arg(holder.isEmpty() ? 0 : Account));
        QFETCH(bool, written);
        QCOMPARE(opened, written ? QList<QUrl>{QUrl::fromLocalFile(path)} : QList<QUrl>());
        if (!written) {
            QVERIFY(path.isEmpty() || !QFile::exists(path));
            return;
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(file.readAll());
        QVERIFY(page.startsWith("<!DOCTYPE html><html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\" xml:lang="));
        QVERIFY(!page.contains('\n'));
        QVERIFY(page.contains(QStringLiteral("<title>Statement: %1</title>").arg(holder.isEmpty() ? 0 : Account)));
        const QVector<QStringList> rows = rowsOf(page);
        const auto shown = [](QString text) { return text.replace(QChar(0xd800), QChar(QChar::ReplacementCharacter)); };
        QCOMPARE(rows.value(1), QStringList{"td 14: Client Name: " + shown(holder)});
        QStringList boxes{"Balance0.00", "Deposit0.00", "Withdraw0.00", "Equity0.00", "Profit0.00", "Loss0.00"};
        if (!holder.isEmpty()) {
            QCOMPARE(rows.at(6), dataCells({TradeTable::formatTime(1700000000), "700", shown(symbol), "buy", "0.20",
                                            "1.08120", "", "1.08400", "", "1.08370", "", "", "-0.42", "-75.30"}));
            QCOMPARE(rows.at(9), dataCells({TradeTable::formatTime(1774864800), "5000000001", "EURUSD", "sell", "0.30",
                                            "1.25000", "", "", "", "0.00000", "", "", "", "-20.50"}));
            QCOMPARE(rows.at(10), dataCells({TradeTable::formatTime(1774864800), "5000000002", "GBPUSD", "buy limit stop",
                                             "0.30", "1.25000", "1.20000", "1.30000", "", "1.25120", "", "", "", "Placed"}));
            boxes = QStringList{"Balance224.70", "Deposit500.00", "Withdraw-200.00", "Equity979.50", "Profit0.00",
                                "Loss-75.30"};
        }
        QCOMPARE(rows.size(), holder.isEmpty() ? 13 : 16);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(rows.at(rows.size() - (i < 3 ? 4 : 2)).at(i % 3), "td 5: " + boxes[i]);
        if (QTest::currentDataTag() != QLatin1String("written, in a browser"))
            return;
        const QString browser = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (browser.isEmpty() && qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("chromium is not installed (scripts/common.sh installs it)");
        if (browser.isEmpty())
            QSKIP("chromium is not installed");
        QProcess chromium;
        chromium.start(browser, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                                 "--user-data-dir=" + QDir::current().filePath("chromium-profile"),
                                 "--dump-dom", QUrl::fromLocalFile(path).toString()});
        QVERIFY(chromium.waitForFinished(120000));
        QCOMPARE(rowsOf(QString::fromUtf8(chromium.readAllStandardOutput())), rows);
    }
};

CORVANE_TEST_GUI_MAIN(TestHistory)
#include "tst_history.moc"
