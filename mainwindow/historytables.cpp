#include "historytables.h"

#include "displayformat.h"
#include "fittedcolumns.h"
#include "marketrecords.h"
#include "rowcontrols.h"
#include "symboldatastorage.h"
#include "tradetable.h"

#include <QAction>
#include <QDateTime>
#include <QJsonArray>
#include <QMenu>
#include <QSignalBlocker>
#include <QTableWidget>

namespace {

using DisplayFormat::money;
using DisplayFormat::optionalPrice;
using DisplayFormat::price;

QTableWidgetItem *cell(const QString &text)
{
    auto *item = new FooterItem(text);
    item->setFlags(DisplayFormat::ReadOnlyCell);
    return item;
}

QString lotsText(double lots)
{
    return money(lots);
}

QString wholeText(qint64 value)
{
    return QString::number(value);
}

// The reply's numbers that stand for an integer in its records: a deal's kind, an order's type.
int intKey(const QJsonObject &element, const char *key)
{
    return JsonRead::int32(element.value(QLatin1String(key)));
}

qint64 wideKey(const QJsonObject &element, const char *key)
{
    return JsonRead::int64(element.value(QLatin1String(key)));
}

double numberKey(const QJsonObject &element, const char *key)
{
    return JsonRead::number(element.value(QLatin1String(key)));
}

QString textKey(const QJsonObject &element, const char *key)
{
    return JsonRead::text(element.value(QLatin1String(key)));
}

int digitsKey(const QJsonObject &element)
{
    return JsonRead::digits(element.value(QLatin1String("digits")));
}

// A deal's or an order's decimals: the symbol's own when the store holds them, else the reply's.
int rowDigits(const SymbolDataStorage &store, const QString &symbol, int elementDigits)
{
    const int held = store.heldDigits(symbol);
    return held != 0 ? held : elementDigits;
}

QJsonArray arrayOf(const QJsonObject &reply, const char *key)
{
    return reply.value(QLatin1String(key)).toArray();
}

} // namespace

HistoryPosition HistoryPosition::read(const QJsonObject &e)
{
    HistoryPosition p;
    p.ticket = wideKey(e, "ticket");
    p.symbol = textKey(e, "symbol");
    p.type = textKey(e, "type");
    p.time = wideKey(e, "time");
    p.digits = digitsKey(e);
    p.volume = numberKey(e, "volume") / 10000.0;
    p.priceOpen = numberKey(e, "price_o");
    p.priceClose = numberKey(e, "price_c");
    p.sl = numberKey(e, "sl");
    p.tp = numberKey(e, "tp");
    p.swap = numberKey(e, "swap");
    p.profit = numberKey(e, "profit");
    return p;
}

HistoryOrder HistoryOrder::read(const QJsonObject &e)
{
    HistoryOrder o;
    o.ticket = wideKey(e, "ticket");
    o.symbol = textKey(e, "symbol");
    o.type = intKey(e, "type");
    o.time = wideKey(e, "time");
    o.volume = numberKey(e, "volume") / 10000.0;
    o.price = numberKey(e, "price");
    o.stopLimitPrice = numberKey(e, "s_price");
    o.sl = numberKey(e, "sl");
    o.tp = numberKey(e, "tp");
    // The state may come as a fraction; its whole part counts. The range test comes before the
    // cast, which is undefined for a double beyond int.
    const double state = numberKey(e, "state");
    o.state = (state > -1.0 && state < 7.0) ? int(state) : -1;
    o.digits = digitsKey(e);
    return o;
}

HistoryDeal HistoryDeal::read(const QJsonObject &e)
{
    HistoryDeal d;
    d.ticket = wideKey(e, "ticket");
    d.order = wideKey(e, "order");
    d.symbol = textKey(e, "symbol");
    d.kind = intKey(e, "type");
    d.time = wideKey(e, "time");
    d.volume = numberKey(e, "volume") / 10000.0;
    d.price = numberKey(e, "price");
    d.profit = numberKey(e, "profit");
    d.swap = numberKey(e, "swap");
    d.commission = numberKey(e, "commission");
    d.fee = numberKey(e, "fee");
    d.digits = digitsKey(e);
    return d;
}

void HistorySums::add(const HistoryPosition &position)
{
    closedProfit += position.profit;
}

void HistorySums::add(const HistoryOrder &order)
{
    ++total;
    if (order.state == 4)
        ++filled;
    else if (order.state == 2)
        ++canceled;
}

void HistorySums::add(const HistoryDeal &deal)
{
    swap += deal.swap;
    commission += deal.commission;
    fee += deal.fee;
    if (deal.kind == 2) {
        if (deal.profit > 0.0)
            deposit += deal.profit;
        else
            withdraw += deal.profit;
    } else if (deal.kind == 3) {
        credit += deal.profit;
    }
}

double HistorySums::balance() const
{
    double sum = closedProfit;
    sum += deposit;
    sum += withdraw;
    sum += credit;
    sum += swap;
    sum += commission;
    sum += fee;
    return sum;
}

