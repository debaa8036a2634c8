// The main window as a trader first sees it, the broker list it fetches, and the parts of the
// Toolbox's tables: the trade table's close controls and the journal's line order.
#include "brokerlistservice.h"
#include "client_terminal.h"
#include "journalwidget.h"
#include "logindialog.h"
#include "loopback.h"
#include "peerthread.h"
#include "rowcontrols.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtWidgets>
#include <qcustomplot.h>
#include <functional>
#include <memory>

namespace {

// The texts of a table's column.
QStringList texts(const QTableWidget *table, int column)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << table->item(row, column)->text();
    return texts;
}

// Notes every wheel event that reaches the watched widgets as "x,y,delta".
class WheelRecorder : public QObject
{
public:
    QStringList seen;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Wheel) {
            const auto *wheel = static_cast<QWheelEvent *>(event);
            seen << QStringLiteral("%1,%2,%3").arg(wheel->position().x()).arg(wheel->position().y()).arg(wheel->angleDelta().y());
        }
        return false;
    }
};

// A broker list of one server, padded with leading blanks to exactly `size` bytes.
QByteArray paddedBrokerList(qint64 size)
{
    const QByteArray list = R"([{"servers":[{"name":"Taldrex-Padded","ipaddr":"h","brokerId":1}]}])";
    return QByteArray(int(size - list.size()), ' ') + list;
}

} // namespace

