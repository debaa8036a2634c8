#pragma once
// The order-entry dialog: market orders, pending orders, modifying and deleting orders,
// modifying, closing and hedging positions, with a live tick chart of the chosen symbol.
//
// Contract: requests leave through the main window's sendTradeRequest and are fire-and-forget.
// Trade replies carry no request id, so the first reply that arrives while the dialog waits is
// taken as the answer to its request; a reply while it does not wait is ignored. A request the
// window refuses (no session up) is shown as not sent at once, and one whose connection ends
// before the answer as unanswered: neither waits, since no reply on a later connection answers
// it. Preparing a mode (setMode) ends any wait, so a dialog closed while waiting never turns the
// next Place into a mere acknowledgment. The dialog reads positions, orders and quotes from its
// parent main window and keeps the last 200 seconds of ticks of every symbol, shown or not,
// within the counts below.
//
// Stores that grow with what the trade server sends:
//   store           bound                                            worst case, hostile server
//   tick history    per symbol: the newest 10,000 ticks and only     at most about 115 MB:
//   (TickWindow::   those at most 200 s older than its newest;       1,000,000 ticks at <= 45 B,
//   History)        in all: 1,000,000 ticks (the largest give way)   100,000 symbols at ~700 B
// How it is reckoned: a kept tick is three doubles (time, bid, ask), one in each of its symbol's
// three QVector<double>, 24 B. Dropped ticks stay as a leading run until it exceeds a quarter of
// the kept ones (or 7), and a vector grows by half plus 8, so a vector's room is at most
// 1.25 x 1.5 = 1.875 times its kept doubles plus about 20, and never above 12,508 doubles (100
// symbols at the symbol cap: 300 vectors x 100 KB = 30 MB). So a tick costs at most 45 B of room,
// and a symbol about 700 B besides: three vector headers with their spare doubles
// (3 x (24 + 160) B), its hash node (80 B) and its name. The symbols are those the trade client
// tracks: 50,000 a run, up to 100,000 with those of positions and orders (the history outlives a
// login, so only a new login of the trader's own brings new names). Many symbols of a few ticks
// each are the costly shape: 100,000 symbols of 10 ticks take about 72 MB.
#include "marketrecords.h"

#include <QDialog>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <unordered_map>
#include <vector>

class AxisTag;
class Client_Terminal;
class QTimer;
class TradeClient;
class Ui_New_Order;

// The tick chart's history, apart from any widget.
namespace TickWindow {

// Seconds of ticks kept, measured back from the symbol's newest tick.
constexpr double Span = 200.0;
// Room right of the newest tick on the time axis.
constexpr double Margin = 5.0;
// Ticks kept at most of one symbol and of all symbols together, whatever the server's clock does.
constexpr int SymbolCap = 10000;
constexpr int TotalCap = 1000000;

// One symbol's kept ticks, oldest first; times, bids and asks index for index.
class Series
{
public:
    int size() const { return m_times.size() - m_first; }
    bool isEmpty() const { return size() == 0; }
    QVector<double> times() const { return m_times.mid(m_first); }
    QVector<double> bids() const { return m_bids.mid(m_first); }
    QVector<double> asks() const { return m_asks.mid(m_first); }
    double lastBid() const { return m_bids.last(); }
    double lastAsk() const { return m_asks.last(); }
    // The digits of the symbol's last tick.
    int digits() const { return m_digits; }
    // The room the three vectors hold, in bytes.
    qint64 bytesHeld() const
    {
        return qint64(m_times.capacity() + m_bids.capacity() + m_asks.capacity()) * qint64(sizeof(double));
    }

private:
    friend class History;
    double timeAt(int i) const { return m_times.at(m_first + i); }
    double lastTime() const { return m_times.last(); }
    void dropOldest(int count);
    void push(double time, double bid, double ask, int physicalCap);

    // A dropped tick only moves m_first; the dropped run is released in one copy once it is a
    // quarter of what is kept, so dropping costs O(1) amortised and the vectors' room stays
    // within 1.25 x 1.5 of the kept ticks (plus a few).
    QVector<double> m_times, m_bids, m_asks;
    int m_first = 0;
    int m_digits = 0;
    int m_slot = -1; // place among the series holding as many ticks
    QString m_symbol;
};

// Every symbol's kept ticks. A tick appended to a symbol first drops, in order:
//   - all the symbol's ticks when it is more than Span seconds older than the symbol's newest
//     (the last appended): a clock that stepped back, say a server on local time at the end of
//     summer time, starts the window again from it;
//   - the symbol's leading ticks more than Span seconds older than it (a clock that runs forward);
//   - the symbol's oldest ticks beyond SymbolCap - 1 (a clock that stands still or runs back in
//     small steps expires nothing);
//   - when TotalCap ticks are kept in all, one oldest tick of the symbol holding the most: the
//     appended symbol itself when it holds as many as any, otherwise the one of the largest that
//     reached that count last. A symbol left without ticks is forgotten.
// So the largest give way first and a symbol quoted late still grows towards an even share,
// while under both caps nothing is dropped but what the span and a step back past it drop (a
// step back within Span keeps the window). The symbols are kept in buckets by their count, so
// finding the largest costs no scan: a tick costs one hash lookup and O(1) amortised besides.
class History
{
public:
    explicit History(int symbolCap = SymbolCap, int totalCap = TotalCap);
    History(const History &) = delete;
    History &operator=(const History &) = delete;

    void append(const QString &symbol, double time, double bid, double ask, int digits);
    // Null when the symbol holds no ticks.
    const Series *find(const QString &symbol) const;
    int total() const { return m_total; }

private:
    void drop(Series &series, int count);
    void recount(Series &series, int before);

    const int m_symbolCap;
    const int m_totalCap;
    std::unordered_map<QString, Series> m_series;
    std::vector<std::vector<Series *>> m_holding; // by count; index 0 unused
    int m_most = 0;
    int m_total = 0;
};

// The time axis for the kept ticks, Span + Margin wide: the oldest at the left edge, moved just
// as far as the newest (the last appended, not the largest time) needs to be in view after a
// clock stepped back. Empty times give 0..0.
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
    // The connection was lost or ended: a request still awaiting its answer is shown, and
    // written in the journal, as unanswered.
    void connectionEnded();

    // Decimals needed to show a volume step (0.01 -> 2, 0.25 -> 2, below 0.0001 -> 0).
    static int decimalsOf(double step);

    // What the tick chart has recorded, shown or not.
    const TickWindow::History &recordedTicks() const { return tickHistory; }

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
    void showOutcome(const QString &text);
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
    // Where the last request stands. A failure the server sent (Failed) still takes a later
    // reply, as the request it answered may have been another's; what the terminal itself knows
    // (NotSent: refused before sending, or its connection ended before the answer) takes none.
    // Place acknowledges in every state but Editing.
    enum class RequestState { Editing, Sending, Failed, NotSent };
    RequestState requestState = RequestState::Editing;
    QString sentRequest; // what the request awaiting its answer asked for, as the journal names it
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
    TickWindow::History tickHistory;
};
