// The main window's live tables: the market watch, the trade table with its trade commands, the
// account summary line and the net-trade table. Kept apart from the window's construction and
// connection handling so each side stays readable.
#include "client_terminal.h"
#include "ui_client_terminal.h"

#include "rowcontrols.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <memory>
#include <utility>

void Client_Terminal::setupLiveTables()
{
    summaryFont = QFont();
    summaryFont.setWeight(QFont::Bold);

    marketWatch = std::make_unique<MarketWatch>(ui->symbolTableWidget);
    tradeTable = std::make_unique<TradeTable>(ui->tradeTableWidget);
    netTable = std::make_unique<NetTradeTable>(ui->netTableWidget, summaryFont);

    // The close icon stands in the close column, the table's last, beside the figures rather than
    // over the profit, and closes positions only: a pending order's row has its own button there.
    QTableWidget *trades = ui->tradeTableWidget;
    if (auto *closeDelegate = qobject_cast<SummaryItemDelegate *>(
            trades->itemDelegateForColumn(TradeTable::ProfitColumn))) {
        trades->setItemDelegateForColumn(TradeTable::ProfitColumn, nullptr);
        trades->setItemDelegateForColumn(TradeTable::CloseColumn, closeDelegate);
        closeDelegate->setRowFilter(&TradeTable::isPositionRow);
    }
    tradeTable->setCloseHandler([this](qint64 ticket, int type) { onCloseTrade(ticket, type); });

    connect(&symbolStore, &SymbolDataStorage::tickChanged, this, &Client_Terminal::onPrice);
    connect(&symbolStore, &SymbolDataStorage::symbolListChanged, this, &Client_Terminal::onSymbolListChanged);
    connect(tradeClient, &TradeClient::openPositionsReceived, this, &Client_Terminal::onPosition);
    connect(tradeClient, &TradeClient::pendingOrdersReceived, this, &Client_Terminal::onOrder);
    connect(tradeClient, &TradeClient::tradeResponseReceived, this, &Client_Terminal::onTradeResponse);

    connect(&positionStore, &PositionDataStore::openPositionChanged, this, &Client_Terminal::tradeTableLoad);
    connect(&positionStore, &PositionDataStore::positionProfitChanged, this, &Client_Terminal::postionPriceChanged);
    connect(&positionStore, &PositionDataStore::netProfitChanged, this, &Client_Terminal::showNetProfit);
    connect(&positionStore, &PositionDataStore::symbolNetProfitChanged, this,
            &Client_Terminal::onSymbolNetProfitChanged);

    connect(ui->symbolTableWidget, &QWidget::customContextMenuRequested, this, &Client_Terminal::showTickContextMenu);
    // A press on the row already highlighted changes no selection, yet the trader chose that row
    // again, after a chart perhaps.
    connect(ui->symbolTableWidget, &QTableWidget::itemPressed, this,
            [this](QTableWidgetItem *item) { selectedSymbol = marketWatch->symbolAt(item->row()); });
    connect(ui->tradeTableWidget, &QWidget::customContextMenuRequested, this, &Client_Terminal::contextTradeMenu);
    connect(ui->txt_symbol, &QLineEdit::editingFinished, this, &Client_Terminal::onFilterSymbol);
}

// --- Market watch --------------------------------------------------------------------------------

void Client_Terminal::onPrice(TickData current_tick)
{
    updateSymbolRow(current_tick);
    // A symbol that is filtered out or not listed still reprices its positions.
    positionStore.onPriceChanged(current_tick);
    deliverTickToCharts(current_tick);
    emit symbolPriceChanged(current_tick);
}

void Client_Terminal::updateSymbolRow(const TickData &tick)
{
    marketWatch->updateRow(tick);
}

void Client_Terminal::refreshSymbolTable()
{
    marketWatch->rebuild(symbolStore);
}

void Client_Terminal::onSymbolListChanged(QStringList symbols)
{
    // The symbol kept through a reconnection stays only while the server still lists it: the
    // order dialog could not open any other. Read before a rebuild looks up, and so makes up
    // settings for, every name the market watch shows.
    if (std::exchange(selectionAwaitsSymbolList, false) && !symbolStore.heldSetting(selectedSymbol))
        forgetSelectedSymbol();
    if (marketWatch->setSymbols(symbols))
        refreshSymbolTable();
}

void Client_Terminal::onFilterSymbol()
{
    if (marketWatch->setFilter(ui->txt_symbol->text()))
        refreshSymbolTable();
}

void Client_Terminal::on_symbolTableWidget_itemSelectionChanged()
{
    const int row = ui->symbolTableWidget->currentRow();
    if (row >= 0)
        selectedSymbol = marketWatch->symbolAt(row);
}

void Client_Terminal::showTickContextMenu(QPoint pos)
{
    QTableWidget *table = ui->symbolTableWidget;
    const QTableWidgetItem *item = table->itemAt(pos);
    if (!item)
        return;
    const QString symbol = marketWatch->symbolAt(item->row());
    const std::unique_ptr<QMenu> menu(MarketWatch::buildContextMenu(ui->actionNew_Order, true, true));
    // The position comes in the viewport's coordinates, below the header.
    const QAction *chosen = menu->exec(table->viewport()->mapToGlobal(pos));
    const int entry = chosen ? chosen->data().toInt() : 0;
    // New Order has already run its own handler (the selected symbol); the row's symbol follows.
    if (chosen == ui->actionNew_Order)
        openNewOrderDialog(symbol);
    else if (entry == MarketWatch::ShowChartEntry)
        showChartGraph(symbol);
    else if (entry == MarketWatch::HideEntry)
        symbolStore.setSymbolVisible(symbol, false);
    else if (entry == MarketWatch::ShowEntry)
        showSymbolDialog();
}

