// The main window as a trader first sees it, the broker list it fetches, and the parts of the
// Toolbox's tables: the trade table's close controls and the journal's line order.
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
#include <thread>

namespace {

// The texts of a table's column, or of its header when column is -1.
QStringList texts(const QTableWidget *table, int column)
{
    QStringList texts;
    for (int i = 0; i < (column < 0 ? table->columnCount() : table->rowCount()); ++i)
        texts << (column < 0 ? table->horizontalHeaderItem(i) : table->item(i, column))->text();
    return texts;
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
        QCOMPARE(texts(toolbox->widget(toolbox->count() - 1)->findChild<QTableWidget *>(), 2).last(), "Started");

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
            QCOMPARE(texts(window.findChild<QTableWidget *>(QLatin1String(name)), -1).join('|'), QLatin1String(labels));

        QStringList menus;
        for (QAction *menu : window.menuBar()->actions())
            menus << menu->text();
        QCOMPARE(menus, (QStringList{"&File", "&View", "&Tools", "&Window", "&Help"}));
        for (QDockWidget *dock : window.findChildren<QDockWidget *>())
            QVERIFY(!(dock->features() & (QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable)));

        window.show();
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

    // The list keeps the servers named after the broker only; a failed or malformed reply must
    // not cost the trader the servers the login dialog offers, and a refill while the dialog is
    // open must not swap the server the trader chose for another.
    void brokerList()
    {
        QCOMPARE(BrokerList::tradeServerUrl(QStringLiteral("h")), QStringLiteral("ws://h:9001"));
        QCOMPARE(BrokerList::tradeServerUrl(QStringLiteral("h:1")), QStringLiteral("ws://h:1"));
        BrokerListService service;
        QVERIFY(service.listen(QHostAddress(QStringLiteral("127.55.0.1")), BrokerList::ServicePort));
        Client_Terminal::setBrokerListHost(QStringLiteral("127.55.0.1"));
        TradeClient client;
        Client_Terminal window(&client);
        auto *servers = window.findChild<LoginDialog *>()->findChild<QComboBox *>(QStringLiteral("serverBox"));
        QTRY_COMPARE(window.GetServerList().size(), 2); // of three, one another broker's
        QSignalSpy finished(window.findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::finished);
        servers->setCurrentIndex(1);

        for (const auto &[body, status] : {qMakePair(QByteArray("[]"), 500), qMakePair(QByteArray("{}"), 200),
                                           qMakePair(BrokerListService::defaultBrokerList(), 200)}) {
            service.setReplyBody(body, status);
            window.on_actionLogin_to_Trade_Account_triggered();
            QVERIFY(finished.wait());
            QCOMPARE(servers->count(), 2);
            QCOMPARE(servers->currentText(), QStringLiteral("TALDREX Live"));
        }
    }

    void closeZone_data()
    {
        QTest::addColumn<int>("fromRight"); // the release lands at the cell's right() minus this
        QTest::addColumn<QString>("ticketText");
        QTest::addColumn<qint64>("closed"); // 0: no close request
        QTest::newRow("right - 19, inside") << 19 << "12345" << qint64(12345);
        QTest::newRow("right - 20, outside") << 20 << "12345" << qint64(0);
        QTest::newRow("ticket 0 never") << 5 << "0" << qint64(0);
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

    void closeButtonAsksOnlyForRealTickets()
    {
        MyCloseButton order(QStringLiteral("EURUSD"), 9000000001LL, 2), none(QStringLiteral("EURUSD"), 0, 2);
        QSignalSpy orderClicked(&order, SIGNAL(clicked(qint64, int))); // the window's string connection
        QSignalSpy noneClicked(&none, SIGNAL(clicked(qint64, int)));
        order.click();
        none.click();
        QCOMPARE(orderClicked, (QList<QList<QVariant>>{{9000000001LL, 2}}));
        QVERIFY(noneClicked.isEmpty());
    }

    void journalOrder_data()
    {
        QTest::addColumn<QList<int>>("offsetsMs"); // line i at a fixed time + offsetsMs[i], message "m<i>"
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one millisecond keeps arrival order") << QList<int>{5, 5, 5} << QStringList{"m0", "m1", "m2"};
        QTest::newRow("late lines after others of their millisecond, a day apart")
            << QList<int>{0, 10, 20, 10, -86400000} << QStringList{"m4", "m0", "m1", "m3", "m2"};
    }

    void journalOrder()
    {
        QFETCH(QList<int>, offsetsMs);
        JournalWidget journal;
        const QDateTime base(QDate(2026, 3, 14), QTime(9, 26, 53, 500));
        for (int i = 0; i < offsetsMs.size(); ++i)
            journal.addItem(base.addMSecs(offsetsMs[i]), QStringLiteral("Terminal"), QStringLiteral("m%1").arg(i));
        QTEST(texts(journal.findChild<QTableWidget *>(), 2), "expected");
    }

    // A line logged by another thread arrives queued, possibly after later lines of the GUI thread.
    void journalLineFromAnotherThread()
    {
        JournalWidget journal;
        journal.addItem(QDateTime::currentDateTime().addSecs(60), QStringLiteral("Terminal"), QStringLiteral("later"));
        std::thread([] { Logger::instance()->log(QStringLiteral("Network"), QStringLiteral("worker")); }).join();
        QTRY_COMPARE(texts(journal.findChild<QTableWidget *>(), 2), (QStringList{"worker", "later"}));
    }
};

CORVANE_TEST_GUI_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
