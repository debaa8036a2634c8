// The "History" tab: the three tables as the window fills them from trade-history replies, the
// tab's context menu with its period requests read back at the simulated trade server, and the
// HTML account statement read back as XML and as a real browser renders it.
#include "client_terminal.h"
#include "historytables.h"
#include "simtradeserver.h"
#include "statementwriter.h"
#include "symboldatastorage.h"
#include "testmain.h"
#include "tradeclient.h"
#include "tradetable.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <QXmlStreamReader>
#include <ctime>
#include <functional>

namespace {

constexpr qint64 Account = 4000000007LL; // past 32 bits, as are some tickets below
const QDate Today(2026, 3, 30);          // a Monday, the day after Berlin's clocks went forward

QStringList rowTexts(const QTableWidget *table, int row)
{
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts << (table->item(row, c) ? table->item(row, c)->text() : QStringLiteral("<none>"));
    return texts;
}

QJsonObject historyReply(const QJsonArray &positions, const QJsonArray &orders, const QJsonArray &deals)
{
    return {{"res_code", 5}, {"positions", positions}, {"orders", orders}, {"deals", deals}};
}

QJsonObject deal(int kind, double profit, double swap = 0.0, double commission = 0.0, double fee = 0.0)
{
    return {{"ticket", 900}, {"order", 800},       {"symbol", "EURUSD"},         {"type", kind},
            {"time", 1700000000}, {"volume", 2000}, {"price", 1.1},              {"profit", profit},
            {"swap", swap},       {"commission", commission}, {"fee", fee},       {"digits", 2}};
}

QJsonObject closedPosition(double profit)
{
    return {{"ticket", 700}, {"symbol", "EURUSD"}, {"type", "buy"}, {"time", 1700000000}, {"digits", 5},
            {"volume", 2000}, {"price_o", 1.0812}, {"price_c", 1.0837}, {"sl", 0}, {"tp", 1.084},
            {"swap", -0.42}, {"profit", profit}};
}

QJsonObject order(int state)
{
    return {{"ticket", 800}, {"symbol", "EURUSD"}, {"type", 2}, {"time", 1700000000}, {"volume", 2000},
            {"price", 1.08}, {"s_price", 0}, {"sl", 0}, {"tp", 0}, {"state", state}, {"digits", 5}};
}

// The rows of the statement's table as cells "tag colspan: text", read from the written file.
QVector<QStringList> rowsFromXml(const QByteArray &document, QString *error)
{
    QVector<QStringList> rows;
    QXmlStreamReader reader(document);
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
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
        *error = reader.errorString();
    return rows;
}

// The same, read from the DOM a browser serialises (HTML: void elements, entities in text).
QVector<QStringList> rowsFromDom(const QString &dom)
{
    const auto decode = [](QString text) {
        text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        text.replace(QLatin1String("&lt;"), QLatin1String("<"));
        text.replace(QLatin1String("&gt;"), QLatin1String(">"));
        text.replace(QLatin1String("&quot;"), QLatin1String("\""));
        text.replace(QLatin1String("&nbsp;"), QString(QChar(0xa0)));
        text.replace(QLatin1String("&amp;"), QLatin1String("&"));
        return text;
    };
    QVector<QStringList> rows;
    const QRegularExpression row(QStringLiteral("<tr\\b[^>]*>(.*?)</tr>"), QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression cell(QStringLiteral("<(td|th)\\b([^>]*)>(.*?)</\\1>"),
                                  QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression colspan(QStringLiteral("colspan=\"(\\d+)\""));
    for (auto r = row.globalMatch(dom); r.hasNext();) {
        QStringList cells;
        for (auto c = cell.globalMatch(r.next().captured(1)); c.hasNext();) {
            const auto m = c.next();
            const auto span = colspan.match(m.captured(2));
            cells << m.captured(1) + ' ' + (span.hasMatch() ? span.captured(1) : QStringLiteral("1")) + ": "
                    + decode(m.captured(3));
        }
        rows << cells;
    }
    return rows;
}

// A header or data row of the statement as rowsFromXml reads it: fourteen cells, the last spanning two.
QStringList dataCells(const QStringList &texts)
{
    QStringList cells;
    for (int i = 0; i < 14; ++i)
        cells << QString("td %1: %2").arg(i == 13 ? 2 : 1).arg(texts.value(i));
    return cells;
}

QByteArray statementBytes(const StatementData &data)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    Statement::write(&buffer, data);
    return buffer.data();
}

StatementData sampleStatement()
{
    StatementData data;
    data.account = 42;
    data.clientName = QStringLiteral("A&B <x>");
    data.group = QStringLiteral("demo\\usd \"q\"");
    data.serverName = QStringLiteral("Sim");
    data.date = Today;
    data.closedPositions = {{"EURUSD", "700", "2026.03.30 12:00:00", "buy", "0.20", "", "1.08400", "1.08120",
                             "1.08370", "-0.42", "50.00"}};
    data.openPositions = {{"GBPUSD", "5000000001", "2026.03.30 13:00:00", "sell limit", "0.30", "1.25000", "", "",
                           "", "Placed"}};
    data.dealsSummary = QStringLiteral("Proft: -75.30, Credit: 0.00, Deposit: 500.00, Withdraw: -200.00, "
                                       "Swap: 0.00, Commission: 0.00, Balance: 224.70");
    data.accountSummary = QStringLiteral(" Balance: 224.70, Net profit: 0.00, Equity: 224.70, Used margin: 0.00");
    return data;
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

    std::unique_ptr<simbroker::SimTradeServer> server;
    std::unique_ptr<TradeClient> client;
    std::unique_ptr<Client_Terminal> window;
    QList<QUrl> opened;

    QTableWidget *table(const char *name) const { return window->findChild<QTableWidget *>(QLatin1String(name)); }

    void makeWindow()
    {
        client = std::make_unique<TradeClient>();
        window = std::make_unique<Client_Terminal>(client.get());
        window->setHistoryClock([] { return Today; });
        window->resize(1200, 800);
        window->show();
        window->findChild<QTabWidget *>(QStringLiteral("tabWidget_3"))->setCurrentIndex(1); // "History"
        window->symbolStorage()->onSymbolListReceived({{"res_code", 8}, {"array", QJsonArray{QJsonObject{
                                                           {"symbol", "EURUSD"}, {"digits", 5}}}}});
    }

    // Logs the window in at the simulated server; the login's own history reply and the account
    // refresh have been answered when this returns, so later frames of a test come after them.
    void startSession(const QString &holder = QStringLiteral("Holder"))
    {
        server = std::make_unique<simbroker::SimTradeServer>();
        QVERIFY(server->listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        server->addAccount(Account, "secret", 1000.0, holder);
        server->setLoginSnapshot(false);
        makeWindow();
        client->connectToServer(server->url().toString(), Account, "secret", "Sim");
        QTRY_COMPARE(window->accountLogin(), Account);
        QTRY_VERIFY(!server->receivedRequests(4).isEmpty());
        server->clearReceivedFrames();
    }

    // The trade-history requests the server received since the last clear, as "from..to".
    QStringList periodRequests() const
    {
        QStringList bounds;
        for (const QJsonObject &request : server->receivedRequests(5))
            bounds << QStringLiteral("%1..%2").arg(request.value("from").toVariant().toLongLong())
                          .arg(request.value("to").toVariant().toLongLong());
        return bounds;
    }

    struct MenuSeen
    {
        QPoint at;
        QStringList marked;
    };

    // Raises the history menu from `table` at `point` and walks `path` ("Period", "All") with the
    // keyboard, as a trader would; an empty path dismisses the menu with Escape.
    MenuSeen useHistoryMenu(QTableWidget *from, const QPoint &point, const QStringList &path)
    {
        MenuSeen seen;
        QMenu *handled = nullptr;
        int step = 0;
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu || menu == handled)
                return;
            handled = menu;
            if (step == 0) {
                seen.at = menu->pos();
                for (QAction *top : menu->actions())
                    if (top->menu() && top->text() == QLatin1String("Period"))
                        for (QAction *entry : top->menu()->actions())
                            if (!entry->icon().isNull())
                                seen.marked << entry->text();
            }
            if (path.isEmpty()) {
                poll.stop();
                QTest::keyClick(menu, Qt::Key_Escape);
                return;
            }
            QAction *target = nullptr;
            for (QAction *action : menu->actions())
                if (action->text() == path.at(step))
                    target = action;
            if (!target) {
                poll.stop();
                menu->close();
                return;
            }
            menu->setActiveAction(target);
            if (++step == path.size()) {
                poll.stop();
                QTest::keyClick(menu, Qt::Key_Return);
            } else {
                QTest::keyClick(menu, Qt::Key_Right);
            }
        });
        poll.start();
        emit from->customContextMenuRequested(point);
        poll.stop();
        return seen;
    }