// --- Trade table and trade commands --------------------------------------------------------------

void Client_Terminal::tradeTableLoad()
{
    const double totalProfit =
        tradeTable->rebuild(positionStore.openPositions(), positionStore.pendingOrders(), &positionsBySymbol);
    netTable->rebuild(positionsBySymbol, totalProfit);
}

void Client_Terminal::postionPriceChanged(Position position)
{
    tradeTable->updatePosition(position);
}

void Client_Terminal::contextTradeMenu(QPoint pos)
{
    QTableWidget *table = ui->tradeTableWidget;
    const QTableWidgetItem *item = table->itemAt(pos);
    if (!item)
        return;
    // The menu runs its own event loop, in which a positions reply can rebuild the table: what
    // the trader right-clicked is read now, and the row index is never used after the menu.
    const int row = item->row();
    const TradeTable::RowKind kind = tradeTable->kindAt(row);
    const QString symbol = tradeTable->symbolAt(row);
    const qint64 ticket = tradeTable->ticketAt(row);
    const std::unique_ptr<QMenu> menu(TradeTable::buildContextMenu(kind, autoArrange, true));
    const QAction *chosen = menu->exec(table->viewport()->mapToGlobal(pos));
    if (!chosen)
        return;
    switch (chosen->data().toInt()) {
    case TradeTable::CloseAllEntry:
        requestCloseAll(0);
        break;
    case TradeTable::CloseAllProfitEntry:
        requestCloseAll(1);
        break;
    case TradeTable::CloseAllLossEntry:
        requestCloseAll(2);
        break;
    case TradeTable::AutoArrangeEntry:
        autoArrange = !autoArrange;
        tradeTable->setAutoArrange(autoArrange);
        break;
    default: {
        // A position closed or an order filled while the menu was open: nothing is left to act on.
        bool exists = false;
        if (kind == TradeTable::RowKind::Position)
            positionStore.position(ticket, &exists);
        else if (kind == TradeTable::RowKind::Order)
            positionStore.pendingOrder(ticket, &exists);
        if (exists)
            openOrderDialogFromTradeMenu(chosen->data().toInt(), symbol, ticket);
        break;
    }
    }
}

void Client_Terminal::requestCloseAll(int sub_type)
{
    // Its own text, with the account in it, goes out through sendMessage: the session is checked
    // here as sendTradeRequest checks it.
    if (!tradeSessionUp()) {
        refuseTradeRequest(TradeMessages::closeAllRequest(login, sub_type));
        return;
    }
    tradeClient->sendMessage(TradeMessages::closeAllMessage(login, sub_type));
}

void Client_Terminal::onTradeResponse(QJsonObject response)
{
    playSound(response.value(QLatin1String("status")).toInt() == StatusDone ? tradeSound : tradeSound2);
}

void Client_Terminal::onOrder(QJsonObject obj)
{
    positionStore.setPendingOrders(obj.value(QLatin1String("array")).toArray());
}

TickData Client_Terminal::getTick(QString symbol)
{
    return symbolStore.tick(symbol);
}

Position Client_Terminal::getPosition(qint64 ticket)
{
    return positionStore.position(ticket);
}

QList<Position> Client_Terminal::getOppositePositions(qint64 ticket)
{
    return positionStore.oppositePositions(ticket);
}

PendingOrder Client_Terminal::getPendingOrder(qint64 ticket)
{
    return positionStore.pendingOrder(ticket);
}

// --- Account summary and net-trade table ---------------------------------------------------------

void Client_Terminal::onPosition(QJsonObject obj)
{
    const AccountPositionsReply reply = AccountPositionsReply::read(obj);
    accountFigures = reply.figures;
    if (!reply.isLast)
        return;
    positionStore.setOpenPositions(reply.positions);
    // The loaded positions carry their profits: equity and free margin are right at once, also
    // on a closed market where no tick follows.
    double openProfit = 0.0;
    for (const Position &position : positionStore.openPositions())
        openProfit += position.profit;
    updateAccountSummary(openProfit);
}

void Client_Terminal::showNetProfit(double net_profit)
{
    updateAccountSummary(net_profit);
}

void Client_Terminal::updateAccountSummary(double net_profit)
{
    if (auto *label = qobject_cast<QLabel *>(ui->toolboxDockWidget->titleBarWidget()))
        label->setText(accountSummaryText(accountFigures, net_profit));
}

void Client_Terminal::onSymbolNetProfitChanged(QString symbol, int symbol_positions, double symbol_buy_volume,
                                               double symbol_buy_price, double symbol_sell_volume,
                                               double symbol_sell_price, double symbol_net_profit)
{
    netTable->updateSymbol(symbol, symbolStore.heldDigits(symbol), symbol_positions, symbol_buy_volume,
                           symbol_buy_price, symbol_sell_volume, symbol_sell_price, symbol_net_profit);
}
