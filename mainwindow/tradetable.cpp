#include "tradetable.h"

#include "displayformat.h"
#include "fittedcolumns.h"
#include "rowcontrols.h"
#include "rowindex.h"

#include <QAction>
#include <QDateTime>
#include <QHBoxLayout>
#include <QIcon>
#include <QLocale>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableWidget>

#include <ctime>

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

// The least button that shows its word whole in the table's font: the word, the room the style
// keeps around a button's contents (its frame), the style's margin beside a button's text, and a
// pixel above and below.
QSize closeButtonSize(const QTableWidget *table)
{
    QStyleOptionButton option;
    option.initFrom(table);
    option.text = MyCloseButton::label();
    option.rect = QRect(0, 0, 100, 100);
    QStyle *style = table->style();
    const QRect room = style->subElementRect(QStyle::SE_PushButtonContents, &option, table);
    const QSize word = table->fontMetrics().size(Qt::TextShowMnemonic, option.text);
    return QSize(word.width() + option.rect.width() - room.width()
                     + style->pixelMetric(QStyle::PM_ButtonMargin, &option, table),
                 word.height() + option.rect.height() - room.height() + 2);
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
                             table)),
      columns(nullptr)
{
    table->setColumnCount(CloseColumn + 1);
    table->setHorizontalHeaderItem(CloseColumn, new QTableWidgetItem(QString()));
    columns = new FittedColumns(table);
    columns->holdColumn(CloseColumn, closeButtonSize(table).width());
    columns->apply();
}

TradeTable::~TradeTable() = default;

void TradeTable::setCloseHandler(CloseHandler handler)
{
    closeHandler = std::move(handler);
}

void TradeTable::put(int row, int column, QTableWidgetItem *item, bool icon)
{
    table->setItem(row, column, item);
    columns->fit(column, item->text(), icon);
}

double TradeTable::rebuild(const QList<Position> &positionList, const QList<PendingOrder> &orders,
                           QMap<QString, QList<Position>> *positionsBySymbol)
{
    if (positionsBySymbol)
        positionsBySymbol->clear();
    table->setRowCount(0);
    table->setRowCount(positionList.size() + orders.size());
    columns->reset();

    const TimeTexts timeText;
    double totalProfit = 0.0;
    int row = 0;
    for (const Position &p : positionList) {
        QTableWidgetItem *symbol = makeCell(p.symbol);
        symbol->setData(Qt::UserRole, PositionMark);
        // Only the exact text "sell" is a sell; anything else trades as a buy.
        symbol->setIcon(QIcon(p.isSell() ? QStringLiteral(":/icon/sell.png")
                                                              : QStringLiteral(":/icon/buy.png")));
        put(row, SymbolColumn, symbol, true);
        put(row, TicketColumn, makeCell(QString::number(p.ticket)));
        put(row, TimeColumn, makeCell(timeText(p.time)));
        put(row, TypeColumn, makeCell(p.type));
        put(row, VolumeColumn, makeCell(money(p.volume)));
        put(row, PriceColumn, makeCell(price(p.price, p.digits)));
        put(row, StopLossColumn, makeCell(optionalPrice(p.sl, p.digits)));
        put(row, TakeProfitColumn, makeCell(optionalPrice(p.tp, p.digits)));
        put(row, CurrentPriceColumn, makeCell(price(p.current_price, p.digits)));
        put(row, ProfitColumn, makeCell(money(p.profit)));
        // Empty, so a click or a right-click beside the close icon still finds the row.
        table->setItem(row, CloseColumn, makeCell(QString()));
        totalProfit += p.profit;
        if (positionsBySymbol)
            (*positionsBySymbol)[p.symbol].append(p);
        ++row;
    }

    // The table's font decides the button, and so the close column.
    const QSize buttonSize = closeButtonSize(table);
    columns->holdColumn(CloseColumn, buttonSize.width());
    for (const PendingOrder &o : orders) {
        QTableWidgetItem *symbol = makeCell(o.symbol);
        symbol->setData(Qt::UserRole, OrderMark);
        const QString typeText = orderTypeText(o.type);
        if (!typeText.isEmpty())
            symbol->setIcon(QIcon(QStringLiteral(":/icon/pending_order.png")));
        put(row, SymbolColumn, symbol, !typeText.isEmpty());
        put(row, TicketColumn, makeCell(QString::number(o.ticket)));
        put(row, TimeColumn, makeCell(timeText(o.time)));
        auto *type = new QTableWidgetItem(typeText);
        type->setFlags(ReadOnlyCell);
        put(row, TypeColumn, type);
        put(row, VolumeColumn, makeCell(money(o.volume)));
        put(row, PriceColumn, makeCell(price(o.price, o.digits)));
        put(row, StopLossColumn, makeCell(optionalPrice(o.sl, o.digits)));
        put(row, TakeProfitColumn, makeCell(optionalPrice(o.tp, o.digits)));
        put(row, CurrentPriceColumn, makeCell(optionalPrice(o.s_price, o.digits)));
        put(row, ProfitColumn, makeCell(QStringLiteral("Placed")));
        table->setItem(row, CloseColumn, makeCell(QString()));
        addCloseButton(row, o, buttonSize);
        ++row;
    }

    columns->apply();
    // With every text on one line and the buttons no taller than a line, the rows come out alike.
    table->resizeRowsToContents();
    return totalProfit;
}

