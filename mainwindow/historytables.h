#pragma once

#include <QDate>
#include <QFont>
#include <QIcon>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

class FittedColumns;
class QMenu;
class QTableWidget;
class SymbolDataStorage;

// One element of the trade-history reply's "positions": a closed position. Volumes in lots.
struct HistoryPosition
{
    qint64 ticket = 0;
    QString symbol;
    QString type;       // side as sent; only the exact text "buy" gets the buy icon
    qint64 time = 0;
    int digits = 0;
    double volume = 0.0;
    double priceOpen = 0.0;
    double priceClose = 0.0;
    double sl = 0.0;
    double tp = 0.0;
    double swap = 0.0;
    double profit = 0.0;

    static HistoryPosition read(const QJsonObject &element);
};

// One element of "orders". `state` is the whole part of the number sent, -1 when that lies
// outside the known states.
struct HistoryOrder
{
    qint64 ticket = 0;
    QString symbol;
    int type = 0;
    qint64 time = 0;
    double volume = 0.0;
    double price = 0.0;
    double stopLimitPrice = 0.0;
    double sl = 0.0;
    double tp = 0.0;
    int state = 0;
    int digits = 0;     // used only when the symbol store holds no digits for the symbol

    static HistoryOrder read(const QJsonObject &element);
};

// One element of "deals"; `kind` 0 buy, 1 sell, 2 balance, 3 credit, 4 charge.
struct HistoryDeal
{
    qint64 ticket = 0;
    qint64 order = 0;
    QString symbol;
    int kind = 0;
    qint64 time = 0;
    double volume = 0.0;
    double price = 0.0;
    double profit = 0.0;
    double swap = 0.0;
    double commission = 0.0;
    double fee = 0.0;
    int digits = 0;     // used only when the symbol store holds no digits for the symbol

    static HistoryDeal read(const QJsonObject &element);
};

// The running sums of one history reply and the three summary texts built from them. The
// statement reads the deals text back field by field, so its labels and separators are fixed.
struct HistorySums
{
    double closedProfit = 0.0;
    double deposit = 0.0;
    double withdraw = 0.0;
    double credit = 0.0;
    double swap = 0.0;
    double commission = 0.0;
    double fee = 0.0;
    int filled = 0;
    int canceled = 0;
    int total = 0;

    void add(const HistoryPosition &position);
    void add(const HistoryOrder &order);
    void add(const HistoryDeal &deal);

    // Closed profit, deposit, withdraw, credit, swap, commission and fee, added in that order.
    double balance() const;

    QString positionsSummary() const;
    QString ordersSummary() const;
    QString dealsSummary() const;
};

namespace HistoryText {

// "started" ... "expired" for 0..6, empty otherwise.
QString orderState(int state);
// "buy", "sell", "balance", "credit", "charge" for 0..4, empty otherwise.
QString dealKind(int kind);
// The swap column: empty for 0, else up to six significant digits (one million is "1e+06").
QString swap(double value);

} // namespace HistoryText

// The history periods of the context menu, in menu order.
enum class HistoryPeriod { Today = 0, ThisWeek = 1, ThisMonth = 2, All = 3 };

// The "from" and "to" of a period's trade-history request, epoch seconds. Every bound but
// All's is a local midnight counted in calendar days from `today` (so a day of a clock change
// keeps its 23 or 25 hours); "to" is the start of tomorrow. All is 0 and -1 (no end).
struct HistoryBounds
{
    qint64 from = 0;
    qint64 to = -1;
};
HistoryBounds historyPeriodBounds(HistoryPeriod period, const QDate &today);

// The three tables of the "History" tab: closed positions, orders and deals, each rebuilt whole
// from one trade-history reply and ended by a bold summary row spanning the table. Rows keep
// the reply's order and the tables are never sorted. No cell is cut short: each column is as
// wide as its widest text, and a table narrower than its columns scrolls sideways.
//
// What grows with the server's replies: the rows of the last reply, at most 100,000 a table and
// its summary row (the trade client's history-record limit). As measured on the built terminal,
// a row costs some 2.9 KB: ~880 MB for the three tables at worst, and the texts the reply
// carried (under the reply limit).
class HistoryTables
{
public:
    enum PositionColumn {
        PosSymbol, PosTicket, PosTime, PosType, PosVolume, PosStopLoss, PosTakeProfit,
        PosPriceOpen, PosPriceClose, PosSwap, PosProfit, PositionColumns
    };
    enum OrderColumn {
        OrdSymbol, OrdTicket, OrdTime, OrdType, OrdVolume, OrdStopLoss, OrdTakeProfit,
        OrdPrice, OrdStopLimitPrice, OrdState, OrderColumns
    };
    enum DealColumn {
        DealSymbol, DealTicket, DealOrder, DealTime, DealType, DealVolume, DealPrice, DealProfit,
        DealColumns
    };

    // Entries of the context menu, carried as the data of their actions.
    enum MenuEntry {
        PositionsEntry = 1, OrdersEntry, DealsEntry, TodayEntry, ThisWeekEntry, ThisMonthEntry,
        AllEntry, OverviewEntry, OpenXmlEntry, HtmlEntry
    };

    HistoryTables(QTableWidget *positions, QTableWidget *orders, QTableWidget *deals, const QFont &summaryFont);

    // Refills all three tables from the reply; deals and orders take their digits from the
    // store when it holds the symbol. Returns the sums shown in the summary rows.
    HistorySums load(const QJsonObject &reply, const SymbolDataStorage &store);

    // 0 shows the positions, 1 the orders, 2 the deals table and hides the other two; any other
    // index changes nothing.
    void show(int index);

    // The tab's menu: "Positions", "Orders", "Deals", the "Period" and "Report" sub-menus. The
    // period entry of `period` carries the check icon (no entry for a value outside 0..3).
    static QMenu *buildContextMenu(int period);

private:
    void appendSummary(QTableWidget *table, int row, const QString &text);
    void put(QTableWidget *table, int row, int column, const QString &text, const QIcon &icon = QIcon());
    FittedColumns *columnsOf(const QTableWidget *table) const;

    QTableWidget *positions;
    QTableWidget *orders;
    QTableWidget *deals;
    QFont summaryFont;
    // Built once: a QIcon per cell would load and decode the image for every row.
    QIcon buyIcon;
    QIcon sellIcon;
    QIcon pendingIcon;
    FittedColumns *positionColumns; // each owned by its table
    FittedColumns *orderColumns;
    FittedColumns *dealColumns;
};
