#include "client_terminal.h"
#include "ui_client_terminal.h"

#include "aboutdialog.h"
#include "chartmanager.h"
#include "journalwidget.h"
#include "logger.h"
#include "logindialog.h"
#include "rowcontrols.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QAbstractItemView>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QSound>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QWheelEvent>
#include <qcustomplot.h>

// The icons and sounds are compiled into this static library; they are registered before the
// form asks for its first icon, whatever program the window runs in.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

QString Client_Terminal::s_brokerListHost = QStringLiteral(CORVANE_BROKER_LIST_HOST);

QString Client_Terminal::brokerListHost()
{
    return s_brokerListHost;
}

void Client_Terminal::setBrokerListHost(const QString &host)
{
    s_brokerListHost = host;
}

Client_Terminal::Client_Terminal(TradeClient *client, QWidget *parent)
    : QMainWindow(parent)
    , tradeClient(client)
    , ui(new Ui_Client_Terminal)
{
    registerResources();
    loginDialog = new LoginDialog(this);
    aboutDialog = new AboutDialog(this);
    ui->setupUi(this);

    Logger *logger = Logger::instance();
    chartManager = new ChartManager(tradeClient, this);

    ui->tabWidget_3->addTab(new JournalWidget(nullptr), tr("Journal"));
    logger->log(QStringLiteral("Terminal"), QStringLiteral("Started"));

    // The docks have no close button, so the View entries are the only way to hide and show
    // them; a dock greys its entry out when it is not closable, so the entries are enabled here.
    for (QDockWidget *dock : {ui->marketDockWidget, ui->toolboxDockWidget}) {
        QAction *toggle = dock->toggleViewAction();
        toggle->setEnabled(true);
        ui->menuView->addAction(toggle);
    }

    // The account summary line lives in the Toolbox's title bar.
    auto *summaryLabel = new QLabel(ui->toolboxDockWidget);
    QFont summaryLabelFont = summaryLabel->font();
    summaryLabelFont.setWeight(QFont::Bold);
    summaryLabelFont.setPointSize(12);
    summaryLabel->setFont(summaryLabelFont);
    ui->toolboxDockWidget->setTitleBarWidget(summaryLabel);

    connect(loginDialog, &QDialog::accepted, this, &Client_Terminal::connectToBroker);

    brokerListManager = new QNetworkAccessManager(this);
    connect(brokerListManager, &QNetworkAccessManager::finished, this,
            &Client_Terminal::onBrokerListReceived);
    requestBrokerList();
    serverList.clear();

    connect(tradeClient, &TradeClient::symbolPriceReceived, &symbolStore,
            &SymbolDataStorage::onPriceReceived);
    connect(tradeClient, &TradeClient::loginSuccess, this, &Client_Terminal::onLogin);
    connect(tradeClient, &TradeClient::loginFail, this, &Client_Terminal::onLoginFailed);
    connect(tradeClient, &TradeClient::websocketDisconnected, this,
            &Client_Terminal::onWebsocketClosed);
    connect(tradeClient, &TradeClient::symbolListReceived, &symbolStore,
            &SymbolDataStorage::onSymbolListReceived);

    setupTables();
    setupLiveTables();
    setupHistoryTables();
    setupOrderEntry();
    ui->tabWidget_3->setCurrentIndex(0);

    connect(tradeClient, &TradeClient::chartHistoryReceived, chartManager,
            &ChartManager::updateChartHistoryFromServer);

    setWindowTitle(tr("Client Terminal"));

    setupActions();
    setupChartCommands();

    connectedSound = new QSound(QStringLiteral(":/sound/connected.wav"), this);
    disconnectedSound = new QSound(QStringLiteral(":/sound/disconnected.wav"), this);
    tradeSound = new QSound(QStringLiteral(":/sound/trade.wav"), this);
    tradeSound2 = new QSound(QStringLiteral(":/sound/trade.wav"), this);

    disconnectedSoundTimer = new QTimer(this);
    disconnectedSoundTimer->setObjectName(QStringLiteral("disconnectedSoundTimer"));
    connect(disconnectedSoundTimer, &QTimer::timeout, this, &Client_Terminal::onPlayDisconnectedSound);

    ui->connectionToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(ui->actionConnect, &QAction::triggered, this,
            &Client_Terminal::on_actionLogin_to_Trade_Account_triggered);
    connect(ui->actionDisconnect, &QAction::triggered, this, &Client_Terminal::disconnectToBroker);
    ui->actionChangePassword->setEnabled(false);
    setupAccountDialogs();

    autoLogin();
}

Client_Terminal::~Client_Terminal()
{
    // The form's widgets are deleted by the base class after this body; a signal they send on
    // the way (the chart area activating its next sub-window, a selection change) must not
    // reach this half-destroyed window.
    const QList<QObject *> children = findChildren<QObject *>();
    for (QObject *child : children)
        disconnect(child, nullptr, this, nullptr);
    delete ui;
    ui = nullptr;
    Logger::instance()->log(QStringLiteral("Terminal"), QStringLiteral("Closed"));
}

