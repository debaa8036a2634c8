// The main window as a trader first sees it, the broker list it fetches, and the parts of the
// Toolbox's tables: the trade table's close controls and the journal's line order.
#include "aboutdialog.h"
#include "brokerlistservice.h"
#include "client_terminal.h"
#include "journalwidget.h"
#include "logger.h"
#include "logindialog.h"
#include "rowcontrols.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QNetworkAccessManager>
#include <QtWidgets>

namespace {

QStringList namesOf(const QList<ServerInfo> &servers)
{
    QStringList names;
    for (const ServerInfo &server : servers)
        names << server.name;
    return names;
}

QStringList column(const QTableWidget *table, int column)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << table->item(row, column)->text();
    return texts;
}

QStringList headerLabels(const QTableWidget *table)
{
    QStringList labels;
    for (int column = 0; column < table->columnCount(); ++column)
        labels << table->horizontalHeaderItem(column)->text();
    return labels;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { Client_Terminal::setBrokerListHost(QStringLiteral("127.55.0.2")); } // nothing listens there

    void startState()
    {
        TradeClient client;
        Client_Terminal window(&client);
        auto *toolbox = window.findChild<QTabWidget *>(QStringLiteral("tabWidget_3"));
        QCOMPARE(toolbox->tabText(toolbox->currentIndex()), QStringLiteral("Trade"));
        QCOMPARE(toolbox->tabText(toolbox->count() - 1), QStringLiteral("Journal"));
        QCOMPARE(column(toolbox->widget(toolbox->count() - 1)->findChild<QTableWidget *>(), 2).last(),
                 QStringLiteral("Started"));
        QCOMPARE(window.findChild<AboutDialog *>()->findChild<QLabel *>()->text(),
                 QStringLiteral("Welcome to Taldrex Corvane Client Terminal\nVersion 1.1.8"));

        QStringList checked;
        for (QAction *action : window.findChildren<QAction *>(QRegularExpression(QStringLiteral("^action"))))
            if (action->isChecked())
                checked << action->objectName();
        checked.sort();
        QCOMPARE(checked, (QStringList{"actionCursor", "actionM1"})); // one drawing tool, one period
        QVERIFY(!window.findChild<QAction *>(QStringLiteral("actionChangePassword"))->isEnabled());
        for (const char *name : {"chartStyleToolBar", "cursorsToolBar", "timeframeToolBar"})
            QCOMPARE(window.toolBarArea(window.findChild<QToolBar *>(QLatin1String(name))), Qt::LeftToolBarArea);

        const QList<QPair<const char *, const char *>> headers = {
            {"symbolTableWidget", "Symbol|Bid|Ask|Spread|High|Low"},
            {"tradeTableWidget", "Symbol|Ticket|Time|Type|Volume|Price|S/L|T/P|Price|Profit"},
            {"positionTableWidget", "symbol|ticket|time|type|volume|s/l|t/p|price (open)|price|swap|profit"},
            {"orderTableWidget", "symbol|ticket|time|type|volume|s/l|t/p|price|price|state"},
            {"dealTableWidget", "symbol|ticket|order|time|type|volume|price|profit"},
            {"netTableWidget", "Symbol|Positions|Buy Volume|Buy Price|Sell Volume|Sell Price|Net Volume|Profit"}};
        for (const auto &[name, labels] : headers)
            QCOMPARE(headerLabels(window.findChild<QTableWidget *>(QLatin1String(name))).join('|'), QLatin1String(labels));

        QStringList menus;
        for (QAction *menu : window.menuBar()->actions())
            menus << menu->text();
        QCOMPARE(menus, (QStringList{"&File", "&View", "&Tools", "&Window", "&Help"}));
        for (QDockWidget *dock : window.findChildren<QDockWidget *>())
            QVERIFY(!(dock->features() & (QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable)));

        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QList<QPair<const char *, QKeySequence>> shortcuts = {
            {"actionBar_Chart", Qt::ALT | Qt::Key_1}, {"actionCandlesticks", Qt::ALT | Qt::Key_2},
            {"actionNew_Order", Qt::Key_F9}};
        for (const auto &[name, keys] : shortcuts) {
            QSignalSpy triggered(window.findChild<QAction *>(QLatin1String(name)), &QAction::triggered);
            QTest::keySequence(&window, keys);
            QVERIFY2(triggered.count() == 1, name);
        }
    }

    void tradeServerUrl()
    {
        QCOMPARE(BrokerList::tradeServerUrl(QStringLiteral("h")), QStringLiteral("ws://h:9001"));
        QCOMPARE(BrokerList::tradeServerUrl(QStringLiteral("h:1")), QStringLiteral("ws://h:1"));
    }

    // The list keeps the servers named after the broker only; a failed or malformed reply must
    // not cost the trader the servers the login dialog offers.
    void brokerList()
    {
        BrokerListService service;
        QVERIFY(service.listen(QHostAddress(QStringLiteral("127.55.0.1")), BrokerList::ServicePort));
        Client_Terminal::setBrokerListHost(QStringLiteral("127.55.0.1"));
        TradeClient client;
        Client_Terminal window(&client);
        const auto *servers = window.findChild<LoginDialog *>()->findChild<QComboBox *>(QStringLiteral("serverBox"));
        const QStringList kept{"Taldrex-Demo", "TALDREX Live"};
        QTRY_COMPARE(namesOf(window.GetServerList()), kept);
        QCOMPARE(servers->count(), 2);
        QSignalSpy finished(window.findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::finished);

        service.setReplyBody("[]", 500);
        window.on_actionLogin_to_Trade_Account_triggered();
        QVERIFY(finished.wait());
        QCOMPARE(namesOf(window.GetServerList()), kept);
        QCOMPARE(servers->count(), 2);

        service.setReplyBody(R"({"servers":[{"name":"Taldrex"}]})");
        window.on_actionLogin_to_Trade_Account_triggered();
        QVERIFY(finished.wait());
        QVERIFY(window.GetServerList().isEmpty());
        QCOMPARE(servers->count(), 2);
    }

    void closeZone_data()
    {
        QTest::addColumn<int>("fromRight"); // the release lands at the cell's right() minus this
        QTest::addColumn<QString>("ticketText");
        QTest::addColumn<qint64>("closed"); // 0: no close request
        QTest::newRow("right - 19, inside") << 19 << "12345" << qint64(12345);
        QTest::newRow("right - 20, outside") << 20 << "12345" << qint64(0);
        QTest::newRow("ticket 0 never") << 5 << "0" << qint64(0);
        QTest::newRow("negative ticket never") << 5 << "-3" << qint64(0);
        QTest::newRow("64-bit ticket kept whole") << 0 << "5000000123" << qint64(5000000123LL);
    }

    void closeZone()
    {
        QFETCH(int, fromRight);
        QFETCH(QString, ticketText);
        QFETCH(qint64, closed);
        QStandardItemModel model(1, 3);
        model.setItem(0, 1, new QStandardItem(ticketText));
        SummaryItemDelegate delegate;
        QSignalSpy clicked(&delegate, &SummaryItemDelegate::clicked);
        QStyleOptionViewItem cell;
        cell.rect = QRect(40, 63, 100, 21);
        for (Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
            QMouseEvent release(QEvent::MouseButtonRelease, QPoint(cell.rect.right() - fromRight, 70), button, button,
                                Qt::NoModifier);
            delegate.editorEvent(&release, &model, cell, model.index(0, 2));
        }
        QCOMPARE(clicked.count(), closed ? 1 : 0); // the right button never closes
        if (closed)
            QCOMPARE(clicked.first(), (QList<QVariant>{closed, 1}));
    }

    void closeButton()
    {
        for (const qint64 ticket : {9000000001LL, 0LL, -5LL}) {
            MyCloseButton button(QStringLiteral("EURUSD"), ticket, 2);
            QSignalSpy clicked(&button, SIGNAL(clicked(qint64, int))); // the window's string connection
            button.click();
            QCOMPARE(clicked.count(), ticket > 0 ? 1 : 0);
            if (ticket > 0)
                QCOMPARE(clicked.first(), (QList<QVariant>{ticket, 2}));
        }
    }

    void journalOrder_data()
    {
        QTest::addColumn<QList<int>>("offsetsMs"); // line i at a fixed time + offsetsMs[i], message "m<i>"
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one millisecond keeps arrival order") << QList<int>{5, 5, 5} << QStringList{"m0", "m1", "m2"};
        QTest::newRow("late line after others of its millisecond")
            << QList<int>{0, 10, 20, 10, -1000} << QStringList{"m4", "m0", "m1", "m3", "m2"};
        QTest::newRow("across days") << QList<int>{86400000, 0, 1} << QStringList{"m1", "m2", "m0"};
    }

    void journalOrder()
    {
        QFETCH(QList<int>, offsetsMs);
        JournalWidget journal;
        const QDateTime base(QDate(2026, 3, 14), QTime(9, 26, 53, 500));
        for (int i = 0; i < offsetsMs.size(); ++i)
            journal.addItem(base.addMSecs(offsetsMs[i]), QStringLiteral("Terminal"), QStringLiteral("m%1").arg(i));
        QTEST(column(journal.findChild<QTableWidget *>(), 2), "expected");
    }

    // A line logged by another thread arrives queued, possibly after later lines of the GUI thread.
    void journalLineFromAnotherThread()
    {
        JournalWidget journal;
        journal.addItem(QDateTime::currentDateTime().addSecs(60), QStringLiteral("Terminal"), QStringLiteral("later"));
        std::unique_ptr<QThread> worker(
            QThread::create([] { Logger::instance()->log(QStringLiteral("Network"), QStringLiteral("worker")); }));
        worker->start();
        QVERIFY(worker->wait(10000));
        QTRY_COMPARE(column(journal.findChild<QTableWidget *>(), 2), (QStringList{"worker", "later"}));
    }
};

CORVANE_TEST_GUI_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
