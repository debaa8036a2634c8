#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include "positionrecords.h"

#include <functional>

class FittedColumns;
class QMenu;
class QModelIndex;
class QPoint;
class QTableWidget;
class QTableWidgetItem;
class RowIndex;

// The "Trade" table: open positions, then pending orders, one row each. Rebuilt whole from the
// position store; between rebuilds only the current price and the profit of position rows change,
// found through a ticket index so a tick costs the same however many rows the table holds.
//
// Every row has one close control, in the unlabelled close column after the figures: a position
// the close icon (the column's delegate), a pending order its own "Close" button, which carries
// the order's ticket and symbol, so a rebuild of the table can never turn it onto another order.
// A rebuild replaces every button; the old ones are hidden at once and deleted by the view.
//
// No figure is ever cut: every column is at least as wide as its widest text and a narrower view
// scrolls sideways, so no text wraps; the buttons are no taller than a line of text, so the rows
// share one height. The close column is as wide as the button needs for its word in the table's
// font, whatever "Auto Arrange" does to the figure columns.
//
// What grows with the server's replies: one row per position and pending order the store holds,
// at most 10,000 of each (the trade client's held-record limit). As measured on the built
// terminal, a position row costs the window some 4.5 KB and a pending order's row, with its
// button, some 8.5 KB: ~130 MB at worst, and the texts the replies carried.
class TradeTable
{
public:
    // ColumnCount counts the figure columns, which the account statement reads by position.
    enum Column {
        SymbolColumn, TicketColumn, TimeColumn, TypeColumn, VolumeColumn, PriceColumn,
        StopLossColumn, TakeProfitColumn, CurrentPriceColumn, ProfitColumn, ColumnCount,
        CloseColumn = ColumnCount
    };
    enum class RowKind { None, Position, Order };

    // Context-menu entries, carried as the data of their actions.
    enum MenuEntry {
        ClosePositionEntry = 1, CloseByHedgeEntry, CloseAllEntry, CloseAllProfitEntry,
        CloseAllLossEntry, ModifyPositionEntry, DeleteOrderEntry, ModifyOrderEntry, AutoArrangeEntry
    };

    // Asks for a close or a delete: (ticket, 1) closes a position, (ticket, 2) deletes an order.
    using CloseHandler = std::function<void(qint64 ticket, int type)>;

    // Appends the close column to the table's figure columns.
    explicit TradeTable(QTableWidget *table);
    ~TradeTable();
    TradeTable(const TradeTable &) = delete;
    TradeTable &operator=(const TradeTable &) = delete;

    // Refills the table: positions first, then pending orders, each in the given order. Fills
    // positionsBySymbol (by symbol, each list in the given order) and returns the total profit.
    double rebuild(const QList<Position> &positions, const QList<PendingOrder> &orders,
                   QMap<QString, QList<Position>> *positionsBySymbol);

    // Where the pending orders' buttons send their clicks; buttons built before keep the old one.
    void setCloseHandler(CloseHandler handler);

    // Writes the position's current price and profit into its row; false when no position row
    // shows its ticket.
    bool updatePosition(const Position &position);

    RowKind kindAt(int row) const;
    qint64 ticketAt(int row) const;
    QString symbolAt(int row) const;
    // The position row of a ticket, or -1.
    int positionRow(qint64 ticket) const;

    // Whether the cell's row is an open position: only those carry the close icon.
    static bool isPositionRow(const QModelIndex &index);

    static QString orderTypeText(int type);

    // Which entries a row of the given kind enables ("Auto Arrange" always).
    static bool entryEnabled(MenuEntry entry, RowKind kind);
    // The row's menu, in its fixed order with a separator before "Auto Arrange", which shows the
    // check icon while auto-arrange is on. Entries that open the order dialog stay disabled while
    // the window has none (canOpenOrderDialog false).
    static QMenu *buildContextMenu(RowKind kind, bool autoArrange, bool canOpenOrderDialog);

    // On: the figure columns share the width (stretch); off: the user sizes them. The close
    // column keeps its width either way.
    void setAutoArrange(bool autoArrange);

    // The record's epoch seconds as local time, "yyyy.MM.dd hh:mm:ss", character for character as
    // QDateTime::toString writes it: in the system locale's digits.
    static QString formatTime(qint64 epochSeconds);
    // formatTime for the many rows of one fill: the local zone and the locale's digits are read
    // once, as this is made, rather than for every time (each reading of the zone asks the file
    // system for the zone file).
    class TimeTexts
    {
    public:
        TimeTexts();
        QString operator()(qint64 epochSeconds) const;

    private:
        char16_t zeroDigit; // the system locale's, which QDateTime writes
        bool fastPath;      // false: QDateTime writes every time
    };

private:
    void put(int row, int column, QTableWidgetItem *item, bool icon = false);
    void addCloseButton(int row, const PendingOrder &order, const QSize &size);

    QTableWidget *table;
    RowIndex *positions;
    FittedColumns *columns; // owned by the table
    CloseHandler closeHandler;
};
