#pragma once
// The order-entry dialog: market orders, pending orders, modifying and deleting orders,
// modifying, closing and hedging positions, with a live tick chart of the chosen symbol.
//
// Contract: requests leave through TradeClient::sendRequest and are fire-and-forget. Trade
// replies carry no request id, so the first reply that arrives while the dialog waits is taken
// as the answer to its request; a reply while it does not wait is ignored. Preparing a mode
// (setMode) ends any wait, so a dropped request or a dialog closed while waiting never turns the
// next Place into a mere acknowledgment. The dialog reads positions, orders and quotes from its
// parent main window and keeps the last 200 seconds of ticks of every symbol, shown or not.
#include "marketrecords.h"

#include <QDialog>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

class AxisTag;
class Client_Terminal;
class QTimer;
class TradeClient;
class Ui_New_Order;

// The tick chart's window over one symbol's ticks, apart from any widget.
namespace TickWindow {

// Seconds of ticks kept, measured back from the symbol's newest tick.
constexpr double Span = 200.0;
// Room right of the newest tick on the time axis.
constexpr double Margin = 5.0;

// Appends one tick (time in seconds) after dropping, in one erase, the leading ticks more than
// Span seconds older than it. The three vectors stay index for index.
void append(QVector<double> &times, QVector<double> &bids, QVector<double> &asks, double time, double bid,
            double ask);

// The time axis for the kept ticks: from the oldest to the oldest + Span + Margin.
// Empty times give 0..0.
struct Range { double lower = 0.0; double upper = 0.0; };
Range timeRange(const QVector<double> &times);

} // namespace TickWindow

class New_Order : public QDialog
{
    Q_OBJECT
public:
    // The parent must be the main window: the modes and the symbol handler read from it.
    New_Order(TradeClient *client, QWidget *parent);
    ~New_Order() override;

    void setSymbolList(QStringList symbols);
    void setAccountInfo(QString serverName, QString clientName);
    void setMode(int mode, qint64 ticket);
    // Another account or server is logging in: whatever the dialog holds was prepared for the
    // previous one, so it is hidden and its mode ended.
    void endAccountUse();

    // Decimals needed to show a volume step (0.01 -> 2, 0.25 -> 2, below 0.0001 -> 0).
    static int decimalsOf(double step);

public slots:
    void onPriceChanged(TickData tick);
    void setCurrentSymbol(QString symbol);
    void on_orederTypeComboBox_currentIndexChanged(int index);
    void on_symbolComboBox_currentIndexChanged(QString arg1);
    void on_expTypeBox_currentIndexChanged(QString arg1);
    void on_pendingOrderTypeBox_currentIndexChanged(int index);
    void on_sellButton_clicked();
    void on_buyButton_clicked();
    void on_placeButton_clicked();
    void onTradeResponse(QJsonObject response);
    void appendTickGraph(TickData tick);
    void drawTickGraph();

private:
    void resetForm();
    void setRecordSymbol(const QString &symbol);
    void fillSymbolBox(const QString &wanted);
    void setupTickChart();
    void fitRiskNotice();
    void sendRequest(QJsonObject request);
    void sendMarketOrder(int orderType);
    Client_Terminal *mainWindow() const;
    void setPendingGroupVisible(bool visible);
    void setOppositeGroupVisible(bool visible);
    void applyVolumeLimits(const TickData &tick);
    void applyPriceDecimals(int digits);
    void finishCloseMode(const TickData &tick);
    void setTagsVisible(bool visible);
    bool sendsVolume() const;
    void separateTags(double bid, double ask);

    Ui_New_Order *ui;
    TradeClient *tradeClient;
    bool waiting = false;
    int mode = 0;
    qint64 ticket = 0;
    // One account refresh per request sent: a flood of trade replies while the dialog waits must
    // not turn into a flood of refreshes.
    bool refreshOwed = false;

    // The volume and price fields as the trader left them in the last New Order. The position
    // and order modes fill the same fields with their record's values, which must not become the
    // volume, stop loss or take profit of the next new order.
    struct NewOrderFields { double volume = 0.0, price = 0.0, stopLimit = 0.0, stopLoss = 0.0, takeProfit = 0.0; };
    NewOrderFields newOrderFields;

    // The symbol list last given, and the symbol of the position or order the mode acts on
    // (empty in New Order), which the box holds as well while the list lacks it.
    QStringList listedSymbols;
    QString recordSymbol;

    // A close mode prepared before its symbol had a quote: Place stays disabled until one for
    // this symbol arrives, then the volume limits are applied and Place enabled.
    QString closeAwaitsQuoteOf;
    double closeVolume = 0.0;

    AxisTag *bidTag = nullptr;
    AxisTag *askTag = nullptr;
    QTimer *tickTimer = nullptr;
    QMap<QString, QVector<double>> tickTimes;
    QMap<QString, QVector<double>> tickBids;
    QMap<QString, QVector<double>> tickAsks;
    QMap<QString, int> tickDigits;
};