Q_DECLARE_METATYPE(BrokerListService::Reply)

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { Client_Terminal::setBrokerListHost(corvane_test::ownLoopbackHost(corvane_test::Loopback::Quiet)); }

    // The icons and sounds are compiled into the window's library and the window brings them,
    // whatever program it runs in: nothing else in this suite registers them.
    void windowBringsItsIconsAndSounds()
    {
        TradeClient client;
        Client_Terminal window(&client);
        int icons = 0;
        QStringList missing;
        for (const QAction *action : window.findChildren<QAction *>()) {
            if (action->icon().isNull())
                continue;
            ++icons;
            if (action->icon().pixmap(16).isNull())
                missing << action->objectName();
        }
        for (const char *sound : {":/sound/connected.wav", ":/sound/disconnected.wav", ":/sound/trade.wav"})
            if (!QFile::exists(QLatin1String(sound)))
                missing << sound;
        QVERIFY(icons > 0);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(' ')));
    }

    // The docks have no close button: View's entries are the only way to hide and show them.
    void viewEntriesToggleTheDocks()
    {
        TradeClient client;
        Client_Terminal window(&client);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const auto &[entry, dock] : {std::pair<const char *, const char *>{"Markets", "marketDockWidget"}, {"Toolbox", "toolboxDockWidget"}}) {
            auto *dockWidget = window.findChild<QDockWidget *>(QLatin1String(dock));
            QVERIFY(!(dockWidget->features() & (QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable)));
            QAction *toggle = nullptr;
            for (QAction *action : window.findChild<QMenu *>(QStringLiteral("menuView"))->actions())
                toggle = action->text() == QLatin1String(entry) ? action : toggle;
            QVERIFY(toggle && toggle->isEnabled() && toggle->isChecked());
            for (bool shown : {false, true}) {
                toggle->trigger();
                QCOMPARE(dockWidget->isVisible(), shown);
                QCOMPARE(toggle->isChecked(), shown);
            }
        }
    }

    // The list keeps the servers named after the broker only. A failed, malformed, endless,
    // oversized or stalled reply is given up as a failed request: the servers the login dialog
    // offers stay, and the terminal neither grows nor waits for ever, even while its thread is
    // too busy to read (the service runs in a thread of its own). A refill while the dialog is
    // open keeps the server the trader chose.
    void brokerList_data()
    {
        QTest::addColumn<BrokerListService::Reply>("reply");
        QTest::addColumn<int>("busyMs");      // the window's thread reads nothing this long
        QTest::addColumn<QString>("servers"); // the window's list afterwards
        QTest::addColumn<QString>("chosen");  // the login dialog's server afterwards
        const QString kept = QStringLiteral("Taldrex-Demo,TALDREX Live");
        BrokerListService::Reply endless, late;
        endless.endless = late.endless = true;
        late.endlessAfterMs = 200; // starts once the window is busy
        BrokerListService::Reply stalled{200, BrokerListService::defaultBrokerList()};
        stalled.stallAfter = 120; // the head and a little of the body
        QTest::newRow("the list again") << BrokerListService::Reply{200, stalled.body} << 0 << kept << "TALDREX Live";
        QTest::newRow("HTTP 500") << BrokerListService::Reply{500, "[]"} << 0 << kept << "TALDREX Live";
        QTest::newRow("not an array") << BrokerListService::Reply{200, "{}"} << 0 << "" << "TALDREX Live";
        QTest::newRow("endless body") << endless << 0 << kept << "TALDREX Live";
        QTest::newRow("endless body, window busy") << late << 1500 << kept << "TALDREX Live";
        QTest::newRow("one byte over the limit")
            << BrokerListService::Reply{200, paddedBrokerList(BrokerList::MaxReplyBytes + 1)} << 0 << kept << "TALDREX Live";
        QTest::newRow("exactly the limit") << BrokerListService::Reply{200, paddedBrokerList(BrokerList::MaxReplyBytes)}
                                           << 0 << "Taldrex-Padded" << "Taldrex-Padded";
        QTest::newRow("stalls mid-body") << stalled << 0 << kept << "TALDREX Live";
    }

    void brokerList()
    {
        QFETCH(BrokerListService::Reply, reply);
        auto service = std::make_unique<simbroker::PeerThread<BrokerListService>>();
        const auto inService = [&](const std::function<void(BrokerListService &)> &call) { service->run(call); };
        const QString host = corvane_test::ownLoopbackHost(corvane_test::Loopback::Broker);
        bool listening = false;
        inService([&](BrokerListService &peer) { listening = peer.listen(QHostAddress(host), BrokerList::ServicePort); });
        QVERIFY(listening);
        Client_Terminal::setBrokerListHost(host);
        TradeClient client;
        Client_Terminal window(&client);
        QTRY_COMPARE(window.GetServerList().size(), 2); // of three, one another broker's
        auto *chosen = window.findChild<LoginDialog *>()->findChild<QComboBox *>(QStringLiteral("serverBox"));
        chosen->setCurrentIndex(1);

        inService([&](BrokerListService &peer) { peer.setReply(reply); });
        QSignalSpy finished(window.findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::finished);
        window.on_actionLogin_to_Trade_Account_triggered();
        const auto requests = [&] {
            int count = 0;
            inService([&](BrokerListService &peer) { count = peer.requestCount(); });
            return count;
        };
        QTRY_COMPARE(requests(), 2); // the request under way, the one at the window's start before it
        QFETCH(int, busyMs);
        QElapsedTimer clock;
        clock.start();
        while (!clock.hasExpired(busyMs)) {
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
        qint64 streamed = 0;
        inService([&](BrokerListService &peer) { streamed = peer.streamedBytes(); });
        service.reset();
        QStringList servers;
        for (const ServerInfo &server : window.GetServerList())
            servers << server.name;
        QTEST(servers.join(','), "servers");
        QTEST(chosen->currentText(), "chosen");
        QVERIFY2(streamed < 32 * 1024 * 1024, qPrintable(QString::number(streamed)));
        // Every reply is freed once handled.
        QTRY_COMPARE(window.findChild<QNetworkAccessManager *>()->findChildren<QNetworkReply *>().size(), 0);
    }

    // One wheel step at the centre of the active sub-window's chart; any other widget is left alone.
    void zoomStepsTheActiveChart()
    {
        TradeClient client;
        Client_Terminal window(&client);
        window.resize(1400, 1000);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *area = window.findChild<QMdiArea *>(QStringLiteral("graphArea"));
        for (bool chart : {true, false}) {
            QWidget *content = chart ? new QCustomPlot : new QWidget;
            content->setFixedSize(801, 600);
            QMdiSubWindow *sub = area->addSubWindow(content);
            new QObject(sub); // the chart is not the sub-window's last child
            sub->show();
            area->setActiveSubWindow(sub);
            WheelRecorder recorder; // the steps that reached the sub-window's widget or the chart area
            for (QWidget *watched : {content, static_cast<QWidget *>(sub), static_cast<QWidget *>(area), area->viewport()})
                watched->installEventFilter(&recorder);
            window.onZoomIn();
            window.onZoomOut();
            QCOMPARE(recorder.seen.join(' '), chart ? "400,300,120 400,300,-120" : "");
        }
    }

    // Signals that children send while the window is torn down (a chart area activating its next
    // sub-window, a selection emptied) must not reach the half-destroyed window.
    void childSignalsDoNotReachADyingWindow()
    {
        TradeClient client;
        auto *window = new Client_Terminal(&client);
        // Once the window's own destructor has run and before its children go, no child may keep
        // a connection to it; one made here must be cut as well.
        QVERIFY(connect(window->findChild<QTableWidget *>(QStringLiteral("symbolTableWidget")), &QObject::destroyed,
                        window, &Client_Terminal::onFilterSymbol));
        QStringList reached;
        QList<QPointer<QObject>> children;
        for (QObject *child : window->findChildren<QObject *>())
            children << child;
        connect(window, &QObject::destroyed, [&] {
            for (QObject *child : qAsConst(children))
                if (child && QObject::disconnect(child, nullptr, window, nullptr))
                    reached << QString::fromLatin1(child->metaObject()->className()) + ' ' + child->objectName();
        });
        delete window; // a slot reached now would read the form's widgets after they are gone
        QVERIFY2(reached.isEmpty(), qPrintable(reached.join(", ")));
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
        QSignalSpy clicked(&order, SIGNAL(clicked(qint64, int))), noneClicked(&none, SIGNAL(clicked(qint64, int)));
        order.click();
        none.click();
        QCOMPARE(clicked, (QList<QList<QVariant>>{{9000000001LL, 2}})); // the window's string connection
        QVERIFY(noneClicked.isEmpty());
    }

    // Numbers sort by value; a text that is no finite number sorts as text, so "nan" and "inf"
    // cannot break the order of the rest.
    void tableItemOrder()
    {
        const QStringList items{"3", "nan", "b", "20", "inf", "1", "-inf", "100", "a"};
        QTableWidget table(items.size(), 1);
        for (int row = 0; row < items.size(); ++row)
            table.setItem(row, 0, new FooterItem(items[row]));
        table.sortItems(0);
        QCOMPARE(texts(&table, 0), (QStringList{"-inf", "1", "3", "20", "100", "a", "b", "inf", "nan"}));
    }

    void journalOrder_data()
    {
        QTest::addColumn<QList<int>>("offsetsMs"); // line i at a fixed time + offsetsMs[i], message "m<i>"
        QTest::addColumn<int>("rowBound");         // 0: the journal's own bound and batch
        QTest::addColumn<int>("dropBatch");
        QTest::addColumn<int>("messageClicks");    // clicks on the "Message" header before the last line
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one millisecond keeps arrival order") << QList<int>{5, 5, 5} << 0 << 0 << 0 << QStringList{"m0", "m1", "m2"};
        QTest::newRow("late lines after others of their millisecond, a day apart")
            << QList<int>{0, 10, 20, 10, -86400000} << 0 << 0 << 0 << QStringList{"m4", "m0", "m1", "m3", "m2"};
        QTest::newRow("at the bound the oldest go in one batch") << QList<int>{0, 10, 20, 30, 40, 50} << 4 << 2 << 0 << QStringList{"m2", "m3", "m4", "m5"};
        QTest::newRow("the oldest go, not the top of a sort by message") << QList<int>{0, 10, 20, 30, 40} << 4 << 2 << 2 << QStringList{"m2", "m3", "m4"};
    }

    void journalOrder()
    {
        QFETCH(QList<int>, offsetsMs);
        QFETCH(int, rowBound);
        QFETCH(int, dropBatch);
        QFETCH(int, messageClicks);
        JournalWidget journal(nullptr, rowBound ? rowBound : JournalWidget::RowBound, rowBound ? dropBatch : JournalWidget::DropBatch);
        journal.show();
        auto *table = journal.findChild<QTableWidget *>();
        QHeaderView *header = table->horizontalHeader();
        const QDateTime base(QDate(2026, 3, 14), QTime(9, 26, 53, 500));
        for (int i = 0; i < offsetsMs.size(); ++i) {
            if (i == offsetsMs.size() - 1) {
                for (int click = 0; click < messageClicks; ++click)
                    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(2) + 5, 5));
                QCOMPARE(header->sortIndicatorSection(), messageClicks ? 2 : 0);
            }
            journal.addItem(base.addMSecs(offsetsMs[i]), QStringLiteral("Terminal"), QStringLiteral("m%1").arg(i));
        }
        QTEST(texts(table, 2), "expected");
    }
};

CORVANE_TEST_GUI_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
