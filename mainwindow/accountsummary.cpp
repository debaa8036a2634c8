#include "accountsummary.h"

#include "displayformat.h"
#include "fittedcolumns.h"
#include "trademessages.h"

#include <QJsonValue>
#include <QTableWidget>
#include <cmath>

namespace {

using DisplayFormat::money;
using DisplayFormat::price;
using DisplayFormat::ReadOnlyCell;

// The value as the table shows it, so the "Summary" row adds what the trader reads.
double asShown(double value)
{
    return money(value).toDouble();
}

double numberOf(const QJsonValue &value)
{
    return value.isDouble() ? value.toDouble() : 0.0;
}

} // namespace

AccountPositionsReply AccountPositionsReply::read(const QJsonObject &reply)
{
    AccountPositionsReply r;
    r.figures.balance = numberOf(reply.value(QLatin1String("balance")));
    r.figures.margin = numberOf(reply.value(QLatin1String("margin")));
    r.figures.credit = numberOf(reply.value(QLatin1String("credit")));
    r.positions = reply.value(QLatin1String("array")).toArray();
    r.isLast = TradeMessages::replacesPositions(reply);
    return r;
}

QString accountSummaryText(const AccountFigures &f, double netProfit)
{
    const double equity = f.balance + f.credit + netProfit;
    const double freeMargin = f.balance + f.credit + netProfit - f.margin;
    QString text = QStringLiteral(" Balance: ") + money(f.balance)
        + QStringLiteral(", Net profit: ") + money(netProfit)
        + QStringLiteral(", Equity: ") + money(equity);
    if (f.credit != 0.0)
        text += QStringLiteral(", Credit: ") + money(f.credit);
    text += QStringLiteral(", Used margin: ") + money(f.margin)
        + QStringLiteral(", Free margin: ") + money(freeMargin);
    return text;
}

NetTradeTable::NetTradeTable(QTableWidget *table, const QFont &summaryFont)
    : table(table), columns(new FittedColumns(table)), summaryFont(summaryFont)
{
}

bool NetTradeTable::writeRow(int row, const QString &symbol, int positions, double buyVolume,
                             const QString &buyPrice, double sellVolume, const QString &sellPrice,
                             double profit, bool summary)
{
    const QString texts[ColumnCount] = {
        symbol, QString::number(positions), money(buyVolume), buyPrice, money(sellVolume), sellPrice,
        money(buyVolume - sellVolume), money(profit),
    };
    // The cells show the summary font's own properties (bold) over the table's font.
    const QFont shownFont = summary ? summaryFont.resolve(table->font()) : QFont();
    bool wider = false;
    for (int column = 0; column < ColumnCount; ++column) {
        wider |= columns->fit(column, texts[column], false, summary ? &shownFont : nullptr);
        // Every tick rewrites two rows: keep their items and change only the text that moved.
        if (QTableWidgetItem *item = table->item(row, column)) {
            if (item->text() != texts[column])
                item->setText(texts[column]);
            if (item->flags() != ReadOnlyCell)
                item->setFlags(ReadOnlyCell);
            if (summary && item->font() != summaryFont)
                item->setFont(summaryFont);
            continue;
        }
        auto *item = new QTableWidgetItem(texts[column]);
        item->setFlags(ReadOnlyCell);
        if (summary)
            item->setFont(summaryFont);
        table->setItem(row, column, item);
    }
    return wider;
}

bool NetTradeTable::writeSummary(const Shown &total)
{
    return writeRow(table->rowCount() - 1, QStringLiteral("Summary"), total.positions, total.buyVolume,
                    QString(), total.sellVolume, QString(), total.profit, true);
}

void NetTradeTable::rebuild(const QMap<QString, QList<Position>> &positionsBySymbol, double totalProfit)
{
    rowSymbols.clear();
    shown.clear();
    rowOfSymbol.clear();
    table->setRowCount(0);
    table->setRowCount(positionsBySymbol.size() + 1);
    columns->reset();

    int buyCount = 0;
    int sellCount = 0;
    double buyVolumeAll = 0.0;
    double sellVolumeAll = 0.0;
    int row = 0;
    for (auto it = positionsBySymbol.cbegin(); it != positionsBySymbol.cend(); ++it, ++row) {
        double profit = 0.0, buyVolume = 0.0, sellVolume = 0.0, buyPriceSum = 0.0, sellPriceSum = 0.0;
        int buys = 0, sells = 0, digits = 0;
        for (const Position &p : it.value()) {
            profit += p.profit;
            if (p.isSell()) {
                sellPriceSum += p.price;
                ++sells;
                sellVolume += p.volume;
            } else {
                buyPriceSum += p.price;
                ++buys;
                buyVolume += p.volume;
            }
            digits = p.digits;
        }
        buyCount += buys;
        sellCount += sells;
        buyVolumeAll += buyVolume;
        sellVolumeAll += sellVolume;
        const double buyPrice = buys > 0 ? buyPriceSum / buys : 0.0;
        const double sellPrice = sells > 0 ? sellPriceSum / sells : 0.0;
        const int count = it.value().size();
        writeRow(row, it.key(), count, buyVolume, price(buyPrice, digits), sellVolume, price(sellPrice, digits),
                 profit, false);
        rowOfSymbol.insert(it.key(), row);
        rowSymbols.append(it.key());
        shown.append({count, asShown(buyVolume), asShown(sellVolume), asShown(profit)});
    }

    Shown total;
    total.positions = buyCount + sellCount;
    total.buyVolume = buyVolumeAll;
    total.sellVolume = sellVolumeAll;
    total.profit = totalProfit;
    writeSummary(total);
    columns->apply();
}

void NetTradeTable::updateSymbol(const QString &symbol, int digits, int positions, double buyVolume,
                                 double buyPrice, double sellVolume, double sellPrice, double netProfit)
{
    // The rows are ours only while the table still has the shape the last rebuild gave it; an
    // emptied table (a new connection) waits for the next rebuild.
    if (table->rowCount() == 0 || table->rowCount() != shown.size() + 1)
        return;

    Shown total{positions, buyVolume, sellVolume, netProfit};
    const int ownRow = rowOfSymbol.value(symbol, -1);
    for (int row = 0; row < shown.size(); ++row) {
        if (row == ownRow)
            continue;
        total.positions += shown[row].positions;
        total.buyVolume += shown[row].buyVolume;
        total.sellVolume += shown[row].sellVolume;
        total.profit += shown[row].profit;
    }
    bool wider = false;
    if (ownRow >= 0) {
        wider = writeRow(ownRow, symbol, positions, buyVolume, price(buyPrice, digits), sellVolume,
                         price(sellPrice, digits), netProfit, false);
        shown[ownRow] = {positions, asShown(buyVolume), asShown(sellVolume), asShown(netProfit)};
    }
    if (writeSummary(total) || wider)
        columns->apply();
}