QString HistorySums::positionsSummary() const
{
    return QStringLiteral("Profit: ") + money(closedProfit) + QStringLiteral(", Credit: ") + money(credit)
        + QStringLiteral(", Deposit: ") + money(deposit) + QStringLiteral(", Withdraw: ") + money(withdraw);
}

QString HistorySums::ordersSummary() const
{
    return QStringLiteral("Filled: ") + QString::number(filled) + QStringLiteral(", Canceled: ")
        + QString::number(canceled) + QStringLiteral(", Total: ") + QString::number(total);
}

QString HistorySums::dealsSummary() const
{
    return positionsSummary() + QStringLiteral(", Swap: ") + money(swap) + QStringLiteral(", Commission: ")
        + money(commission) + QStringLiteral(", Balance: ") + money(balance());
}

namespace HistoryText {

QString orderState(int state)
{
    switch (state) {
    case 0: return QStringLiteral("started");
    case 1: return QStringLiteral("placed");
    case 2: return QStringLiteral("canceled");
    case 3: return QStringLiteral("partial");
    case 4: return QStringLiteral("filled");
    case 5: return QStringLiteral("rejected");
    case 6: return QStringLiteral("expired");
    default: return QString();
    }
}

QString dealKind(int kind)
{
    switch (kind) {
    case 0: return QStringLiteral("buy");
    case 1: return QStringLiteral("sell");
    case 2: return QStringLiteral("balance");
    case 3: return QStringLiteral("credit");
    case 4: return QStringLiteral("charge");
    default: return QString();
    }
}

QString swap(double value)
{
    return value == 0.0 ? QString() : QString::number(value, 'g', 6);
}

} // namespace HistoryText

HistoryBounds historyPeriodBounds(HistoryPeriod period, const QDate &today)
{
    const auto midnight = [&today](int days) { return today.addDays(days).startOfDay().toSecsSinceEpoch(); };
    switch (period) {
    case HistoryPeriod::Today: return {midnight(-1), midnight(1)};
    case HistoryPeriod::ThisWeek: return {midnight(-7), midnight(1)};
    case HistoryPeriod::ThisMonth: return {midnight(-30), midnight(1)};
    case HistoryPeriod::All: break;
    }
    return {0, -1};
}

HistoryTables::HistoryTables(QTableWidget *positions, QTableWidget *orders, QTableWidget *deals,
                             const QFont &summaryFont)
    : positions(positions), orders(orders), deals(deals), summaryFont(summaryFont),
      buyIcon(QStringLiteral(":/icon/buy.png")), sellIcon(QStringLiteral(":/icon/sell.png")),
      pendingIcon(QStringLiteral(":/icon/pending_order.png")),
      positionColumns(new FittedColumns(positions)), orderColumns(new FittedColumns(orders)),
      dealColumns(new FittedColumns(deals))
{
}

void HistoryTables::put(QTableWidget *table, int row, int column, const QString &text, const QIcon &icon)
{
    QTableWidgetItem *item = cell(text);
    if (!icon.isNull())
        item->setIcon(icon);
    table->setItem(row, column, item);
    // Every table's first column holds the symbol, most of them with an icon before it.
    columnsOf(table)->fit(column, text, column == 0);
}

FittedColumns *HistoryTables::columnsOf(const QTableWidget *table) const
{
    return table == positions ? positionColumns : table == orders ? orderColumns : dealColumns;
}

