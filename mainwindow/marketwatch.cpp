#include "marketwatch.h"

#include "displayformat.h"
#include "fittedcolumns.h"
#include "rowindex.h"
#include "symboldatastorage.h"

#include <QAction>
#include <QBrush>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTableWidget>
#include <cmath>

namespace {

QTableWidgetItem *textItem(const QString &text)
{
    return new QTableWidgetItem(text);
}

// Sets colour first, then text, on the cell that already holds the old text.
void setColouredText(QTableWidgetItem *item, const QColor &colour, const QString &text)
{
    item->setForeground(QBrush(colour));
    item->setText(text);
}

QTableWidgetItem *cell(QTableWidget *table, int row, int column)
{
    QTableWidgetItem *item = table->item(row, column);
    if (!item) {
        item = textItem(QString());
        table->setItem(row, column, item);
    }
    return item;
}

} // namespace

MarketWatch::MarketWatch(QTableWidget *table)
    : table(table),
      index(new RowIndex(table, SymbolColumn, SymbolColumn,
                         [](const QTableWidget *t, int row, QString *key) {
                             const QTableWidgetItem *item = t->item(row, SymbolColumn);
                             if (!item)
                                 return false;
                             *key = item->text();
                             return true;
                         },
                         table)),
      columns(new FittedColumns(table))
{
}

MarketWatch::~MarketWatch() = default;

bool MarketWatch::setSymbols(const QStringList &symbols)
{
    if (symbols == list)
        return false;
    list = symbols;
    return true;
}

bool MarketWatch::setFilter(const QString &typed)
{
    const QString upper = typed.toUpper();
    if (upper == filterText)
        return false;
    filterText = upper;
    return true;
}

void MarketWatch::rebuild(SymbolDataStorage &store)
{
    table->setRowCount(0);
    for (const QString &name : qAsConst(list)) {
        if (!filterText.isEmpty() && !name.toUpper().contains(filterText))
            continue;
        const TickData tick = store.tick(name);
        const int digits = store.symbolDigits(name);
        const int row = table->rowCount();
        table->insertRow(row);
        const QString texts[ColumnCount] = {name, DisplayFormat::price(tick.bid, digits),
            DisplayFormat::price(tick.ask, digits), QString::number(spreadPoints(tick.ask, tick.bid, digits)),
            DisplayFormat::price(tick.ask_high, digits), DisplayFormat::price(tick.bid_low, digits)};
        for (int column = 0; column < ColumnCount; ++column) {
            table->setItem(row, column, textItem(texts[column]));
            columns->fit(column, texts[column]);
        }
    }
    columns->apply();
    table->resizeRowsToContents();
}

bool MarketWatch::updateRow(const TickData &tick)
{
    const int row = index->row(tick.symbol);
    if (row < 0)
        return false;

    // A text wider than any its column showed since the rebuild widens the column (rare: a
    // price gaining a digit); every other quote only adds up a few character widths.
    bool wider = false;
    const auto show = [&](int column, const QString &text) {
        wider |= columns->fit(column, text);
        return text;
    };

    // Both sides of the comparison are what the trader sees: a move hidden by the rounding to
    // the shown decimals is no move.
    QTableWidgetItem *bid = cell(table, row, BidColumn);
    const QString bidText = show(BidColumn, DisplayFormat::price(tick.bid, tick.digits));
    setColouredText(bid, changeColour(bidText.toDouble(), bid->text().toDouble()), bidText);

    QTableWidgetItem *ask = cell(table, row, AskColumn);
    const QString askText = show(AskColumn, DisplayFormat::price(tick.ask, tick.digits));
    setColouredText(ask, changeColour(askText.toDouble(), ask->text().toDouble()), askText);

    QTableWidgetItem *spread = cell(table, row, SpreadColumn);
    const qint64 points = spreadPoints(tick.ask, tick.bid, tick.digits);
    const qint64 shownPoints = spread->text().toLongLong();
    setColouredText(spread, changeColour(double(points), double(shownPoints)),
                    show(SpreadColumn, QString::number(points)));

    cell(table, row, HighColumn)->setText(show(HighColumn, DisplayFormat::price(tick.ask_high, tick.digits)));
    cell(table, row, LowColumn)->setText(show(LowColumn, DisplayFormat::price(tick.bid_low, tick.digits)));
    if (wider)
        columns->apply();
    return true;
}

int MarketWatch::rowOf(const QString &symbol) const
{
    return index->row(symbol);
}

QString MarketWatch::symbolAt(int row) const
{
    const QTableWidgetItem *item = row >= 0 ? table->item(row, SymbolColumn) : nullptr;
    return item ? item->text() : QString();
}

void MarketWatch::clearSelection()
{
    // The current row goes first: a selection cleared while a row is still current would be
    // taken as that row chosen again.
    QItemSelectionModel *selection = table->selectionModel();
    selection->clearCurrentIndex();
    selection->clearSelection();
}

QMenu *MarketWatch::buildContextMenu(QAction *newOrderAction, bool canShowChart, bool canShowSymbolDialog)
{
    auto *menu = new QMenu;
    if (newOrderAction)
        menu->addAction(newOrderAction);
    QAction *chart = menu->addAction(QStringLiteral("Show Chart"));
    chart->setData(ShowChartEntry);
    chart->setEnabled(canShowChart);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Hide"))->setData(HideEntry);
    QAction *show = menu->addAction(QStringLiteral("Show"));
    show->setData(ShowEntry);
    show->setEnabled(canShowSymbolDialog);
    return menu;
}

qint64 MarketWatch::spreadPoints(double ask, double bid, int digits)
{
    return std::llround((ask - bid) * std::pow(10.0, digits));
}

QColor MarketWatch::changeColour(double newValue, double shownValue)
{
    if (newValue > shownValue)
        return Qt::blue;
    if (newValue < shownValue)
        return Qt::red;
    return Qt::black;
}