void TradeTable::addCloseButton(int row, const PendingOrder &order, const QSize &size)
{
    // The view takes the holder over as the cell's widget and deletes it with the row.
    auto *holder = new QWidget;
    auto *layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *button = new MyCloseButton(order.symbol, order.ticket, DeleteOrderClick, holder);
    // The table keeps the keyboard: no key typed in it deletes an order.
    button->setFocusPolicy(Qt::NoFocus);
    // The style's least push button is far wider than the word; the label keeps the table's font.
    button->setFixedSize(size);
    layout->addWidget(button, 0, Qt::AlignCenter);
    if (closeHandler)
        QObject::connect(button, &MyCloseButton::clicked, button, closeHandler);
    table->setCellWidget(row, CloseColumn, holder);
}

bool TradeTable::updatePosition(const Position &position)
{
    const QList<int> rows = positions->rows(QString::number(position.ticket));
    if (rows.isEmpty())
        return false;
    // A profit gaining a digit widens its column; every other tick adds up a few character widths.
    const QString currentPrice = price(position.current_price, position.digits);
    const QString profit = money(position.profit);
    for (int row : rows) {
        setText(table, row, CurrentPriceColumn, currentPrice);
        setText(table, row, ProfitColumn, profit);
    }
    const bool wider = columns->fit(CurrentPriceColumn, currentPrice);
    if (columns->fit(ProfitColumn, profit) || wider)
        columns->apply();
    return true;
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

void TradeTable::setAutoArrange(bool autoArrange)
{
    columns->setArranged(autoArrange);
}

QString TradeTable::formatTime(qint64 epochSeconds)
{
    return TimeTexts()(epochSeconds);
}

TradeTable::TimeTexts::TimeTexts()
    : zeroDigit(QLocale::system().zeroDigit().unicode())
{
    tzset();
    // QDateTime writes each digit as the locale's zero plus the digit's value, and the pattern's
    // separators as they stand, in every locale. A zero outside the BMP would take two QChars a
    // digit, which the fast path does not write: QDateTime writes those times.
    fastPath = !QChar::isSurrogate(zeroDigit);
}

QString TradeTable::TimeTexts::operator()(qint64 epochSeconds) const
{
    // Where QDateTime takes the C library's local time, so do these: from the epoch to the end
    // of 2037. Earlier and later times it works out its own way, which stays its own.
    constexpr qint64 LastCLibraryTime = 2145916799;
    tm local;
    const time_t seconds = time_t(epochSeconds);
    if (!fastPath || epochSeconds < 0 || epochSeconds > LastCLibraryTime || !localtime_r(&seconds, &local))
        return QDateTime::fromSecsSinceEpoch(epochSeconds, Qt::LocalTime).toString(QStringLiteral("yyyy.MM.dd hh:mm:ss"));
    // "yyyy.MM.dd hh:mm:ss": each field zero-padded to its width, written from its last place.
    QChar text[19];
    const auto field = [&](int last, int width, int value) {
        for (int at = last; at > last - width; --at, value /= 10)
            text[at] = QChar(char16_t(zeroDigit + value % 10));
    };
    field(3, 4, local.tm_year + 1900);
    text[4] = text[7] = QLatin1Char('.');
    field(6, 2, local.tm_mon + 1);
    field(9, 2, local.tm_mday);
    text[10] = QLatin1Char(' ');
    field(12, 2, local.tm_hour);
    text[13] = text[16] = QLatin1Char(':');
    field(15, 2, local.tm_min);
    field(18, 2, local.tm_sec);
    return QString(text, 19);
}
