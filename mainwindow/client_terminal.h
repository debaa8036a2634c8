#pragma once

#include "accountsummary.h"
#include "brokerlist.h"
#include "historytables.h"
#include "marketwatch.h"
#include "positiondatastore.h"
#include "symboldatastorage.h"
#include "tradetable.h"
#include "workspacefiles.h"

#include <QFont>
#include <QJsonObject>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

class AboutDialog;
class ChangePasswordDlg;
class ChartManager;
class LoginDialog;
class New_Order;
class OpenDemoDlg;
class QActionGroup;
class QCloseEvent;
class QMdiSubWindow;
class QMessageBox;
class QNetworkAccessManager;
class QNetworkReply;
class QSound;
class QTableWidgetItem;
class QTimer;
class SymbolChartWidget;
class TradeClient;
class Ui_Client_Terminal;

// The terminal's one top-level window: it wires the trade client to the stores and views,
// fetches the broker list, starts and ends connections, and keeps each account's workspace.
class Client_Terminal : public QMainWindow
{
    Q_OBJECT
public:
    explicit Client_Terminal(TradeClient *client, QWidget *parent = nullptr);
    ~Client_Terminal() override;

    // Host of the broker-list web service (port 9000, GET /brokers). Fixed at build time;
    // tests point it at their own service before they build a window.
    static QString brokerListHost();
    static void setBrokerListHost(const QString &host);

    // Values of the last successful login; kept after a disconnection.
    qint64 accountLogin() const { return login; }
    QString accountServerName() const { return serverName; }
    QString accountClientName() const { return clientName; }
    QString accountGroup() const { return clientGroup; }

    SymbolDataStorage *symbolStorage() { return &symbolStore; }
    PositionDataStore *positionStorage() { return &positionStore; }

    // Workspace folder "config/<server>/<account>" beside the program. Unsafe server names
    // (not a single folder name) keep no workspace: both calls then do nothing.
    void saveLayout(qint64 login, const QString &password, const QString &serverName,
                    const QString &url, const QStringList &symbols);
    // `reloaded`, when given, receives the open chart windows whose history the "charts" file
    // asked for again.
    void restoreLayout(qint64 login, const QString &serverName, QList<SymbolChartWidget *> *reloaded = nullptr);

    void showPositionHistoryTable();

    // The day the history periods count from; today's local date unless a test sets a clock.
    void setHistoryClock(std::function<QDate()> today);
    int historyPeriodIndex() const { return historyPeriod; }

    // Trade requests (client_terminal_orders.cpp). The session is up from the end of a login
    // until the connection is lost or ended, for the account the client is logged in with: a
    // request made outside it would be dropped by the client unseen, so it is refused where the
    // trader pressed. sendTradeRequest hands the request to the client when the session is up;
    // otherwise it plays the failure sound of a refused order, writes the journal line naming
    // what was not sent, and returns false. Nothing is kept for a later connection.
    bool tradeSessionUp() const;
    bool sendTradeRequest(const QJsonObject &request);

    // Look-ups of the order-entry dialog (live tables).
    TickData getTick(QString symbol);
    Position getPosition(qint64 ticket);
    QList<Position> getOppositePositions(qint64 ticket);
    PendingOrder getPendingOrder(qint64 ticket);

    // Chart windows (client_terminal_charts.cpp).
    void openDefaultCharts();
    void setChartWindowsVisible(bool visible);
    // The chart windows of the chart area, in creation order.
    QList<SymbolChartWidget *> chartWindows() const;

signals:
    // Every accepted quote, after the market watch and the positions have taken it.
    void symbolPriceChanged(TickData tick);
    // Each sound the window asks for, by its resource name.
    void soundPlayed(const QString &source);

public slots:
    QList<ServerInfo> GetServerList();
    void onBrokerListReceived(QNetworkReply *reply);
    void on_actionLogin_to_Trade_Account_triggered();
    void connectToBroker();
    void relogin(qint64 login, QString password, QString server);
    void disconnectToBroker();

    void onLogin(QJsonObject obj);
    void onLoginFailed();
    void onWebsocketClosed();
    void onPlayDisconnectedSound();

    void clearUI();
    void updateComponents(bool isLogin);

    // Row close control: 1 closes a position, 2 deletes a pending order.
    void onCloseTrade(qint64 ticket, int type);
    void doInstantBuy(QString symbol, double volume);
    void doInstantSell(QString symbol, double volume);

    void onZoomIn();
    void onZoomOut();

    void on_actionExit_triggered();
    void on_actionAbout_triggered();
    void on_actionTile_Windows_triggered();
    void on_actionCascade_triggered();

    // Live tables: market watch.
    void onPrice(TickData current_tick);
    void onSymbolListChanged(QStringList symbols);
    void onFilterSymbol();
    void on_symbolTableWidget_itemSelectionChanged();
    void showTickContextMenu(QPoint pos);
    // Live tables: trade table and trade commands.
    void tradeTableLoad();
    void postionPriceChanged(Position position);
    void contextTradeMenu(QPoint pos);
    void requestCloseAll(int sub_type);
    void onTradeResponse(QJsonObject response);
    void onOrder(QJsonObject obj);
    // Live tables: account summary and net-trade table.
    void onPosition(QJsonObject obj);
    void showNetProfit(double net_profit);
    void updateAccountSummary(double net_profit);
    void onSymbolNetProfitChanged(QString symbol, int symbol_positions, double symbol_buy_volume,
                                  double symbol_buy_price, double symbol_sell_volume, double symbol_sell_price,
                                  double symbol_net_profit);
    // Account dialogs: demo sign-up, password change, symbol list.
    void openDemoAction();
    void changePasswordAction();
    void showSymbolDialog();
    void onSymbolSettingChanged();
    void onAccountPasswordChanged(qint64 account, const QString &password);
    // Order commands (client_terminal_orders.cpp).
    void on_actionNew_Order_triggered();
    void symbolDoubleClicked(QTableWidgetItem *item);
    void tradeItemDoubleClicked(QTableWidgetItem *item);

