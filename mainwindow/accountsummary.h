#pragma once

#include <QFont>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QVector>

#include "positionrecords.h"

class FittedColumns;
class QTableWidget;

// The account's money figures as the last applied account-and-positions reply gave them.
struct AccountFigures
{
    double balance = 0.0;
    double margin = 0.0;
    double credit = 0.0;
};

// One account-and-open-positions reply, read leniently: missing or non-numeric keys are 0.
struct AccountPositionsReply
{
    AccountFigures figures;
    QJsonArray positions;
    bool isLast = false;

    static AccountPositionsReply read(const QJsonObject &reply);
};

// The one-line account summary of the Toolbox title bar: balance, net profit, equity, the credit
// when there is one, used and free margin, each with two decimals.
QString accountSummaryText(const AccountFigures &figures, double netProfit);

// The "Net Trade" table: one row per symbol with open positions, ordered by symbol, then a bold
// "Summary" row. Rebuilt with the trade table; updated per symbol by every accepted tick. Every
// column is at least as wide as its widest text (a narrower view scrolls sideways).
class NetTradeTable
{
public:
    enum Column {
        SymbolColumn, PositionsColumn, BuyVolumeColumn, BuyPriceColumn, SellVolumeColumn,
        SellPriceColumn, NetVolumeColumn, ProfitColumn, ColumnCount
    };

    NetTradeTable(QTableWidget *table, const QFont &summaryFont);

    void rebuild(const QMap<QString, QList<Position>> &positionsBySymbol, double totalProfit);

    // Rewrites the symbol's row (when it has one) and the "Summary" row from the symbol's new
    // figures and the other rows as shown. Does nothing while the table has no "Summary" row.
    void updateSymbol(const QString &symbol, int digits, int positions, double buyVolume, double buyPrice,
                      double sellVolume, double sellPrice, double netProfit);

private:
    // What a symbol row shows, as shown (rounded), for the "Summary" sums.
    struct Shown
    {
        int positions = 0;
        double buyVolume = 0.0;
        double sellVolume = 0.0;
        double profit = 0.0;
    };

    // True when a text widened its column.
    bool writeRow(int row, const QString &symbol, int positions, double buyVolume, const QString &buyPrice,
                  double sellVolume, const QString &sellPrice, double profit, bool summary);
    bool writeSummary(const Shown &total);

    QTableWidget *table;
    FittedColumns *columns; // owned by the table
    QFont summaryFont;
    // Symbol rows in table order, with their shown figures; the row of a symbol is its position here.
    QStringList rowSymbols;
    QVector<Shown> shown;
    QHash<QString, int> rowOfSymbol;
};