    // Answers the next file dialog: cancels it when path is empty, else chooses path. Notes the
    // file name the dialog proposed.
    void answerFileDialog(QTimer *poll, const QString &path, QString *proposed)
    {
        poll->setInterval(5);
        connect(poll, &QTimer::timeout, this, [poll, path, proposed] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            if (!proposed->isEmpty()) { // answered before and still open: it refused the path
                *proposed = QStringLiteral("<dialog refused the path>");
                poll->stop();
                dialog->reject();
                return;
            }
            *proposed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            if (path.isEmpty()) {
                poll->stop();
                dialog->reject();
            } else {
                dialog->selectFile(path);
                static_cast<QDialog *>(dialog)->accept(); // the file dialog's own checks run
            }
        });
        poll->start();
    }

public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(resources);
        // Midnights are counted in a zone with clock changes; Qt reads TZ at each conversion.
        qputenv("TZ", "Europe/Berlin");
        tzset();
        Client_Terminal::setBrokerListHost(QStringLiteral("127.55.0.3")); // nothing listens there
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void cleanup()
    {
        window.reset();
        client.reset();
        server.reset();
        opened.clear();
    }

    // The bold summary row of each table, from replies that exercise every running sum.
    void summaries_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QString>("positions");
        QTest::addColumn<QString>("orders");
        QTest::addColumn<QString>("deals");
        QTest::newRow("empty reply") << QJsonObject{{"res_code", 5}}
            << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00" << "Filled: 0, Canceled: 0, Total: 0"
            << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00, Swap: 0.00, Commission: 0.00, Balance: 0.00";
        QTest::newRow("arrays of another kind") << QJsonObject{{"res_code", 5}, {"positions", 3}, {"deals", "x"}}
            << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00" << "Filled: 0, Canceled: 0, Total: 0"
            << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00, Swap: 0.00, Commission: 0.00, Balance: 0.00";
        // Deposits above 0; a zero and a negative balance deal are withdrawals; trade deals'
        // profits count nowhere; the fee only lowers the balance.
        QTest::newRow("money movements")
            << historyReply({closedPosition(120.5), closedPosition(-20.0)}, {order(4), order(2), order(4), order(1), order(6)},
                            {deal(2, 1000.0), deal(2, 0.0), deal(2, -250.0), deal(3, 30.0), deal(0, 77.0, -1.25, -0.7),
                             deal(1, -5.0, 0.0, -0.7), deal(4, -9.0), deal(0, 0.0, 0.0, 0.0, -3.0)})
            << "Proft: 100.50, Credit: 30.00, Deposit: 1000.00, Withdraw: -250.00" << "Filled: 2, Canceled: 1, Total: 5"
            << "Proft: 100.50, Credit: 30.00, Deposit: 1000.00, Withdraw: -250.00, Swap: -1.25, Commission: -1.40, "
               "Balance: 874.85";
        QTest::newRow("deals without positions") << historyReply({}, {}, {deal(0, 50.0), deal(1, 25.0)})
            << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00" << "Filled: 0, Canceled: 0, Total: 0"
            << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00, Swap: 0.00, Commission: 0.00, Balance: 0.00";
        QTest::newRow("fee only") << historyReply({}, {}, {deal(0, 0.0, 0.0, 0.0, -3.0)})
            << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00" << "Filled: 0, Canceled: 0, Total: 0"
            << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00, Swap: 0.00, Commission: 0.00, Balance: -3.00";
    }
    void summaries()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(QString, positions);
        QFETCH(QString, orders);
        QFETCH(QString, deals);
        makeWindow();
        // A longer reply first: nothing of it may stay behind.
        window->historyTableLoad(historyReply({closedPosition(1.0), closedPosition(2.0), closedPosition(3.0)},
                                              {order(4), order(4), order(4)}, {deal(2, 9.0), deal(2, 9.0), deal(3, 9.0)}));
        window->historyTableLoad(reply);
        const QList<QPair<const char *, QString>> tables = {
            {"positionTableWidget", positions}, {"orderTableWidget", orders}, {"dealTableWidget", deals}};
        const QString arrays[] = {"positions", "orders", "deals"};
        int i = 0;
        for (const auto &[name, summary] : tables) {
            QTableWidget *t = table(name);
            const int last = reply.value(arrays[i++]).toArray().size();
            QCOMPARE(t->rowCount(), last + 1);
            QTableWidgetItem *item = t->item(last, 0);
            QVERIFY(item);
            QCOMPARE(item->text(), summary);
            QVERIFY(item->font().bold());
            QCOMPARE(item->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            QCOMPARE(t->columnSpan(last, 0), t->columnCount());
            for (int row = 0; row < last; ++row) // no bold row and no span left from the longer reply
                QVERIFY(!t->item(row, 0)->font().bold() && t->columnSpan(row, 0) == 1);
            QVERIFY(!t->isSortingEnabled());
        }
        // A reply refills; the table on show stays.
        QVERIFY(!table("positionTableWidget")->isHidden());
        QVERIFY(table("orderTableWidget")->isHidden() && table("dealTableWidget")->isHidden());
    }

    // One element per row: its cells, its icon and the summary of its table. EURUSD is known to
    // the symbol store with 5 digits; no other symbol is.
    void cells_data()
    {
        QTest::addColumn<QString>("array");
        QTest::addColumn<QJsonObject>("element");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("summary");
        const QString t0 = TradeTable::formatTime(1700000000);
        const QString noOrders = "Filled: 0, Canceled: 0, Total: 1";

        QTest::newRow("closed buy") << "positions" << closedPosition(5.0)
            << QStringList{"EURUSD", "700", t0, "buy", "0.20", "", "1.08400", "1.08120", "1.08370", "-0.42", "5.00"}
            << "buy" << "Proft: 5.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00";
        QJsonObject mixedCase = closedPosition(-12.5);
        mixedCase["type"] = "Buy";
        mixedCase["swap"] = 0;
        mixedCase["tp"] = 0;
        QTest::newRow("Buy sells, empty swap") << "positions" << mixedCase
            << QStringList{"EURUSD", "700", t0, "Buy", "0.20", "", "", "1.08120", "1.08370", "", "-12.50"}
            << "sell" << "Proft: -12.50, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00";
        QJsonObject big = closedPosition(0.0);
        big["swap"] = 1000000.0;
        big["ticket"] = 5000000001LL;
        big["time"] = 4102444800LL;
        big["digits"] = 2e9;
        QTest::newRow("wide ticket, million swap, huge digits") << "positions" << big
            << QStringList{"EURUSD", "5000000001", TradeTable::formatTime(4102444800LL), "buy", "0.20", "",
                           "1.084000000000000", "1.081200000000000", "1.083700000000000", "1e+06", "0.00"}
            << "buy" << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00";
        QTest::newRow("strings for numbers") << "positions"
            << QJsonObject{{"ticket", "x7"}, {"symbol", 5}, {"type", 1}, {"time", "soon"}, {"volume", "2000"},
                           {"price_o", "1.1"}, {"swap", "-1"}, {"profit", "9"}, {"digits", "5"}}
            << QStringList{"", "0", TradeTable::formatTime(0), "", "0.00", "", "", "0", "0", "", "0.00"}
            << "sell" << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00";

        QJsonObject stopLimit = order(3);
        stopLimit["type"] = 6;
        stopLimit["s_price"] = 1.0815;
        stopLimit["sl"] = 1.07;
        stopLimit["digits"] = 2; // the store's 5 digits win
        QTest::newRow("buy limit stop, partial") << "orders" << stopLimit
            << QStringList{"EURUSD", "800", t0, "buy limit stop", "0.20", "1.07000", "", "1.08000", "1.08150", "partial"}
            << "pending_order" << noOrders;
        QJsonObject filled = order(0);
        filled["state"] = 4.9;
        filled["type"] = 7;
        filled["symbol"] = "XAUUSD"; // unknown to the store: the element's digits
        filled["digits"] = 2;
        QTest::newRow("state 4.9 is filled") << "orders" << filled
            << QStringList{"XAUUSD", "800", t0, "sell limit stop", "0.20", "", "", "1.08", "", "filled"}
            << "pending_order" << "Filled: 1, Canceled: 0, Total: 1";
        QJsonObject hostile = order(8);
        hostile["type"] = 9;
        hostile["ticket"] = 9000000000LL;
        QTest::newRow("type 9, state 8") << "orders" << hostile
            << QStringList{"EURUSD", "9000000000", t0, "", "0.20", "", "", "1.08000", "", ""} << "" << noOrders;
        QJsonObject huge = order(2);
        huge["state"] = 1e300;
        QTest::newRow("state beyond int") << "orders" << huge
            << QStringList{"EURUSD", "800", t0, "buy limit", "0.20", "", "", "1.08000", "", ""} << "pending_order"
            << noOrders;

        const QString noDeals = "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00, Swap: 0.00, "
                                "Commission: 0.00, Balance: 0.00";
        QTest::newRow("sell deal") << "deals" << deal(1, 12.0)
            << QStringList{"EURUSD", "900", "800", t0, "sell", "0.20", "1.10000", "12.00"} << "sell" << noDeals;
        QJsonObject balance = deal(2, -250.0);
        balance["symbol"] = "";
        balance["order"] = 5000000002LL;
        QTest::newRow("withdrawal without a symbol") << "deals" << balance
            << QStringList{"", "900", "", t0, "balance", "", "", "-250.00"} << ""
            << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: -250.00, Swap: 0.00, Commission: 0.00, "
               "Balance: -250.00";
        QTest::newRow("charge") << "deals" << deal(4, -9.0)
            << QStringList{"EURUSD", "900", "", t0, "charge", "", "", "-9.00"} << "" << noDeals;
        QJsonObject kind7 = deal(7, 40.0, 1.0, -2.0, -0.5);
        kind7["symbol"] = "NEWSYM";
        QTest::newRow("kind 7") << "deals" << kind7 << QStringList{"NEWSYM", "900", "", t0, "", "", "", "40.00"} << ""
            << "Proft: 0.00, Credit: 0.00, Deposit: 0.00, Withdraw: 0.00, Swap: 1.00, Commission: -2.00, "
               "Balance: -1.50";
        QJsonObject wideDigits = deal(0, 1.0);
        wideDigits["symbol"] = "GBPUSD";
        wideDigits["digits"] = 2147483647;
        wideDigits["ticket"] = 5000000003LL;
        wideDigits["order"] = 5000000004LL;
        QTest::newRow("digits 2^31-1, wide tickets") << "deals" << wideDigits
            << QStringList{"GBPUSD", "5000000003", "5000000004", t0, "buy", "0.20", "1.100000000000000", "1.00"}
            << "buy" << noDeals;
    }
    void cells()
    {
        QFETCH(QString, array);
        QFETCH(QJsonObject, element);
        QFETCH(QStringList, cells);
        QFETCH(QString, icon);
        QFETCH(QString, summary);
        makeWindow();
        window->historyTableLoad({{"res_code", 5}, {array, QJsonArray{element}}});
        QTableWidget *t = table(array == "positions" ? "positionTableWidget"
                                : array == "orders"  ? "orderTableWidget"
                                                     : "dealTableWidget");
        QCOMPARE(t->rowCount(), 2);
        QCOMPARE(rowTexts(t, 0), cells);
        for (int column = 0; column < t->columnCount(); ++column)
            QCOMPARE(t->item(0, column)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        const QString iconFile = icon.isEmpty() ? QString() : ":/icon/" + icon + ".png";
        QCOMPARE(t->item(0, 0)->icon().pixmap(16).toImage(), QIcon(iconFile).pixmap(16).toImage());
        QCOMPARE(t->item(1, 0)->text(), summary);
        // Looking digits up adds no symbol to the store (a market-watch row would follow).
        QCOMPARE(window->symbolStorage()->allSymbols(), QStringList{"EURUSD"});
    }

    void switching_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("shown"); // positions, orders, deals
        QTest::newRow("orders") << 1 << "010";
        QTest::newRow("deals") << 2 << "001";
        QTest::newRow("positions") << 0 << "100";
        QTest::newRow("3 keeps the deals") << 3 << "001";
        QTest::newRow("-1 keeps the deals") << -1 << "001";
    }
    void switching()
    {
        QFETCH(int, index);
        QFETCH(QString, shown);
        makeWindow();
        window->historySwitch(2);
        window->historySwitch(index);
        QString visible;
        for (const char *name : {"positionTableWidget", "orderTableWidget", "dealTableWidget"})
            visible += table(name)->isHidden() ? '0' : '1';
        QCOMPARE(visible, shown);
    }

    // Each row picks one entry of the menu raised from the table on show, with "All" chosen
    // before it; the server holds closed positions from today back to 2020.
    void menu_data()
    {
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<QString>("request");  // what reaches the server, empty for nothing
        QTest::addColumn<int>("closedRows");   // positions of the reply, when one was asked for
        QTest::addColumn<QString>("shown");    // positions, orders, deals table on show afterwards
        QTest::addColumn<QString>("marked");   // the period entry with the check mark afterwards
        // Berlin midnights: 29 March (still winter time) to 31 March (summer time).
        QTest::newRow("Today") << QStringList{"Period", "Today"} << "1774738800..1774908000" << 1 << "100" << "Today";
        QTest::newRow("This week") << QStringList{"Period", "This week"} << "1774220400..1774908000" << 2 << "100"
                                   << "This week";
        QTest::newRow("This month") << QStringList{"Period", "This month"} << "1772233200..1774908000" << 3 << "100"
                                    << "This month";
        QTest::newRow("All again") << QStringList{"Period", "All"} << "0..-1" << 4 << "100" << "All";
        QTest::newRow("Orders") << QStringList{"Orders"} << "" << -1 << "010" << "All";
        QTest::newRow("Deals") << QStringList{"Deals"} << "" << -1 << "001" << "All";
        QTest::newRow("Positions") << QStringList{"Positions"} << "" << -1 << "100" << "All";
        QTest::newRow("Overview") << QStringList{"Report", "Overview"} << "" << -1 << "100" << "All";
        QTest::newRow("Open XML") << QStringList{"Report", "Open XML (MS Office Excel 2007)"} << "" << -1 << "100"
                                  << "All";
        QTest::newRow("dismissed") << QStringList{} << "" << -1 << "100" << "All";
    }
    void menu()
    {
        QFETCH(QStringList, path);
        QFETCH(QString, request);
        QFETCH(int, closedRows);
        QFETCH(QString, shown);
        QFETCH(QString, marked);
        startSession();
        for (qint64 time : {1774864800LL, 1774350000LL, 1772362800LL, 1588672800LL}) {
            QJsonObject record = closedPosition(1.0);
            record["time"] = time;
            server->addHistory(Account, "positions", record);
        }
        QTableWidget *positions = table("positionTableWidget");
        const QPoint point(30, 10);
        // A fresh window marks "Today", also after its login asked for yesterday and today.
        QCOMPARE(useHistoryMenu(positions, point, {"Period", "All"}).marked, QStringList{"Today"});
        QTRY_COMPARE(positions->rowCount(), 5);
        server->clearReceivedFrames();
        window->historySwitch(1); // raised from the orders table, where the trader clicked
        window->historySwitch(0);

        const MenuSeen seen = useHistoryMenu(positions, point, path);
        QCOMPARE(seen.marked, QStringList{"All"});
        const QPoint pointer = positions->viewport()->mapToGlobal(point);
        QCOMPARE(seen.at.x(), pointer.x());
        QVERIFY2(seen.at.y() == pointer.y() || seen.at.y() < pointer.y() - 100, "menu away from the pointer");

        // A trade request sent now arrives after anything the menu sent.
        window->doInstantBuy("EURUSD", 0.01);
        QTRY_COMPARE(server->receivedRequests(4).size(), 1);
        QCOMPARE(periodRequests(), request.isEmpty() ? QStringList() : QStringList{request});
        if (closedRows >= 0)
            QTRY_COMPARE(positions->rowCount(), closedRows + 1);
        QString visible;
        for (const char *name : {"positionTableWidget", "orderTableWidget", "dealTableWidget"})
            visible += table(name)->isHidden() ? '0' : '1';
        QCOMPARE(visible, shown);
        QCOMPARE(useHistoryMenu(positions, point, {}).marked, QStringList{marked});
    }

    // The menu of a table that is not the first opens at its own click, and periods move the
    // mark while no account is logged in, though nothing can be sent.
    void menuOffline()
    {
        makeWindow();
        window->historySwitch(2);
        QTableWidget *deals = table("dealTableWidget");
        const QPoint point(200, 40);
        const MenuSeen seen = useHistoryMenu(deals, point, {"Period", "This month"});
        QCOMPARE(seen.at.x(), deals->viewport()->mapToGlobal(point).x());
        QCOMPARE(useHistoryMenu(deals, point, {}).marked, QStringList{"This month"});
        QCOMPARE(window->historyPeriodIndex(), int(HistoryPeriod::ThisMonth));
    }

    // Figures read back from the two summary texts into the six boxes.
    void statementFigures_data()
    {
        QTest::addColumn<QString>("deals");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QStringList>("boxes"); // Balance, Deposit, Withdraw, Equity, Profit, Loss
        QTest::newRow("a loss") << sampleStatement().dealsSummary << sampleStatement().accountSummary
                                << QStringList{"224.7", "500", "-200", "224.7", "0", "-75.3"};
        QTest::newRow("zero profit, a million") << "Proft: 0.00, Credit: 0.00, Deposit: 1250000.00, Withdraw: 0.00, "
                                                   "Swap: 0.00, Commission: 0.00, Balance: 1250000.00"
                                                << " Balance: 1.00, Net profit: 0.00, Equity: 1000000.00"
                                                << QStringList{"1.25e+06", "1.25e+06", "0", "1e+06", "0", "0"};
        QTest::newRow("a profit") << "Proft: 120.50, Credit: 0.00, Deposit: 1000.00, Withdraw: -200.00, Swap: 0.00, "
                                     "Commission: 0.00, Balance: 920.50"
                                  << "" << QStringList{"920.5", "1000", "-200", "0", "120.5", "0"};
        QTest::newRow("nothing shown yet") << "" << "" << QStringList{"0", "0", "0", "0", "0", "0"};
        QTest::newRow("fields without numbers") << "Proft: x, Credit, Deposit: 5: 6, Withdraw:, Balance: 7"
                                                << "Equity: 3" << QStringList{"0", "5", "0", "0", "0", "0"};
    }
    void statementFigures()
    {
        QFETCH(QString, deals);
        QFETCH(QString, account);
        QFETCH(QStringList, boxes);
        StatementData data = sampleStatement();
        data.dealsSummary = deals;
        data.accountSummary = account;
        QString error;
        const QVector<QStringList> rows = rowsFromXml(statementBytes(data), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(rows.size(), 15);
        QStringList shown;
        for (int row : {11, 13})
            for (const QString &cell : rows.at(row))
                shown << cell;
        const QStringList labels{"Balance", "Deposit", "Withdraw", "Equity", "Profit", "Loss"};
        QStringList expected;
        for (int i = 0; i < 6; ++i)
            expected << "td 5: " + labels[i] + boxes[i];
        QCOMPARE(shown, expected);
    }

    // The whole page of an account without history or open positions: element and attribute
    // order, empty elements, escaping, one line.
    void statementDocument()
    {
        StatementData data = sampleStatement();
        data.closedPositions.clear();
        data.openPositions.clear();
        const QString header = R"(<tr align="center" bgcolor="#A9A9A9"><td style="height: 30px"><b>Time</b></td>)";
        const QString expected = QStringLiteral(
            R"(<!DOCTYPE html><html xmlns="http://www.w3.org/1999/xhtml" lang="en" xml:lang="en"><head>)"
            R"(<meta http-equiv="Content-Type" content="text/html; charset=utf-8"/><title>Test Page</title>)"
            R"(<style>b { font-size: 12px; }</style></head><body><div align="center" style="font: 10pt Tahoma;">)"
            R"(<table style="font-size: 12px;"><tr><td colspan="14"><div style="display: flex; justify-content: )"
            R"(space-between;"><img src="taldrex.png"/><b>Account Statement<br/>Dated: 30-03-2026</b></div></td></tr>)"
            R"(<tr align="left"><td colspan="14"><div><b>Client Name: A&amp;B &lt;x&gt;</b></div></td></tr>)"
            R"(<tr align="left"><td colspan="14"><div><b>Account Number: 42, demo\usd &quot;q&quot;</b></div></td></tr>)"
            R"(<tr align="left"><td colspan="14"><div><b>Broker Name: Sim</b></div></td></tr>)"
            R"(<tr><th colspan="14" style="height: 25px"><div><b>Positions</b></div></th></tr>)")
            + header + QStringLiteral(
            R"(<td><b>Position</b></td><td><b>Symbol</b></td><td><b>Type</b></td><td><b>Volume</b></td>)"
            R"(<td><b>Price</b></td><td><b>S / L</b></td><td><b>T / P</b></td><td><b>Time</b></td><td><b>Price</b></td>)"
            R"(<td><b>Position</b></td><td><b>Commission</b></td><td><b>Swap</b></td><td colspan="2"><b>Profit</b></td></tr>)"
            R"(<tr><th colspan="14" style="height: 25px"><div><b>Open Positions</b></div></th></tr>)")
            + header + QStringLiteral(
            R"(<td><b>Position</b></td><td><b>Symbol</b></td><td><b>Type</b></td><td><b>Volume</b></td>)"
            R"(<td><b>Price</b></td><td><b>S / L</b></td><td><b>T / P</b></td><td bgcolor="#FFFFFF"><b></b></td>)"
            R"(<td><b>Price</b></td><td bgcolor="#FFFFFF"><b></b></td><td bgcolor="#FFFFFF"><b></b></td>)"
            R"(<td bgcolor="#FFFFFF"><b></b></td><td colspan="2"><b>Profit</b></td></tr>)"
            R"(<tr height="30px"/><tr align="left">)"
            R"(<td colspan="5" style="padding: 10px; border-radius: 6px; border: 1px solid #7C7C7C;"><div style="font-size: 10px; color: #7C7C7C;">Balance</div><div>224.7</div></td>)"
            R"(<td colspan="5" style="padding: 10px; border-radius: 6px; border: 1px solid #7C7C7C;"><div style="font-size: 10px; color: #7C7C7C;">Deposit</div><div>500</div></td>)"
            R"(<td colspan="5" style="padding: 10px; border-radius: 6px; border: 1px solid #7C7C7C;"><div style="font-size: 10px; color: #7C7C7C;">Withdraw</div><div>-200</div></td>)"
            R"(</tr><tr height="30px"/><tr align="left">)"
            R"(<td colspan="5" style="padding: 10px; border-radius: 6px; border: 1px solid #7C7C7C;"><div style="font-size: 10px; color: #7C7C7C;">Equity</div><div>224.7</div></td>)"
            R"(<td colspan="5" style="padding: 10px; border-radius: 6px; border: 1px solid #7C7C7C;"><div style="font-size: 10px; color: #7C7C7C;">Profit</div><div style="color: #0FA045;">0</div></td>)"
            R"(<td colspan="5" style="padding: 10px; border-radius: 6px; border: 1px solid #7C7C7C;"><div style="font-size: 10px; color: #7C7C7C;">Loss</div><div style="color: #EE4343;">-75.3</div></td>)"
            R"(</tr><tr height="30px"/></table></div></body></html>)");
        QCOMPARE(QString::fromUtf8(statementBytes(data)), expected);
    }

    // Data rows: fourteen cells taken from the right columns, the last spanning two; rows or
    // cells a table lacks read as empty.
    void statementRows()
    {
        QTableWidget positions(3, HistoryTables::PositionColumns);
        for (int column = 0; column < HistoryTables::PositionColumns; ++column)
            if (column != 9) // a cell without an item
                positions.setItem(0, column, new QTableWidgetItem(QString("p%1").arg(column)));
        positions.setItem(2, 0, new QTableWidgetItem("summary"));
        QTableWidget trades(1, TradeTable::ColumnCount);
        for (int column = 0; column < TradeTable::ColumnCount; ++column)
            trades.setItem(0, column, new QTableWidgetItem(QString("t%1").arg(column)));
        StatementData data = sampleStatement();
        data.closedPositions = Statement::tableTexts(&positions, HistoryTables::PositionColumns, 1);
        data.openPositions = Statement::tableTexts(&trades, TradeTable::ColumnCount, 0);
        QCOMPARE(Statement::tableTexts(&trades, TradeTable::ColumnCount, 5).size(), 0);

        QString error;
        const QVector<QStringList> rows = rowsFromXml(statementBytes(data), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(rows.size(), 16);
        QCOMPARE(rows.at(6), dataCells({"p2", "p1", "p0", "p3", "p4", "p7", "p5", "p6", "", "p8", "", "", "", "p10"}));
        QCOMPARE(rows.at(7), dataCells({}));
        QCOMPARE(rows.at(8).value(0), QStringLiteral("th 14: Open Positions"));
        QCOMPARE(rows.at(10), dataCells({"t2", "t1", "t0", "t3", "t4", "t5", "t6", "t7", "", "t8", "", "", "", "t9"}));
        QCOMPARE(rows.at(11), QStringList());
    }

    // A real browser reads the page into the same tables: names with markup characters come
    // out as typed, empty cells and spacer rows stay where they are.
    void statementInBrowser()
    {
        const QString browser = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (browser.isEmpty()) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL("chromium is not installed (scripts/common.sh installs it)");
            QSKIP("chromium is not installed");
        }
        const QString path = QDir::current().filePath(QStringLiteral("browser.html"));
        StatementData data = sampleStatement();
        data.closedPositions << QStringList{"A&B <x>", "1", "", "\"q\" & 'a'"};
        QVERIFY(Statement::save(path, data));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString error;
        const QVector<QStringList> written = rowsFromXml(file.readAll(), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));

        QProcess chromium;
        chromium.start(browser, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                                 "--user-data-dir=" + QDir::current().filePath("chromium-profile"),
                                 "--dump-dom", QUrl::fromLocalFile(path).toString()});
        QVERIFY(chromium.waitForStarted(30000));
        QVERIFY(chromium.waitForFinished(120000));
        const QString dom = QString::fromUtf8(chromium.readAllStandardOutput());
        QVERIFY2(dom.contains(QLatin1String("<table")), qPrintable(chromium.readAllStandardError().right(2000)));
        QCOMPARE(rowsFromDom(dom), written);
        QCOMPARE(written.at(1), QStringList{"td 14: Client Name: A&B <x>"});
        QCOMPARE(written.at(7).mid(0, 4), (QStringList{"td 1: ", "td 1: 1", "td 1: A&B <x>", "td 1: \"q\" & 'a'"}));
    }

    // The statement from the window's menu: the save dialog's proposal, what is opened, and
    // that a statement that was not written whole is never opened.
    void statementFromWindow_data()
    {
        QTest::addColumn<QString>("target");   // "" cancels; %1 is the test's folder
        QTest::addColumn<bool>("withHistory");
        QTest::addColumn<bool>("written");
        QTest::newRow("written") << "%1/report.html" << true << true;
        QTest::newRow("empty history") << "%1/report.html" << false << true;
        QTest::newRow("cancelled") << "" << true << false;
        QTest::newRow("folder that is a file") << "%1/plain-file/report.html" << true << false;
    }
    void statementFromWindow()
    {
        QFETCH(QString, target);
        QFETCH(bool, withHistory);
        QFETCH(bool, written);
        startSession(QStringLiteral("A&B <x>"));
        QTemporaryDir folder;
        QFile plain(folder.filePath("plain-file"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString path = target.isEmpty() ? QString() : target.arg(folder.path());

        QTableWidget *positions = table("positionTableWidget");
        server->sendJson({{"res_code", 4}, {"balance", 1000.0}, {"margin", 0.0}, {"credit", 0.0}, {"is_last", 1},
                          {"array", QJsonArray{QJsonObject{{"ticket", 5000000001LL}, {"symbol", "EURUSD"},
                                                           {"type", "sell"}, {"volume", 3000}, {"price", 1.25},
                                                           {"profit", -20.5}, {"digits", 5}, {"time", 1774864800}}}}});
        QTRY_COMPARE(table("tradeTableWidget")->rowCount(), 1);
        if (withHistory) {
            QJsonObject closed = closedPosition(-75.3);
            closed["time"] = 1774864800;
            server->sendJson(historyReply({closed}, {}, {deal(2, 500.0), deal(2, -200.0)}));
            QTRY_COMPARE(positions->rowCount(), 2);
        }

        QTimer poll;
        QString proposed;
        answerFileDialog(&poll, path, &proposed);
        useHistoryMenu(positions, QPoint(20, 5), {"Report", "HTML (Internet Explorer)"});
        QCOMPARE(proposed, QStringLiteral("ReportHistory-4000000007.html"));
        if (!written) {
            QVERIFY(opened.isEmpty());
            if (!path.isEmpty())
                QVERIFY(!QFile::exists(path));
            return;
        }
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(path)});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("<!DOCTYPE html><html") && !bytes.contains('\n'));
        QString error;
        const QVector<QStringList> rows = rowsFromXml(bytes, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(rows.at(1), QStringList{"td 14: Client Name: A&B <x>"});
        QCOMPARE(rows.at(2), QStringList{"td 14: Account Number: 4000000007, demo\\usd"});
        QCOMPARE(rows.at(3), QStringList{"td 14: Broker Name: Sim"});
        const QString t = TradeTable::formatTime(1774864800);
        const int openAt = withHistory ? 9 : 8;
        if (withHistory)
            QCOMPARE(rows.at(6), dataCells({t, "700", "EURUSD", "buy", "0.20", "1.08120", "", "1.08400", "", "1.08370",
                                            "", "", "-0.42", "-75.30"}));
        QCOMPARE(rows.at(openAt), dataCells({t, "5000000001", "EURUSD", "sell", "0.30", "1.25000", "", "", "",
                                             "0.00000", "", "", "", "-20.50"}));
        QStringList boxes;
        for (int row : {openAt + 2, openAt + 4})
            boxes << rows.at(row);
        QCOMPARE(boxes, withHistory ? (QStringList{"td 5: Balance224.7", "td 5: Deposit500", "td 5: Withdraw-200",
                                                   "td 5: Equity979.5", "td 5: Profit0", "td 5: Loss-75.3"})
                                    : (QStringList{"td 5: Balance0", "td 5: Deposit0", "td 5: Withdraw0",
                                                   "td 5: Equity979.5", "td 5: Profit0", "td 5: Loss0"}));
    }
};

CORVANE_TEST_GUI_MAIN(TestHistory)
#include "tst_history.moc"
