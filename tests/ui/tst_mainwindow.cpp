// The main window as a trader first sees it, its shortcuts, zoom and teardown.
#include "client_terminal.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QAction>
#include <QActionGroup>
#include <QDockWidget>
#include <QHeaderView>
#include <QMenu>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>

namespace {

// Stands in for a chart window: remembers the wheel steps it was given.
class WheelRecorder : public QWidget
{
public:
    QList<QPoint> positions;
    QList<int> deltas;

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        positions.append(event->position().toPoint());
        deltas.append(event->angleDelta().y());
        event->accept();
    }
};

QStringList headerLabels(const QTableWidget *table)
{
    QStringList labels;
    for (int column = 0; column < table->columnCount(); ++column)
        labels << table->horizontalHeaderItem(column)->text();
    return labels;
}

bool tableHolds(const QTableWidget *table, const QString &text)
{
    for (int row = 0; row < table->rowCount(); ++row)
        for (int column = 0; column < table->columnCount(); ++column)
            if (table->item(row, column) && table->item(row, column)->text() == text)
                return true;
    return false;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // Nothing listens here: the start-up broker-list request simply fails.
        Client_Terminal::setBrokerListHost(QStringLiteral("127.0.0.1"));
        client = new TradeClient;
        window = new Client_Terminal(client);
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        delete client;
        client = nullptr;
    }

    void startState()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Client Terminal"));

        auto *toolbox = window->findChild<QTabWidget *>(QStringLiteral("tabWidget_3"));
        QVERIFY(toolbox);
        QCOMPARE(toolbox->currentIndex(), 0);
        QCOMPARE(toolbox->tabText(0), QStringLiteral("Trade"));
        QCOMPARE(toolbox->count(), 4);
        QCOMPARE(toolbox->tabText(3), QStringLiteral("Journal"));
        auto *journalTable = toolbox->widget(3)->findChild<QTableWidget *>();
        QVERIFY(journalTable);
        QTRY_VERIFY(tableHolds(journalTable, QStringLiteral("Started")));

        // The History tab shows the closed positions only.
        QVERIFY(!window->findChild<QTableWidget *>(QStringLiteral("positionTableWidget"))->isHidden());
        QVERIFY(window->findChild<QTableWidget *>(QStringLiteral("orderTableWidget"))->isHidden());
        QVERIFY(window->findChild<QTableWidget *>(QStringLiteral("dealTableWidget"))->isHidden());

        const QStringList drawing = {"actionCursor", "actionCrosshair", "actionHorizontal_Line",
                                     "actionVertical_Line", "actionTrendline"};
        for (const QString &name : drawing) {
            auto *action = window->findChild<QAction *>(name);
            QVERIFY2(action, qPrintable(name));
            QCOMPARE(action->isChecked(), name == QLatin1String("actionCursor"));
            QVERIFY(action->actionGroup() && action->actionGroup()->isExclusive());
        }
        auto *crosshair = window->findChild<QAction *>(QStringLiteral("actionCrosshair"));
        crosshair->trigger();
        QVERIFY(!window->findChild<QAction *>(QStringLiteral("actionCursor"))->isChecked());

        const QStringList timeframes = {"actionM1", "actionM5", "actionM15", "actionM30", "actionH1",
                                        "actionH4", "actionD1", "actionW1", "actionMN"};
        QActionGroup *timeframeGroup = window->findChild<QAction *>(timeframes.first())->actionGroup();
        QVERIFY(timeframeGroup);
        for (const QString &name : timeframes)
            QCOMPARE(window->findChild<QAction *>(name)->actionGroup(), timeframeGroup);
        QVERIFY(timeframeGroup != crosshair->actionGroup());

        QVERIFY(!window->findChild<QAction *>(QStringLiteral("actionChangePassword"))->isEnabled());

        for (const char *name : {"chartStyleToolBar", "cursorsToolBar", "timeframeToolBar"})
            QCOMPARE(window->toolBarArea(window->findChild<QToolBar *>(QLatin1String(name))),
                     Qt::LeftToolBarArea);
        for (const char *name : {"tradeToolBar", "connectionToolBar"})
            QCOMPARE(window->toolBarArea(window->findChild<QToolBar *>(QLatin1String(name))),
                     Qt::TopToolBarArea);

        QStringList menus;
        for (QAction *action : window->menuBar()->actions())
            menus << action->text();
        QCOMPARE(menus, QStringList({"&File", "&View", "&Tools", "&Window", "&Help"}));

        auto *market = window->findChild<QDockWidget *>(QStringLiteral("marketDockWidget"));
        auto *toolboxDock = window->findChild<QDockWidget *>(QStringLiteral("toolboxDockWidget"));
        for (QDockWidget *dock : {market, toolboxDock}) {
            QVERIFY(!dock->features().testFlag(QDockWidget::DockWidgetClosable));
            QVERIFY(!dock->features().testFlag(QDockWidget::DockWidgetMovable));
            QVERIFY(!dock->features().testFlag(QDockWidget::DockWidgetFloatable));
        }
        // The docks cannot be closed from their title, so the View menu toggles them.
        auto *viewMenu = window->findChild<QMenu *>(QStringLiteral("menuView"));
        QCOMPARE(viewMenu->actions(),
                 QList<QAction *>({market->toggleViewAction(), toolboxDock->toggleViewAction()}));
        QVERIFY(toolboxDock->titleBarWidget());

        QVERIFY(!window->findChild<QTimer *>(QStringLiteral("disconnectedSoundTimer"))->isActive());
        QVERIFY(!client->isRunning()); // no saved settings: the window starts offline
    }

    void headers_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("market watch") << "symbolTableWidget"
                                      << QStringList{"Symbol", "Bid", "Ask", "Spread", "High", "Low"};
        QTest::newRow("trade") << "tradeTableWidget"
                               << QStringList{"Symbol", "Ticket", "Time", "Type", "Volume", "Price",
                                              "S/L", "T/P", "Price", "Profit"};
        QTest::newRow("positions") << "positionTableWidget"
                                   << QStringList{"symbol", "ticket", "time", "type", "volume", "s/l",
                                                  "t/p", "price (open)", "price", "swap", "profit"};
        QTest::newRow("orders") << "orderTableWidget"
                                << QStringList{"symbol", "ticket", "time", "type", "volume", "s/l",
                                               "t/p", "price", "price", "state"};
        QTest::newRow("deals") << "dealTableWidget"
                               << QStringList{"symbol", "ticket", "order", "time", "type", "volume",
                                              "price", "profit"};
        QTest::newRow("net trade") << "netTableWidget"
                                   << QStringList{"Symbol", "Positions", "Buy Volume", "Buy Price",
                                                  "Sell Volume", "Sell Price", "Net Volume", "Profit"};
    }

    void headers()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, labels);
        auto *widget = window->findChild<QTableWidget *>(table);
        QVERIFY(widget);
        QCOMPARE(headerLabels(widget), labels);
        QCOMPARE(widget->rowCount(), 0);
        QVERIFY(widget->verticalHeader()->isHidden());
        QCOMPARE(widget->horizontalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
    }

    void shortcuts_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("new order") << "actionNew_Order" << QKeySequence(Qt::Key_F9);
        QTest::newRow("bar chart") << "actionBar_Chart" << QKeySequence(Qt::ALT | Qt::Key_1);
        QTest::newRow("candlesticks") << "actionCandlesticks" << QKeySequence(Qt::ALT | Qt::Key_2);
    }

    void shortcuts()
    {
        QFETCH(QString, action);
        QFETCH(QKeySequence, keys);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        auto *target = window->findChild<QAction *>(action);
        QVERIFY(target);
        QSignalSpy triggered(target, &QAction::triggered);
        QTest::keySequence(window, keys);
        QCOMPARE(triggered.count(), 1);
    }

    void zoomSendsOneWheelStepToTheActiveChartCentre()
    {
        auto *area = window->findChild<QMdiArea *>(QStringLiteral("graphArea"));
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        auto *chart = new WheelRecorder;
        QMdiSubWindow *sub = area->addSubWindow(chart);
        sub->show();
        area->setActiveSubWindow(sub);
        QCOMPARE(area->activeSubWindow(), sub);

        window->findChild<QAction *>(QStringLiteral("actionZoomIn"))->trigger();
        window->findChild<QAction *>(QStringLiteral("actionZoomOut"))->trigger();
        QCOMPARE(chart->deltas, QList<int>({120, -120}));
        QCOMPARE(chart->positions.first(), QPoint(chart->width() / 2, chart->height() / 2));

        // Without an active chart both commands do nothing.
        area->closeAllSubWindows();
        window->findChild<QAction *>(QStringLiteral("actionZoomIn"))->trigger();
        window->findChild<QAction *>(QStringLiteral("actionZoomOut"))->trigger();
    }

    void windowMenuArrangesAndExitCloses()
    {
        auto *area = window->findChild<QMdiArea *>(QStringLiteral("graphArea"));
        window->show();
        for (int i = 0; i < 2; ++i)
            area->addSubWindow(new QWidget)->show();
        area->setViewMode(QMdiArea::SubWindowView);
        window->findChild<QAction *>(QStringLiteral("actionTile_Windows"))->trigger();
        const QList<QMdiSubWindow *> subs = area->subWindowList();
        QVERIFY(!subs.at(0)->geometry().intersects(subs.at(1)->geometry()));
        window->findChild<QAction *>(QStringLiteral("actionCascade"))->trigger();
        QVERIFY(subs.at(0)->geometry().intersects(subs.at(1)->geometry()));

        window->findChild<QAction *>(QStringLiteral("actionExit"))->trigger();
        QVERIFY(!window->isVisible());
    }

    void deletingTheWindowWithOpenSubWindowsIsSafe()
    {
        auto *area = window->findChild<QMdiArea *>(QStringLiteral("graphArea"));
        window->show();
        for (int i = 0; i < 3; ++i)
            area->addSubWindow(new QWidget)->show();
        delete window; // the area activates each next sub-window while it is torn down
        window = nullptr;
    }

private:
    TradeClient *client = nullptr;
    Client_Terminal *window = nullptr;
};

CORVANE_TEST_GUI_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
