// The "History" tab: the closed-positions, orders and deals tables, their shared context menu
// with the history periods, and the HTML account statement.
#include "client_terminal.h"
#include "ui_client_terminal.h"

#include "statementwriter.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QDesktopServices>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QUrl>
#include <memory>

void Client_Terminal::setupHistoryTables()
{
    historyTables = std::make_unique<HistoryTables>(ui->positionTableWidget, ui->orderTableWidget,
                                                    ui->dealTableWidget, summaryFont);
    connect(tradeClient, &TradeClient::tradeHistoryReceived, this, &Client_Terminal::historyTableLoad);
    for (QTableWidget *table : {ui->positionTableWidget, ui->orderTableWidget, ui->dealTableWidget})
        connect(table, &QWidget::customContextMenuRequested, this, &Client_Terminal::historyTableContext);
}

void Client_Terminal::setHistoryClock(std::function<QDate()> today)
{
    historyToday = std::move(today);
}

void Client_Terminal::historyTableLoad(QJsonObject obj)
{
    historyTables->load(obj, symbolStore);
}

void Client_Terminal::historySwitch(int index)
{
    historyTables->show(index);
}

void Client_Terminal::historyTableContext(QPoint pos)
{
    // The point comes in the coordinates of the viewport of the table that asked; a call that
    // names no table is taken for the one on show.
    auto *table = qobject_cast<QTableWidget *>(sender());
    if (table != ui->positionTableWidget && table != ui->orderTableWidget && table != ui->dealTableWidget) {
        table = ui->positionTableWidget;
        for (QTableWidget *history : {ui->orderTableWidget, ui->dealTableWidget})
            if (!history->isHidden())
                table = history;
    }

    const std::unique_ptr<QMenu> menu(HistoryTables::buildContextMenu(historyPeriod));
    const QAction *chosen = menu->exec(table->viewport()->mapToGlobal(pos));
    if (!chosen)
        return;
    switch (chosen->data().toInt()) {
    case HistoryTables::PositionsEntry:
        showPositionHistoryTable();
        break;
    case HistoryTables::OrdersEntry:
        historySwitch(1);
        break;
    case HistoryTables::DealsEntry:
        historySwitch(2);
        break;
    case HistoryTables::TodayEntry:
        requestHistoryPeriod(HistoryPeriod::Today);
        break;
    case HistoryTables::ThisWeekEntry:
        requestHistoryPeriod(HistoryPeriod::ThisWeek);
        break;
    case HistoryTables::ThisMonthEntry:
        requestHistoryPeriod(HistoryPeriod::ThisMonth);
        break;
    case HistoryTables::AllEntry:
        requestHistoryPeriod(HistoryPeriod::All);
        break;
    case HistoryTables::HtmlEntry:
        writeStatement();
        break;
    default:
        // "Overview" and "Open XML" produce nothing.
        break;
    }
}

void Client_Terminal::requestHistoryPeriod(HistoryPeriod period)
{
    const QDate today = historyToday ? historyToday() : QDate::currentDate();
    const HistoryBounds bounds = historyPeriodBounds(period, today);
    // Dropped by the client while no account is logged in; the chosen period is kept anyway.
    tradeClient->sendRequest(TradeMessages::tradeHistoryRequest(bounds.from, bounds.to));
    historyPeriod = int(period);
}

void Client_Terminal::writeStatement()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save File"), Statement::fileName(login),
                                                      tr("HTML Files(*.html)"));
    if (path.isEmpty())
        return;

    // Read after the dialog: a reply that came while it was open is part of the statement.
    StatementData data;
    data.account = login;
    data.clientName = clientName;
    data.group = clientGroup;
    data.serverName = serverName;
    data.closedPositions = Statement::tableTexts(ui->positionTableWidget, HistoryTables::PositionColumns, 1);
    data.openPositions = Statement::tableTexts(ui->tradeTableWidget, TradeTable::ColumnCount, 0);
    const QTableWidget *deals = ui->dealTableWidget;
    if (const QTableWidgetItem *summary = deals->rowCount() > 0 ? deals->item(deals->rowCount() - 1, 0) : nullptr)
        data.dealsSummary = summary->text();
    if (const auto *line = qobject_cast<const QLabel *>(ui->toolboxDockWidget->titleBarWidget()))
        data.accountSummary = line->text();
    data.date = historyToday ? historyToday() : QDate::currentDate();

    // Only a statement written whole is shown; a failed one leaves whatever stood there unopened.
    if (Statement::save(path, data))
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
