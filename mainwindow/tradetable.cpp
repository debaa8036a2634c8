#include "tradetable.h"

#include "displayformat.h"
#include "rowcontrols.h"
#include "rowindex.h"

#include <QAction>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableWidget>

namespace {

const QString PositionMark = QStringLiteral("position");
const QString OrderMark = QStringLiteral("order");
// What a pending order's button asks of the close handler: delete the order, never close a position.
constexpr int DeleteOrderClick = 2;
using DisplayFormat::money;
using DisplayFormat::optionalPrice;
using DisplayFormat::price;
using DisplayFormat::ReadOnlyCell;

QTableWidgetItem *makeCell(const QString &text)
{
    auto *item = new FooterItem(text);
    item->setFlags(ReadOnlyCell);
    return item;
}

void setText(QTableWidget *table, int row, int column, const QString &text)
{
    if (QTableWidgetItem *item = table->item(row, column))
        item->setText(text);
    else
        table->setItem(row, column, makeCell(text));
}

// The close column is narrow: the button's label takes a font small enough to show it whole
// in a button as wide as the cell (the column less its grid line).
void fitLabel(QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect.setWidth(TradeTable::CloseColumnWidth - 1);
    option.text = button->text();
    const int room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    QFont font = button->font();
    while (QFontMetrics(font).size(Qt::TextShowMnemonic, option.text).width() > room && font.pointSizeF() > 5)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    button->setFont(font);
}

void keepCloseColumn(QHeaderView *header)
{
    if (header->count() <= TradeTable::CloseColumn)
        return;
    header->setSectionResizeMode(TradeTable::CloseColumn, QHeaderView::Fixed);
    header->resizeSection(TradeTable::CloseColumn, TradeTable::CloseColumnWidth);
}

} // namespace

TradeTable::TradeTable(QTableWidget *table)
    : table(table),
      positions(new RowIndex(table, SymbolColumn, TicketColumn,
                             [](const QTableWidget *t, int row, QString *key) {
                                 const QTableWidgetItem *mark = t->item(row, SymbolColumn);
                                 const QTableWidgetItem *ticket = t->item(row, TicketColumn);
                                 if (!mark || !ticket || mark->data(Qt::UserRole).toString() != PositionMark)
                                     return false;
                                 *key = QString::number(ticket->text().toLongLong());
                                 return true;
                             },
                             table))
{
    table->setColumnCount(CloseColumn + 1);
    table->setHorizontalHeaderItem(CloseColumn, new QTableWidgetItem(QString()));
    keepCloseColumn(table->horizontalHeader());
}

TradeTable::~TradeTable() = default;

void TradeTable::setCloseHandler(CloseHandler handler)
{
    closeHandler = std::move(handler);
}

double TradeTable::rebuild(const QList<Position> &positionList, const QList<PendingOrder> &orders,
                           QMap<QString, QList<Position>> *positionsBySymbol)
{
    if (positionsBySymbol)
        positionsBySymbol->clear();
    table->setRowCount(0);
    table->setRowCount(positionList.size() + orders.size());

    double totalProfit = 0.0;
    int row = 0;
    for (const Position &p : positionList) {
        QTableWidgetItem *symbol = makeCell(p.symbol);
        symbol->setData(Qt::UserRole, PositionMark);
        // Only the exact text "sell" is a sell; anything else trades as a buy.
        symbol->setIcon(QIcon(p.isSell() ? QStringLiteral(":/icon/sell.png")
                                                              : QStringLiteral(":/icon/buy.png")));
        table->setItem(row, SymbolColumn, symbol);
        table->setItem(row, TicketColumn, makeCell(QString::number(p.ticket)));
        table->setItem(row, TimeColumn, makeCell(formatTime(p.time)));
        table->setItem(row, TypeColumn, makeCell(p.type));
        table->setItem(row, VolumeColumn, makeCell(money(p.volume)));
        table->setItem(row, PriceColumn, makeCell(price(p.price, p.digits)));
        table->setItem(row, StopLossColumn, makeCell(optionalPrice(p.sl, p.digits)));
        table->setItem(row, TakeProfitColumn, makeCell(optionalPrice(p.tp, p.digits)));
        table->setItem(row, CurrentPriceColumn, makeCell(price(p.current_price, p.digits)));
        table->setItem(row, ProfitColumn, makeCell(money(p.profit)));
        // Empty, so a click or a right-click beside the close icon still finds the row.
        table->setItem(row, CloseColumn, makeCell(QString()));
        totalProfit += p.profit;
        if (positionsBySymbol)
            (*positionsBySymbol)[p.symbol].append(p);
        ++row;
    }

    for (const PendingOrder &o : orders) {
        QTableWidgetItem *symbol = makeCell(o.symbol);
        symbol->setData(Qt::UserRole, OrderMark);
        const QString typeText = orderTypeText(o.type);
        if (!typeText.isEmpty())
            symbol->setIcon(QIcon(QStringLiteral(":/icon/pending_order.png")));
        table->setItem(row, SymbolColumn, symbol);
        table->setItem(row, TicketColumn, makeCell(QString::number(o.ticket)));
        table->setItem(row, TimeColumn, makeCell(formatTime(o.time)));
        auto *type = new QTableWidgetItem(typeText);
        type->setFlags(ReadOnlyCell);
        table->setItem(row, TypeColumn, type);
        table->setItem(row, VolumeColumn, makeCell(money(o.volume)));
        table->setItem(row, PriceColumn, makeCell(price(o.price, o.digits)));
        table->setItem(row, StopLossColumn, makeCell(optionalPrice(o.sl, o.digits)));
        table->setItem(row, TakeProfitColumn, makeCell(optionalPrice(o.tp, o.digits)));
        table->setItem(row, CurrentPriceColumn, makeCell(optionalPrice(o.s_price, o.digits)));
        table->setItem(row, ProfitColumn, makeCell(QStringLiteral("Placed")));
        table->setItem(row, CloseColumn, makeCell(QString()));
        addCloseButton(row, o);
        ++row;
    }

    table->resizeRowsToContents();
    return totalProfit;
}

