// The main window's form on a plain QMainWindow: the object names that code and the saved window
// state rely on, the start state of its actions, menus, toolbars and docks.
#include <QAbstractItemView>
#include <QAction>
#include <QDockWidget>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <algorithm>
#include <memory>

#include "testmain.h"
#include "ui_client_terminal.h"

namespace {

QStringList objectNames(const QList<QAction *> &actions)
{
    QStringList names;
    for (QAction *a : actions)
        names << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
    return names;
}

} // namespace

class TestMainWindowForm : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<Ui_Client_Terminal> ui;

    template<typename T>
    T *child(const QString &name) const
    {
        return window->findChild<T *>(name);
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(resources);
    }

    void init()
    {
        window = std::make_unique<QMainWindow>();
        ui = std::make_unique<Ui_Client_Terminal>();
        ui->setupUi(window.get());
    }

    void cleanup()
    {
        ui.reset();
        window.reset();
    }

    void objectsByNameAndClass_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        const QList<QPair<const char *, const char *>> objects = {
            {"centralwidget", "QWidget"},          {"verticalLayout_2", "QVBoxLayout"},
            {"graphArea", "QMdiArea"},             {"menubar", "QMenuBar"},
            {"menuFile", "QMenu"},                 {"menuTools", "QMenu"},
            {"menuWindow", "QMenu"},               {"menuView", "QMenu"},
            {"menu_Help", "QMenu"},                {"statusbar", "QStatusBar"},
            {"toolboxDockWidget", "QDockWidget"},  {"dockWidgetContents_36", "QWidget"},
            {"gridLayout_3", "QGridLayout"},       {"tabWidget_3", "QTabWidget"},
            {"tab_25", "QWidget"},                 {"horizontalLayout_3", "QHBoxLayout"},
            {"tradeTableWidget", "QTableWidget"},  {"tab_26", "QWidget"},
            {"horizontalLayout_4", "QHBoxLayout"}, {"positionTableWidget", "QTableWidget"},
            {"orderTableWidget", "QTableWidget"},  {"dealTableWidget", "QTableWidget"},
            {"tab", "QWidget"},                    {"horizontalLayout_5", "QHBoxLayout"},
            {"netTableWidget", "QTableWidget"},    {"marketDockWidget", "QDockWidget"},
            {"dockWidgetContents_37", "QWidget"},  {"verticalLayout", "QVBoxLayout"},
            {"txt_symbol", "QLineEdit"},           {"tabWidget", "QTabWidget"},
            {"tab_7", "QWidget"},                  {"horizontalLayout_2", "QHBoxLayout"},
            {"symbolTableWidget", "QTableWidget"}, {"cursorsToolBar", "QToolBar"},
            {"timeframeToolBar", "QToolBar"},      {"tradeToolBar", "QToolBar"},
            {"connectionToolBar", "QToolBar"},     {"chartStyleToolBar", "QToolBar"},
        };
        for (const auto &o : objects)
            QTest::newRow(o.first) << QString::fromLatin1(o.first) << QString::fromLatin1(o.second);
    }

    void objectsByNameAndClass()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        const QList<QObject *> found = window->findChildren<QObject *>(name);
        QCOMPARE(found.size(), 1);
        QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
    }

    void windowNameAndSize()
    {
        QCOMPARE(window->objectName(), QStringLiteral("Client_Terminal"));
        QCOMPARE(window->size(), QSize(1248, 818));
        QCOMPARE(window->windowTitle(), QStringLiteral("Client_Terminal"));

        QMainWindow named;
        named.setObjectName(QStringLiteral("kept"));
        Ui_Client_Terminal other;
        other.setupUi(&named);
        QCOMPARE(named.objectName(), QStringLiteral("kept"));
    }

    void menuBarOrderAndMenus()
    {
        QStringList titles;
        for (QAction *a : ui->menubar->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{"&File", "&View", "&Tools", "&Window", "&Help"}));

        QCOMPARE(objectNames(ui->menuFile->actions()),
                 (QStringList{"|", "actionLogin_to_Trade_Account", "actionExit"}));
        QVERIFY(ui->menuView->actions().isEmpty());
        QCOMPARE(objectNames(ui->menuTools->actions()), (QStringList{"actionNew_Order", "|"}));
        QCOMPARE(objectNames(ui->menuWindow->actions()), (QStringList{"actionTile_Windows", "actionCascade"}));
        QCOMPARE(objectNames(ui->menu_Help->actions()), QStringList{"actionAbout"});
    }

    void toolbars()
    {
        QCOMPARE(objectNames(ui->cursorsToolBar->actions()),
                 (QStringList{"actionCursor", "actionCrosshair", "|", "actionVertical_Line", "actionHorizontal_Line",
                              "actionTrendline"}));
        QCOMPARE(objectNames(ui->timeframeToolBar->actions()),
                 (QStringList{"actionM1", "actionM5", "actionM15", "actionM30", "actionH1", "actionH4", "actionD1",
                              "actionW1", "actionMN"}));
        QCOMPARE(objectNames(ui->tradeToolBar->actions()),
                 (QStringList{"actionNew_Order", "actionZoomIn", "actionZoomOut", "actionTile_Windows",
                              "actionCascade"}));
        QCOMPARE(objectNames(ui->connectionToolBar->actions()),
                 (QStringList{"actionConnect", "actionDisconnect", "actionOpenDemo", "actionChangePassword",
                              "actionChartView", "actionCopyTrading"}));
        QCOMPARE(objectNames(ui->chartStyleToolBar->actions()), (QStringList{"actionBar_Chart", "actionCandlesticks"}));

        QCOMPARE(ui->timeframeToolBar->allowedAreas(), Qt::AllToolBarAreas);
        const QStringList titles{"toolBar", "toolBar_2", "toolBar_3", "toolBar", "toolBar"};
        const QList<QToolBar *> bars{ui->cursorsToolBar, ui->timeframeToolBar, ui->tradeToolBar,
                                     ui->connectionToolBar, ui->chartStyleToolBar};
        for (int i = 0; i < bars.size(); ++i) {
            QCOMPARE(bars[i]->windowTitle(), titles[i]);
            QCOMPARE(window->toolBarArea(bars[i]), Qt::TopToolBarArea);
            QCOMPARE(bars[i]->toolButtonStyle(), Qt::ToolButtonIconOnly);
        }

        // Left to right in the top area, in the order of creation.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QList<QToolBar *> byPlace = bars;
        std::sort(byPlace.begin(), byPlace.end(), [](QToolBar *a, QToolBar *b) {
            return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
        });
        QCOMPARE(byPlace, bars);
    }

    void actions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("hasIcon");

        auto row = [](const char *name, const char *text, const char *tip, const char *key, bool checkable,
                      bool checked, bool enabled = true, bool visible = true, bool icon = true) {
            // An action without a tool tip of its own shows its text stripped of '&' and "...".
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(text)
                                << QString::fromLatin1(tip ? tip : text) << QString::fromLatin1(key) << checkable
                                << checked << enabled << visible << icon;
        };
        row("actionLogin_to_Trade_Account", "Connect to Trade server", "Connect to Trade server", "", false, false);
        row("actionExit", "Exit", nullptr, "", false, false);
        row("actionVertical_Line", "Vertical Line", nullptr, "", true, false);
        row("actionHorizontal_Line", "Horizontal Line", nullptr, "", true, false);
        row("actionTrendline", "Trendline", nullptr, "", true, false);
        row("actionBar_Chart", "Bar Chart", nullptr, "Alt+1", false, false);
        row("actionCandlesticks", "Candlesticks", nullptr, "Alt+2", false, false);
        row("actionNew_Order", "New Order", "Place New Order", "F9", false, false);
        row("actionTile_Windows", "Tile Windows", nullptr, "", false, false);
        row("actionCascade", "Cascade", nullptr, "", false, false);
        row("actionAbout", "About", nullptr, "", false, false, true, true, false);
        row("actionM1", "M1", "1 Minute chart", "", true, true);
        row("actionM15", "M15", "15 minutes chart", "", true, false);
        row("actionCursor", "Cursor", "Cursor", "", true, true);
        row("actionCrosshair", "Crosshair", "Crosshair", "", true, false);
        row("actionM5", "M5", "5 Minutes", "", true, false);
        row("actionM30", "M30", "30 Minutes", "", true, false);
        row("actionH1", "H1", "1 Hour", "", true, false);
        row("actionH4", "H4", "4 Hours", "", true, false);
        row("actionD1", "D1", "Daily", "", true, false);
        row("actionW1", "W1", "Weekly", "", true, false);
        row("actionMN", "MN", "Monthly", "", true, false);
        row("actionZoomIn", "ZOOMIN", "Zoom In", "", false, false);
        row("actionZoomOut", "ZOOMOUT", "Zoom Out", "", false, false);
        row("actionConnect", "Connect", nullptr, "", false, false);
        row("actionDisconnect", "Disconnect", nullptr, "", false, false);
        row("actionOpenDemo", "OpenDemo", nullptr, "", false, false);
        row("actionChangePassword", "ChangePassword", nullptr, "", false, false, false);
        row("actionChartView", "Charts", nullptr, "", false, false, false, false);
        row("actionCopyTrading", "Copy Trading", nullptr, "", false, false, false, false);
    }

    void actions()
    {
        QFETCH(QString, name);
        auto *action = child<QAction>(name);
        QVERIFY(action);
        QCOMPARE(action->parent(), window.get());
        QTEST(action->text(), "text");
        QTEST(action->toolTip(), "toolTip");
        QTEST(action->shortcut().toString(QKeySequence::PortableText), "shortcut");
        QTEST(action->isCheckable(), "checkable");
        QTEST(action->isChecked(), "checked");
        QTEST(action->isEnabled(), "enabled");
        QTEST(action->isVisible(), "visible");
        QFETCH(bool, hasIcon);
        QCOMPARE(!action->icon().isNull(), hasIcon);
        if (hasIcon)
            QVERIFY2(!action->icon().pixmap(16, 16).isNull(), "the icon's resource is missing");
    }

    void actionDetails()
    {
        QCOMPARE(ui->actionZoomIn->iconText(), QStringLiteral("ZOOMIN"));
        QCOMPARE(ui->actionZoomOut->iconText(), QStringLiteral("ZOOMOUT"));
        QCOMPARE(ui->actionZoomOut->menuRole(), QAction::ApplicationSpecificRole);
        QVERIFY(ui->actionM1->isIconVisibleInMenu());
        // The File menu's connect entry keeps its icon when shown pressed.
        QVERIFY(!ui->actionLogin_to_Trade_Account->icon().pixmap(16, 16, QIcon::Normal, QIcon::On).isNull());
        // The form adds nothing but the actions it places: no stray shortcuts.
        QCOMPARE(window->findChildren<QAction *>(QRegularExpression(QStringLiteral("^action"))).size(), 30);
    }

    void onlyOneCursorAndOneTimeframeChecked()
    {
        const QList<QAction *> cursors{ui->actionCursor, ui->actionCrosshair, ui->actionVertical_Line,
                                       ui->actionHorizontal_Line, ui->actionTrendline};
        const QList<QAction *> timeframes{ui->actionM1, ui->actionM5, ui->actionM15, ui->actionM30, ui->actionH1,
                                          ui->actionH4, ui->actionD1, ui->actionW1, ui->actionMN};
        QStringList checked;
        for (QAction *a : cursors + timeframes)
            if (a->isChecked())
                checked << a->objectName();
        QCOMPARE(checked, (QStringList{"actionCursor", "actionM1"}));
        // Not grouped yet: the window groups them after the form.
        for (QAction *a : cursors + timeframes)
            QVERIFY(!a->actionGroup());
    }

    void docksAndTabs()
    {
        QCOMPARE(window->dockWidgetArea(ui->toolboxDockWidget), Qt::BottomDockWidgetArea);
        QCOMPARE(window->dockWidgetArea(ui->marketDockWidget), Qt::RightDockWidgetArea);
        for (QDockWidget *dock : {ui->toolboxDockWidget, ui->marketDockWidget}) {
            QCOMPARE(dock->features(), QDockWidget::NoDockWidgetFeatures);
            QVERIFY(!dock->isFloating());
        }
        QCOMPARE(ui->toolboxDockWidget->windowTitle(), QStringLiteral("Toolbox"));
        QCOMPARE(ui->marketDockWidget->windowTitle(), QStringLiteral("Markets"));
        QCOMPARE(ui->toolboxDockWidget->minimumSize(), QSize(1090, 120));
        QCOMPARE(ui->marketDockWidget->minimumSize(), QSize(350, 166));
        QCOMPARE(ui->marketDockWidget->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);

        QCOMPARE(ui->tabWidget_3->count(), 3);
        QCOMPARE(ui->tabWidget_3->tabText(0), QStringLiteral("Trade"));
        QCOMPARE(ui->tabWidget_3->tabText(1), QStringLiteral("History"));
        QCOMPARE(ui->tabWidget_3->tabText(2), QStringLiteral("Net Trade"));
        QCOMPARE(ui->tabWidget_3->currentIndex(), 2);
        QCOMPARE(ui->tabWidget->count(), 1);
        QCOMPARE(ui->tabWidget->tabText(0), QStringLiteral("Symbols"));
        QCOMPARE(ui->tabWidget->currentIndex(), 0);

        // The history tables stand side by side in this order.
        QCOMPARE(ui->horizontalLayout_4->count(), 3);
        QCOMPARE(ui->horizontalLayout_4->itemAt(0)->widget(), ui->positionTableWidget);
        QCOMPARE(ui->horizontalLayout_4->itemAt(1)->widget(), ui->orderTableWidget);
        QCOMPARE(ui->horizontalLayout_4->itemAt(2)->widget(), ui->dealTableWidget);

        for (QTableWidget *t : {ui->tradeTableWidget, ui->positionTableWidget, ui->orderTableWidget,
                                ui->dealTableWidget, ui->netTableWidget, ui->symbolTableWidget}) {
            QCOMPARE(t->font().pointSize(), 8);
            QCOMPARE(t->columnCount(), 0);
            QVERIFY(!t->isHidden());
        }
        QCOMPARE(ui->netTableWidget->verticalHeader()->defaultSectionSize(), 21);
        QCOMPARE(ui->symbolTableWidget->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(ui->symbolTableWidget->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(ui->symbolTableWidget->selectionBehavior(), QAbstractItemView::SelectRows);
    }

    void chartArea()
    {
        QCOMPARE(window->centralWidget(), ui->centralwidget);
        QCOMPARE(ui->graphArea->viewMode(), QMdiArea::TabbedView);
        QCOMPARE(ui->graphArea->activationOrder(), QMdiArea::StackingOrder);
        QVERIFY(ui->graphArea->tabsClosable());
        QCOMPARE(ui->graphArea->tabPosition(), QTabWidget::South);
    }

    void shortcutsTriggerWhileActive_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("new order") << "actionNew_Order" << QKeySequence(Qt::Key_F9);
        QTest::newRow("bar chart") << "actionBar_Chart" << QKeySequence(Qt::ALT + Qt::Key_1);
        QTest::newRow("candlesticks") << "actionCandlesticks" << QKeySequence(Qt::ALT + Qt::Key_2);
    }

    void shortcutsTriggerWhileActive()
    {
        QFETCH(QString, name);
        QFETCH(QKeySequence, keys);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QSignalSpy triggered(child<QAction>(name), &QAction::triggered);
        QTest::keySequence(window.get(), keys);
        QCOMPARE(triggered.count(), 1);
    }
};

CORVANE_TEST_GUI_MAIN(TestMainWindowForm)
#include "tst_mainwindowform.moc"
