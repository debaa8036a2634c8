#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include "marketrecords.h"

class FittedColumns;
class QMenu;
class QAction;
class QTableWidget;
class RowIndex;
class SymbolDataStorage;

// The market watch table: one row per listed symbol (name, bid, ask, spread in points, highest
// ask, lowest bid), rebuilt when the list or the filter really changes and updated in place by
// every accepted quote, with the price cells coloured by the direction of the change as shown.
// No name or price is ever cut short: the columns widen to the widest text they showed since
// the last rebuild, and the table scrolls sideways when they no longer fit.
//
// What grows with the server's replies: one row per listed symbol, and listed symbols are names
// the trade client tracks (at most 100,000 a run, 64 characters each; tradeclient.h). A row is
// six items with their texts and its place in the row index, about 1.2 KB: ~120 MB at worst.
// Replacement: each rebuild starts from the list. No file.
class MarketWatch
{
public:
    enum Column { SymbolColumn, BidColumn, AskColumn, SpreadColumn, HighColumn, LowColumn, ColumnCount };

    // Entries of the context menu that are not the window's own New Order action.
    enum MenuEntry { ShowChartEntry = 1, HideEntry, ShowEntry };

    explicit MarketWatch(QTableWidget *table);
    ~MarketWatch();
    MarketWatch(const MarketWatch &) = delete;
    MarketWatch &operator=(const MarketWatch &) = delete;

    const QStringList &symbols() const { return list; }
    const QString &filter() const { return filterText; }

    // Takes the store's list; false (and nothing changes) when it equals the one shown.
    bool setSymbols(const QStringList &symbols);
    // Takes the filter as typed; false when its upper-case form equals the current filter.
    bool setFilter(const QString &typed);

    // Refills the table from the list and the filter: quotes and decimals come from the store.
    void rebuild(SymbolDataStorage &store);

    // Reprices the first row of the quote's symbol; false when no row shows it.
    bool updateRow(const TickData &tick);

    // The first row showing the symbol, or -1.
    int rowOf(const QString &symbol) const;

    // The row's "Symbol" text; empty for a row that does not exist.
    QString symbolAt(int row) const;

    // Leaves no row current or highlighted.
    void clearSelection();

    // The menu of a row: the window's New Order action, "Show Chart", a separator, "Hide",
    // "Show". Entries whose command the window cannot carry out yet are disabled rather than
    // doing nothing. Each own entry carries its MenuEntry as data.
    static QMenu *buildContextMenu(QAction *newOrderAction, bool canShowChart, bool canShowSymbolDialog);

    // (ask - bid) * 10^digits, rounded to the nearest whole number.
    static qint64 spreadPoints(double ask, double bid, int digits);
    // Blue when the new value is above the shown one, red below, black when equal.
    static QColor changeColour(double newValue, double shownValue);

private:
    QTableWidget *table;
    QStringList list;
    QString filterText;
    RowIndex *index;
    FittedColumns *columns;
};