void TradeTable::addCloseButton(int row, const PendingOrder &order)
{
    // The view takes the holder over as the cell's widget and deletes it with the row.
    auto *holder = new QWidget;
    auto *layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *button = new MyCloseButton(order.symbol, order.ticket, DeleteOrderClick, holder);
    // The table keeps the keyboard: no key typed in it deletes an order.
    button->setFocusPolicy(Qt::NoFocus);
    fitLabel(button);
    layout->addWidget(button, 0, Qt::AlignCenter);
    if (closeHandler)
        QObject::connect(button, &MyCloseButton::clicked, button, closeHandler);
    table->setCellWidget(row, CloseColumn, holder);
}

bool TradeTable::updatePosition(const Position &position)
{
    const QList<int> rows = positions->rows(QString::number(position.ticket));
    for (int row : rows) {
        setText(table, row, CurrentPriceColumn, price(position.current_price, position.digits));
        setText(table, row, ProfitColumn, money(position.profit));
    }
    return !rows.isEmpty();
}

TradeTable::RowKind TradeTable::kindAt(int row) const
{
    const QTableWidgetItem *item = row >= 0 ? table->item(row, SymbolColumn) : nullptr;
    if (!item)
        return RowKind::None;
    const QString mark = item->data(Qt::UserRole).toString();
    if (mark == PositionMark)
        return RowKind::Position;
    if (mark == OrderMark)
        return RowKind::Order;
    return RowKind::None;
}

qint64 TradeTable::ticketAt(int row) const
{
    const QTableWidgetItem *item = row >= 0 ? table->item(row, TicketColumn) : nullptr;
    return item ? item->text().toLongLong() : 0;
}

QString TradeTable::symbolAt(int row) const
{
    const QTableWidgetItem *item = row >= 0 ? table->item(row, SymbolColumn) : nullptr;
    return item ? item->text() : QString();
}

int TradeTable::positionRow(qint64 ticket) const
{
    return positions->row(QString::number(ticket));
}

bool TradeTable::isPositionRow(const QModelIndex &index)
{
    return index.isValid()
        && index.sibling(index.row(), SymbolColumn).data(Qt::UserRole).toString() == PositionMark;
}

QString TradeTable::orderTypeText(int type)
{
    switch (type) {
    case 0: return QStringLiteral("buy");
    case 1: return QStringLiteral("sell");
    case 2: return QStringLiteral("buy limit");
    case 3: return QStringLiteral("sell limit");
    case 4: return QStringLiteral("buy stop");
    case 5: return QStringLiteral("sell stop");
    case 6: return QStringLiteral("buy limit stop");
    case 7: return QStringLiteral("sell limit stop");
    default: return QString();
    }
}

bool TradeTable::entryEnabled(MenuEntry entry, RowKind kind)
{
    switch (entry) {
    case ClosePositionEntry:
    case CloseByHedgeEntry:
    case CloseAllEntry:
    case CloseAllProfitEntry:
    case CloseAllLossEntry:
    case ModifyPositionEntry:
        return kind == RowKind::Position;
    case DeleteOrderEntry:
    case ModifyOrderEntry:
        return kind == RowKind::Order;
    case AutoArrangeEntry:
        return true;
    }
    return false;
}

QMenu *TradeTable::buildContextMenu(RowKind kind, bool autoArrange, bool canOpenOrderDialog)
{
    struct Entry { MenuEntry entry; const char *text; bool needsOrderDialog; };
    static const Entry entries[] = {
        {ClosePositionEntry, "Close Position", true},
        {CloseByHedgeEntry, "Close By Hedge", true},
        {CloseAllEntry, "Close All Position", false},
        {CloseAllProfitEntry, "Close All Profit Position", false},
        {CloseAllLossEntry, "Close All Loss Position", false},
        {ModifyPositionEntry, "Modify Position", true},
        {DeleteOrderEntry, "Delete Order", true},
        {ModifyOrderEntry, "Modify Order", true},
    };
    auto *menu = new QMenu;
    for (const Entry &e : entries) {
        QAction *action = menu->addAction(QString::fromLatin1(e.text));
        action->setData(e.entry);
        action->setEnabled(entryEnabled(e.entry, kind) && (canOpenOrderDialog || !e.needsOrderDialog));
    }
    menu->addSeparator();
    QAction *arrange = menu->addAction(QStringLiteral("Auto Arrange"));
    arrange->setData(AutoArrangeEntry);
    if (autoArrange)
        arrange->setIcon(QIcon(QStringLiteral(":/icon/check.png")));
    return menu;
}

void TradeTable::applyAutoArrange(QHeaderView *header, bool autoArrange)
{
    header->setSectionResizeMode(autoArrange ? QHeaderView::Stretch : QHeaderView::Interactive);
    keepCloseColumn(header);
}

QString TradeTable::formatTime(qint64 epochSeconds)
{
    return QDateTime::fromSecsSinceEpoch(epochSeconds, Qt::LocalTime).toString(QStringLiteral("yyyy.MM.dd hh:mm:ss"));
}