HistorySums HistoryTables::load(const QJsonObject &reply, const SymbolDataStorage &store)
{
    const QJsonArray positionArray = arrayOf(reply, "positions");
    const QJsonArray orderArray = arrayOf(reply, "orders");
    const QJsonArray dealArray = arrayOf(reply, "deals");

    // Each table gets its final row count (data rows and the summary row) before it is filled,
    // and paints once afterwards.
    const struct { QTableWidget *table; int rows; } fills[] = {
        {positions, positionArray.size()}, {orders, orderArray.size()}, {deals, dealArray.size()}};
    for (const auto &fill : fills) {
        fill.table->setUpdatesEnabled(false);
        fill.table->setRowCount(0);
        fill.table->setRowCount(fill.rows + 1);
        columnsOf(fill.table)->reset();
    }

    // Nobody watches a single cell of these tables: the views paint once the fill is done, and
    // a signal per cell would cost more than the cell.
    const QSignalBlocker quietPositions(positions->model());
    const QSignalBlocker quietOrders(orders->model());
    const QSignalBlocker quietDeals(deals->model());
    const TradeTable::TimeTexts timeText;
    HistorySums sums;

    int row = 0;
    for (const QJsonValue value : positionArray) {
        const HistoryPosition p = HistoryPosition::read(value.toObject());
        put(positions, row, PosSymbol, p.symbol, p.type == QLatin1String("buy") ? buyIcon : sellIcon);
        put(positions, row, PosTicket, wholeText(p.ticket));
        put(positions, row, PosTime, timeText(p.time));
        put(positions, row, PosType, p.type);
        put(positions, row, PosVolume, lotsText(p.volume));
        put(positions, row, PosStopLoss, optionalPrice(p.sl, p.digits));
        put(positions, row, PosTakeProfit, optionalPrice(p.tp, p.digits));
        put(positions, row, PosPriceOpen, price(p.priceOpen, p.digits));
        put(positions, row, PosPriceClose, price(p.priceClose, p.digits));
        put(positions, row, PosSwap, HistoryText::swap(p.swap));
        put(positions, row, PosProfit, money(p.profit));
        sums.add(p);
        ++row;
    }

    row = 0;
    for (const QJsonValue value : dealArray) {
        const HistoryDeal d = HistoryDeal::read(value.toObject());
        const int digits = rowDigits(store, d.symbol, d.digits);
        const bool trade = d.kind == 0 || d.kind == 1;
        put(deals, row, DealSymbol, d.symbol, !trade ? QIcon() : d.kind == 0 ? buyIcon : sellIcon);
        put(deals, row, DealTicket, wholeText(d.ticket));
        put(deals, row, DealOrder, trade ? wholeText(d.order) : QString());
        put(deals, row, DealTime, timeText(d.time));
        put(deals, row, DealType, HistoryText::dealKind(d.kind));
        put(deals, row, DealVolume, trade ? lotsText(d.volume) : QString());
        put(deals, row, DealPrice, trade ? price(d.price, digits) : QString());
        put(deals, row, DealProfit, money(d.profit));
        sums.add(d);
        ++row;
    }

    row = 0;
    for (const QJsonValue value : orderArray) {
        const HistoryOrder o = HistoryOrder::read(value.toObject());
        const int digits = rowDigits(store, o.symbol, o.digits);
        const QString typeText = TradeTable::orderTypeText(o.type);
        put(orders, row, OrdSymbol, o.symbol, typeText.isEmpty() ? QIcon() : pendingIcon);
        put(orders, row, OrdTicket, wholeText(o.ticket));
        put(orders, row, OrdTime, timeText(o.time));
        put(orders, row, OrdType, typeText);
        put(orders, row, OrdVolume, lotsText(o.volume));
        put(orders, row, OrdStopLoss, optionalPrice(o.sl, digits));
        put(orders, row, OrdTakeProfit, optionalPrice(o.tp, digits));
        put(orders, row, OrdPrice, price(o.price, digits));
        put(orders, row, OrdStopLimitPrice, optionalPrice(o.stopLimitPrice, digits));
        put(orders, row, OrdState, HistoryText::orderState(o.state));
        sums.add(o);
        ++row;
    }

    appendSummary(positions, positionArray.size(), sums.positionsSummary());
    appendSummary(orders, orderArray.size(), sums.ordersSummary());
    appendSummary(deals, dealArray.size(), sums.dealsSummary());

    for (const auto &fill : fills) {
        columnsOf(fill.table)->apply();
        fill.table->setUpdatesEnabled(true);
    }
    return sums;
}

void HistoryTables::appendSummary(QTableWidget *table, int row, const QString &text)
{
    QTableWidgetItem *item = cell(text);
    item->setFont(summaryFont);
    table->setItem(row, 0, item);
    table->setSpan(row, 0, 1, table->columnCount());
    columnsOf(table)->fitSpanning(text, summaryFont);
    table->resizeRowToContents(row); // the bold font stands taller than the rows' own
}

void HistoryTables::show(int index)
{
    if (index < 0 || index > 2)
        return;
    positions->setVisible(index == 0);
    orders->setVisible(index == 1);
    deals->setVisible(index == 2);
}

QMenu *HistoryTables::buildContextMenu(int period)
{
    auto *menu = new QMenu;
    const auto add = [](QMenu *to, const char *text, MenuEntry entry) {
        QAction *action = to->addAction(QString::fromLatin1(text));
        action->setData(entry);
        return action;
    };
    add(menu, "Positions", PositionsEntry);
    add(menu, "Orders", OrdersEntry);
    add(menu, "Deals", DealsEntry);
    QMenu *periods = menu->addMenu(QStringLiteral("Period"));
    const MenuEntry periodEntries[] = {TodayEntry, ThisWeekEntry, ThisMonthEntry, AllEntry};
    const char *periodTexts[] = {"Today", "This week", "This month", "All"};
    for (int i = 0; i < 4; ++i) {
        QAction *action = add(periods, periodTexts[i], periodEntries[i]);
        if (i == period)
            action->setIcon(QIcon(QStringLiteral(":/icon/check.png")));
    }
    QMenu *report = menu->addMenu(QStringLiteral("Report"));
    add(report, "Overview", OverviewEntry);
    add(report, "Open XML (MS Office Excel 2007)", OpenXmlEntry);
    add(report, "HTML (Internet Explorer)", HtmlEntry);
    return menu;
}
