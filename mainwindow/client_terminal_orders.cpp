// The main window's order commands: where the order-entry dialog is opened from (New Order,
// the market watch, the trade table) and the quotes that feed it.
#include "client_terminal.h"
#include "ui_client_terminal.h"

#include "logger.h"
#include "new_order.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QTableWidget>

void Client_Terminal::setupOrderEntry()
{
    newOrder = new New_Order(tradeClient, this);
    connect(this, &Client_Terminal::symbolPriceChanged, newOrder, &New_Order::onPriceChanged);
    connect(ui->symbolTableWidget, &QTableWidget::itemDoubleClicked, this, &Client_Terminal::symbolDoubleClicked);
    connect(ui->tradeTableWidget, &QTableWidget::itemDoubleClicked, this, &Client_Terminal::tradeItemDoubleClicked);
}

void Client_Terminal::on_actionNew_Order_triggered()
{
    openNewOrderDialog(selectedSymbol);
}

void Client_Terminal::openNewOrderDialog(const QString &symbol)
{
    openOrderDialog(symbol, NewOrder, 0);
}

void Client_Terminal::openOrderDialog(const QString &symbol, int mode, qint64 ticket)
{
    if (!symbol.isEmpty())
        newOrder->setCurrentSymbol(symbol);
    newOrder->setMode(mode, ticket);
    newOrder->show();
}

void Client_Terminal::symbolDoubleClicked(QTableWidgetItem *item)
{
    if (item)
        openNewOrderDialog(marketWatch->symbolAt(item->row()));
}

void Client_Terminal::tradeItemDoubleClicked(QTableWidgetItem *item)
{
    if (!item)
        return;
    const int row = item->row();
    switch (tradeTable->kindAt(row)) {
    case TradeTable::RowKind::Position:
        openOrderDialog(tradeTable->symbolAt(row), ClosePosition, tradeTable->ticketAt(row));
        break;
    case TradeTable::RowKind::Order:
        openOrderDialog(tradeTable->symbolAt(row), ModifyOrder, tradeTable->ticketAt(row));
        break;
    case TradeTable::RowKind::None:
        break;
    }
}

void Client_Terminal::openOrderDialogFromTradeMenu(int entry, const QString &symbol, qint64 ticket)
{
    int mode;
    switch (entry) {
    case TradeTable::ClosePositionEntry: mode = ClosePosition; break;
    case TradeTable::CloseByHedgeEntry: mode = CloseByHedge; break;
    case TradeTable::ModifyPositionEntry: mode = ModifyPosition; break;
    case TradeTable::DeleteOrderEntry: mode = DeleteOrder; break;
    case TradeTable::ModifyOrderEntry: mode = ModifyOrder; break;
    default: return;
    }
    openOrderDialog(symbol, mode, ticket);
}

bool Client_Terminal::tradeSessionUp() const
{
    // Right after a switch of account the window still names the old one until the new login
    // has been handled: a request goes out only for the account the client is logged in with.
    return sessionUp && login > 0 && tradeClient->isLoggedIn() && tradeClient->accountLogin() == login;
}

bool Client_Terminal::sendTradeRequest(const QJsonObject &request)
{
    if (!tradeSessionUp()) {
        refuseTradeRequest(request);
        return false;
    }
    tradeClient->sendRequest(request);
    return true;
}

void Client_Terminal::refuseTradeRequest(const QJsonObject &request)
{
    // A market order sent minutes later, at another price, would be worse than none: nothing is
    // queued, and the trader hears and reads at once that nothing went out.
    playSound(tradeSound2);
    Logger::instance()->log(QStringLiteral("Terminal"),
                            TradeMessages::describe(request) + QStringLiteral(": not sent, no connection to the trade server"));
}