    // History tables, their context menu and the account statement.
    void historyTableLoad(QJsonObject obj);
    void historySwitch(int index);
    void historyTableContext(QPoint pos);

    // Chart windows and chart commands.
    SymbolChartWidget *createNewChart(QString symbol, int period);
    SymbolChartWidget *createNewChart(QString symbol);
    void showChartGraph(QString symbol);
    void onTimeframeChanged(QString symbol, int interval);
    void onTimeframeActionSelected();
    void on_graphArea_subWindowActivated(QMdiSubWindow *arg1);
    void on_actionBar_Chart_triggered();
    void on_actionCandlesticks_triggered();
    void on_actionCursor_triggered();
    void on_actionHorizontal_Line_triggered();
    void on_actionVertical_Line_triggered();
    void on_actionCrosshair_triggered();
    void on_actionTrendline_triggered();
    void on_draw_line_finished();
    void viewChartAction();
    void viewCopyTradingAction();

protected:
    void closeEvent(QCloseEvent *event) override;
    // Chart windows (client_terminal_charts.cpp): where the focus of a widget being hidden goes,
    // and a press on a chart, which chooses its symbol even when the chart is already active.
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void requestAccountRefresh(qint64 login);
    void autoLogin();
    void requestBrokerList();
    void setupTables();
    void setupLiveTables();
    void refreshSymbolTable();
    void updateSymbolRow(const TickData &tick);
    void setupActions();
    void playSound(QSound *sound);
    void zoomActiveChart(int delta);
    void saveCurrentWorkspace();
    void stopDisconnectedReminder();
    // No symbol is selected and no market-watch row looks chosen.
    void forgetSelectedSymbol();
    void setupAccountDialogs();
    void setupHistoryTables();
    void requestHistoryPeriod(HistoryPeriod period);
    void writeStatement();
    void setupOrderEntry();
    void openNewOrderDialog(const QString &symbol);
    void openOrderDialog(const QString &symbol, int mode, qint64 ticket);
    void openOrderDialogFromTradeMenu(int entry, const QString &symbol, qint64 ticket);
    void refuseTradeRequest(const QJsonObject &request);
    // Chart windows (client_terminal_charts.cpp).
    void setupChartCommands();
    static SymbolChartWidget *chartOf(QMdiSubWindow *subWindow);
    void deliverTickToCharts(const TickData &tick);
    QString chartsFileText() const;
    void restoreCharts(const QVector<Workspace::ChartEntry> &entries, QList<SymbolChartWidget *> *reloaded);
    void checkTimeframeAction(int period);
    void setDrawMode(int mode);

    TradeClient *tradeClient;
    ChartManager *chartManager = nullptr;
    Ui_Client_Terminal *ui;
    QString selectedSymbol;
    PositionDataStore positionStore;
    qint64 login = 0;
    QString clientName;
    QString clientGroup;
    QString savedPassword;
    QString serverName;
    SymbolDataStorage symbolStore;
    QTimer *disconnectedSoundTimer = nullptr;
    QSound *connectedSound = nullptr;
    QSound *disconnectedSound = nullptr;
    QSound *tradeSound = nullptr;
    QSound *tradeSound2 = nullptr;
    LoginDialog *loginDialog = nullptr;
    AboutDialog *aboutDialog = nullptr;
    OpenDemoDlg *openDemoDlg = nullptr;
    ChangePasswordDlg *changePasswordDlg = nullptr;
    New_Order *newOrder = nullptr;
    QNetworkAccessManager *brokerListManager = nullptr;
    QList<ServerInfo> serverList;
    QActionGroup *drawingGroup = nullptr;
    QActionGroup *timeframeGroup = nullptr;

    // A workspace is loaded from the end of a login until the window is cleared for another
    // connection; only a loaded workspace is ever written back. A login of the same account and
    // server that finds it loaded is the client's own reconnection of that session.
    bool workspaceLoaded = false;
    // The selected symbol was kept through the client's own reconnection; the first symbol list
    // after it tells whether the server still lists it.
    bool selectionAwaitsSymbolList = false;
    // Set by updateComponents: a login has been handled and its connection not lost or ended
    // since. The client stays logged in through a lost connection, as it reconnects by itself.
    bool sessionUp = false;
    // The one "Login fail" box, while it is open.
    QPointer<QMessageBox> loginFailBox;

    // Live tables (client_terminal_livetables.cpp).
    std::unique_ptr<MarketWatch> marketWatch;
    std::unique_ptr<TradeTable> tradeTable;
    std::unique_ptr<NetTradeTable> netTable;
    AccountFigures accountFigures;        // balance, margin and credit of the last account reply
    bool autoArrange = true;
    QMap<QString, QList<Position>> positionsBySymbol;
    QFont summaryFont;

    // History tables (client_terminal_history.cpp).
    std::unique_ptr<HistoryTables> historyTables;
    int historyPeriod = 0;              // the "Period" entry last chosen; kept across logins
    std::function<QDate()> historyToday;

    static QString s_brokerListHost;
};
