#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include "positionrecords.h"

class QHeaderView;
class QMenu;
class QModelIndex;
class QPoint;
class QTableWidget;
class RowIndex;

// The "Trade" table: open positions, then pending orders, one row each. Rebuilt whole from the
// position store; between rebuilds only the current price and the profit of position rows change,
// found through a ticket index so a tick costs the same however many rows the table holds.
class TradeTable
{
public:
    enum Column {
        SymbolColumn, TicketColumn, TimeColumn, TypeColumn, VolumeColumn, PriceColumn,
        StopLossColumn, TakeProfitColumn, CurrentPriceColumn, ProfitColumn, ColumnCount
    };
    enum class RowKind { None, Position, Order };

    // Context-menu entries, carried as the data of their actions.
    enum MenuEntry {
        ClosePositionEntry = 1, CloseByHedgeEntry, CloseAllEntry, CloseAllProfitEntry,
        CloseAllLossEntry, ModifyPositionEntry, DeleteOrderEntry, ModifyOrderEntry, AutoArrangeEntry
    };

    explicit TradeTable(QTableWidget *table);
    ~TradeTable();
    TradeTable(const TradeTable &) = delete;
    TradeTable &operator=(const TradeTable &) = delete;

    // Refills the table: positions first, then pending orders, each in the given order. Fills
    // positionsBySymbol (by symbol, each list in the given order) and returns the total profit.
    double rebuild(const QList<Position> &positions, const QList<PendingOrder> &orders,
                   QMap<QString, QList<Position>> *positionsBySymbol);

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

    // On: the columns share the width (stretch); off: the user sizes them.
    static void applyAutoArrange(QHeaderView *header, bool autoArrange);

    static QString formatTime(qint64 epochSeconds);

private:
    QTableWidget *table;
    RowIndex *positions;
};
