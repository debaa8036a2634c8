#include "accountsummary.h"
#include "testmain.h"

#include <QTableWidget>
#include <memory>

namespace {

Position position(qint64 ticket, const QString &symbol, const QString &side, double lots, double open,
                  double profit, int digits = 5)
{
    Position p;
    p.ticket = ticket;
    p.symbol = symbol;
    p.type = side;
    p.volume = lots;
    p.price = open;
    p.profit = profit;
    p.digits = digits;
    return p;
}

QStringList rowTexts(const QTableWidget &table, int row)
{
    QStringList texts;
    for (int c = 0; c < table.columnCount(); ++c)
        texts << (table.item(row, c) ? table.item(row, c)->text() : QStringLiteral("<none>"));
    return texts;
}

} // namespace

class TestAccountSummary : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTableWidget> table;
    std::unique_ptr<NetTradeTable> net;
    QFont bold;

    void verifyReadOnly()
    {
        for (int row = 0; row < table->rowCount(); ++row)
            for (int column = 0; column < table->columnCount(); ++column)
                QCOMPARE(table->item(row, column)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    }
    void verifySummaryRow()
    {
        const int last = table->rowCount() - 1;
        QCOMPARE(table->item(last, 0)->text(), QStringLiteral("Summary"));
        for (int column = 0; column < table->columnCount(); ++column)
            QCOMPARE(table->item(last, column)->font(), bold);
        for (int row = 0; row < last; ++row)
            QCOMPARE(table->item(row, 0)->font(), QTableWidgetItem().font());
    }

private slots:
    void init()
    {
        bold = QFont();
        bold.setWeight(75);
        table = std::make_unique<QTableWidget>(0, NetTradeTable::ColumnCount);
        net = std::make_unique<NetTradeTable>(table.get(), bold);
    }
    void cleanup()
    {
        net.reset();
        table.reset();
    }

    void summaryText_data()
    {
        QTest::addColumn<double>("balance");
        QTest::addColumn<double>("credit");
        QTest::addColumn<double>("margin");
        QTest::addColumn<double>("profit");
        QTest::addColumn<QString>("text");
        QTest::newRow("no credit") << 100.0 << 0.0 << 10.0 << 0.0
                                   << " Balance: 100.00, Net profit: 0.00, Equity: 100.00, Used margin: 10.00, "
                                      "Free margin: 90.00";
        QTest::newRow("credit") << 100.0 << 5.0 << 10.0 << -1.25
                                << " Balance: 100.00, Net profit: -1.25, Equity: 103.75, Credit: 5.00, "
                                   "Used margin: 10.00, Free margin: 93.75";
        QTest::newRow("negative credit") << 50.0 << -20.0 << 0.0 << 3.333
                                         << " Balance: 50.00, Net profit: 3.33, Equity: 33.33, Credit: -20.00, "
                                            "Used margin: 0.00, Free margin: 33.33";
        QTest::newRow("large") << 1234567.891 << 0.0 << 2500.5 << 100.0
                               << " Balance: 1234567.89, Net profit: 100.00, Equity: 1234667.89, "
                                  "Used margin: 2500.50, Free margin: 1232167.39";
    }
    void summaryText()
    {
        QFETCH(double, balance);
        QFETCH(double, credit);
        QFETCH(double, margin);
        QFETCH(double, profit);
        QFETCH(QString, text);
        AccountFigures figures;
        figures.balance = balance;
        figures.credit = credit;
        figures.margin = margin;
        QCOMPARE(accountSummaryText(figures, profit), text);
    }

    void readReply_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<bool>("last");
        QTest::addColumn<double>("balance");
        QTest::addColumn<int>("positions");
        const QJsonArray two{QJsonObject{{"ticket", 1}}, QJsonObject{{"ticket", 2}}};
        QTest::newRow("is_last 1") << QJsonObject{{"balance", 100}, {"is_last", 1}, {"array", two}} << true << 100.0 << 2;
        QTest::newRow("is_last 0") << QJsonObject{{"balance", 7.5}, {"is_last", 0}, {"array", two}} << false << 7.5 << 2;
        QTest::newRow("no is_last") << QJsonObject{{"balance", 1}, {"array", two}} << false << 1.0 << 2;
        QTest::newRow("is_last text") << QJsonObject{{"is_last", "1"}} << false << 0.0 << 0;
        QTest::newRow("is_last fraction") << QJsonObject{{"is_last", 0.5}} << false << 0.0 << 0;
        QTest::newRow("is_last huge") << QJsonObject{{"is_last", 1e300}} << true << 0.0 << 0;
        QTest::newRow("balance text") << QJsonObject{{"balance", "100"}, {"is_last", 2}} << true << 0.0 << 0;
    }
    void readReply()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(bool, last);
        QFETCH(double, balance);
        QFETCH(int, positions);
        const AccountPositionsReply r = AccountPositionsReply::read(reply);
        QCOMPARE(r.isLast, last);
        QCOMPARE(r.figures.balance, balance);
        QCOMPARE(r.positions.size(), positions);
    }

    void noPositionsLeavesTheSummaryRow()
    {
        table->setRowCount(3);
        net->rebuild({}, 0.0);
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(rowTexts(*table, 0), QStringList({"Summary", "0", "0.00", "", "0.00", "", "0.00", "0.00"}));
        verifySummaryRow();
        verifyReadOnly();
    }

    void rebuild()
    {
        QMap<QString, QList<Position>> bySymbol;
        bySymbol["EURUSD"] = {position(1, "EURUSD", "buy", 0.5, 1.1, 10.0), position(2, "EURUSD", "buy", 2.0, 1.2, -3.5),
                              position(3, "EURUSD", "sell", 0.25, 1.25, 0.004)};
        bySymbol["XAUUSD"] = {position(4, "XAUUSD", "sell", 1.0, 2000.5, 7.0, 2),
                              position(5, "XAUUSD", "Sell", 0.1, 1990.0, 1.0, 2)};
        bySymbol["GBPUSD"] = {position(6, "GBPUSD", "sell", 0.3, 1.3, -1.0)};
        net->rebuild(bySymbol, 13.504);

        QCOMPARE(table->rowCount(), 4);
        // Mean open prices, not weighted by volume; a side without positions shows 0.
        QCOMPARE(rowTexts(*table, 0),
                 QStringList({"EURUSD", "3", "2.50", "1.15000", "0.25", "1.25000", "2.25", "6.50"}));
        QCOMPARE(rowTexts(*table, 1),
                 QStringList({"GBPUSD", "1", "0.00", "0.00000", "0.30", "1.30000", "-0.30", "-1.00"}));
        QCOMPARE(rowTexts(*table, 2),
                 QStringList({"XAUUSD", "2", "0.10", "1990.00", "1.00", "2000.50", "-0.90", "8.00"}));
        QCOMPARE(rowTexts(*table, 3), QStringList({"Summary", "6", "2.60", "", "1.55", "", "1.05", "13.50"}));
        verifySummaryRow();
        verifyReadOnly();
    }

    void symbolUpdate()
    {
        QMap<QString, QList<Position>> bySymbol;
        bySymbol["EURUSD"] = {position(1, "EURUSD", "buy", 0.5, 1.1, 10.0)};
        bySymbol["GBPUSD"] = {position(2, "GBPUSD", "sell", 0.3, 1.3, -1.004)};
        net->rebuild(bySymbol, 8.996);

        net->updateSymbol("EURUSD", 4, 2, 1.5, 1.12346, 0.25, 1.3, 20.0);
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(rowTexts(*table, 0),
                 QStringList({"EURUSD", "2", "1.50", "1.1235", "0.25", "1.3000", "1.25", "20.00"}));
        QCOMPARE(rowTexts(*table, 1),
                 QStringList({"GBPUSD", "1", "0.00", "0.00000", "0.30", "1.30000", "-0.30", "-1.00"}));
        // The other rows count as shown (-1.00, not -1.004).
        QCOMPARE(rowTexts(*table, 2), QStringList({"Summary", "3", "1.50", "", "0.55", "", "0.95", "19.00"}));
        verifySummaryRow();
        verifyReadOnly();

        // A symbol without a row of its own counts in the summary only.
        net->updateSymbol("USDJPY", 3, 1, 0.1, 150.0, 0.0, 0.0, 5.0);
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(rowTexts(*table, 2), QStringList({"Summary", "4", "1.60", "", "0.55", "", "1.05", "24.00"}));
        QCOMPARE(rowTexts(*table, 0).at(7), QStringLiteral("20.00"));
    }

    void updateOnAnEmptyTableIsLeftAlone()
    {
        net->updateSymbol("EURUSD", 5, 1, 1.0, 1.1, 0.0, 0.0, 3.0);
        QCOMPARE(table->rowCount(), 0);

        net->rebuild({{"EURUSD", {position(1, "EURUSD", "buy", 1.0, 1.1, 1.0)}}}, 1.0);
        table->setRowCount(0); // the window empties its tables for a new connection
        net->updateSymbol("EURUSD", 5, 1, 1.0, 1.1, 0.0, 0.0, 3.0);
        QCOMPARE(table->rowCount(), 0);
    }
};

CORVANE_TEST_GUI_MAIN(TestAccountSummary)
#include "tst_accountsummary.moc"