void Client_Terminal::setupTables()
{
    const auto setup = [](QTableWidget *table, const QStringList &labels) {
        table->setRowCount(0);
        table->setColumnCount(labels.size());
        table->setHorizontalHeaderLabels(labels);
        table->verticalHeader()->setVisible(false);
        table->verticalHeader()->setDefaultSectionSize(12);
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    };
    const auto singleRows = [](QTableWidget *table) {
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
    };

    QTableWidget *symbols = ui->symbolTableWidget;
    setup(symbols, {tr("Symbol"), tr("Bid"), tr("Ask"), tr("Spread"), tr("High"), tr("Low")});
    symbols->setDragEnabled(true);
    symbols->setDragDropOverwriteMode(false);
    symbols->setContextMenuPolicy(Qt::CustomContextMenu);

    QTableWidget *trades = ui->tradeTableWidget;
    setup(trades, {tr("Symbol"), tr("Ticket"), tr("Time"), tr("Type"), tr("Volume"), tr("Price"),
                   tr("S/L"), tr("T/P"), tr("Price"), tr("Profit")});
    singleRows(trades);
    trades->setContextMenuPolicy(Qt::CustomContextMenu);
    auto *closeDelegate = new SummaryItemDelegate(trades);
    trades->setItemDelegateForColumn(9, closeDelegate);
    connect(closeDelegate, &SummaryItemDelegate::clicked, this, &Client_Terminal::onCloseTrade);

    setup(ui->positionTableWidget,
          {tr("symbol"), tr("ticket"), tr("time"), tr("type"), tr("volume"), tr("s/l"), tr("t/p"),
           tr("price (open)"), tr("price"), tr("swap"), tr("profit")});
    setup(ui->orderTableWidget, {tr("symbol"), tr("ticket"), tr("time"), tr("type"), tr("volume"),
                                 tr("s/l"), tr("t/p"), tr("price"), tr("price"), tr("state")});
    setup(ui->dealTableWidget, {tr("symbol"), tr("ticket"), tr("order"), tr("time"), tr("type"),
                                tr("volume"), tr("price"), tr("profit")});
    for (QTableWidget *history : {ui->positionTableWidget, ui->orderTableWidget, ui->dealTableWidget}) {
        singleRows(history);
        history->setContextMenuPolicy(Qt::CustomContextMenu);
    }
    ui->orderTableWidget->hide();
    ui->dealTableWidget->hide();

    setup(ui->netTableWidget, {tr("Symbol"), tr("Positions"), tr("Buy Volume"), tr("Buy Price"),
                               tr("Sell Volume"), tr("Sell Price"), tr("Net Volume"), tr("Profit")});
    singleRows(ui->netTableWidget);
}

void Client_Terminal::setupActions()
{
    for (const char *name : {"chartStyleToolBar", "cursorsToolBar", "timeframeToolBar"}) {
        if (auto *toolBar = findChild<QToolBar *>(QLatin1String(name)))
            addToolBar(Qt::LeftToolBarArea, toolBar);
    }

    drawingGroup = new QActionGroup(this);
    for (QAction *action : {ui->actionCursor, ui->actionCrosshair, ui->actionHorizontal_Line,
                            ui->actionVertical_Line, ui->actionTrendline})
        drawingGroup->addAction(action);
    ui->actionCursor->setChecked(true);

    timeframeGroup = new QActionGroup(this);
    for (QAction *action : {ui->actionM1, ui->actionM5, ui->actionM15, ui->actionM30, ui->actionH1,
                            ui->actionH4, ui->actionD1, ui->actionW1, ui->actionMN})
        timeframeGroup->addAction(action);

    connect(ui->actionZoomIn, &QAction::triggered, this, &Client_Terminal::onZoomIn);
    connect(ui->actionZoomOut, &QAction::triggered, this, &Client_Terminal::onZoomOut);
}

void Client_Terminal::showPositionHistoryTable()
{
    ui->positionTableWidget->show();
    ui->orderTableWidget->hide();
    ui->dealTableWidget->hide();
}

void Client_Terminal::playSound(QSound *sound)
{
    sound->play();
    emit soundPlayed(sound->fileName());
}

void Client_Terminal::onCloseTrade(qint64 ticket, int type)
{
    const QJsonObject request = TradeMessages::closeTradeRequest(ticket, type);
    if (!request.isEmpty())
        sendTradeRequest(request);
}

void Client_Terminal::doInstantBuy(QString symbol, double volume)
{
    if (TradeMessages::lotsToWireVolume(volume) <= 0)
        return; // the panel's box shows 0 until its first quote
    sendTradeRequest(TradeMessages::marketOrderRequest(symbol, 0, volume));
}

void Client_Terminal::doInstantSell(QString symbol, double volume)
{
    if (TradeMessages::lotsToWireVolume(volume) <= 0)
        return;
    sendTradeRequest(TradeMessages::marketOrderRequest(symbol, 1, volume));
}

void Client_Terminal::onZoomIn()
{
    zoomActiveChart(120);
}

void Client_Terminal::onZoomOut()
{
    zoomActiveChart(-120);
}

void Client_Terminal::zoomActiveChart(int delta)
{
    // One mouse-wheel step at the chart's centre: the chart zooms as it does under the wheel.
    // Only a chart takes the step: any other widget would pass the unhandled wheel on to the
    // chart area, which would scroll instead.
    QMdiSubWindow *subWindow = ui->graphArea->activeSubWindow();
    auto *chart = subWindow ? qobject_cast<QCustomPlot *>(subWindow->widget()) : nullptr;
    if (!chart)
        return;
    const QPoint centre(chart->width() / 2, chart->height() / 2);
    const QPoint global = chart->mapToGlobal(centre);
    QWheelEvent wheel(QPointF(centre), QPointF(global), QPoint(0, delta), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false,
                      Qt::MouseEventNotSynthesized);
    QCoreApplication::sendEvent(chart, &wheel);
}

void Client_Terminal::on_actionExit_triggered()
{
    close();
}

void Client_Terminal::on_actionAbout_triggered()
{
    aboutDialog->show();
}

void Client_Terminal::on_actionTile_Windows_triggered()
{
    ui->graphArea->tileSubWindows();
}

void Client_Terminal::on_actionCascade_triggered()
{
    ui->graphArea->cascadeSubWindows();
}

void Client_Terminal::closeEvent(QCloseEvent *event)
{
    saveCurrentWorkspace();
    QMainWindow::closeEvent(event);
}
