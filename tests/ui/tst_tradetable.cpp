#include "rowcontrols.h"
#include "tradetable.h"
#include "testmain.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QSignalSpy>
#include <QTableWidget>
#include <memory>

namespace {

Position position(qint64 ticket, const QString &symbol, const QString &side, double lots, double open,
                  double current, double profit, int digits = 5)
{
    Position p;
    p.ticket = ticket;
    p.symbol = symbol;
    p.type = side;
    p.volume = lots;
    p.price = open;
    p.current_price = current;
    p.profit = profit;
    p.digits = digits;
    p.time = 1700000000;
    return p;
}

PendingOrder order(qint64 ticket, const QString &symbol, int type, double price, int digits = 5)
{
    PendingOrder o;
    o.ticket = ticket;
    o.symbol = symbol;
    o.type = type;
    o.volume = 0.3;
    o.price = price;
    o.digits = digits;
    o.time = 1700000100;
    return o;
}

QStringList rowTexts(const QTableWidget &table, int row)
{
    QStringList texts;
    for (int c = 0; c < table.columnCount(); ++c)
        texts << (table.item(row, c) ? table.item(row, c)->text() : QStringLiteral("<none>"));
    return texts;
}

bool sameIcon(const QIcon &a, const QString &resource)
{
    return a.pixmap(16).toImage() == QIcon(resource).pixmap(16).toImage();
}

} // namespace

class TestTradeTable : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTableWidget> table;
    std::unique_ptr<TradeTable> trades;

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(resources);
        QVERIFY(!QIcon(":/icon/sell.png").isNull());
        QVERIFY(!sameIcon(QIcon(":/icon/buy.png"), ":/icon/sell.png"));
    }
    void init()
    {
        table = std::make_unique<QTableWidget>(0, TradeTable::ColumnCount);
        trades = std::make_unique<TradeTable>(table.get());
    }
    void cleanup()
    {
        trades.reset();
        table.reset();
    }

    void emptyRebuild()
    {
        QMap<QString, QList<Position>> bySymbol{{"OLD", {}}};
        table->setRowCount(4);
        QCOMPARE(trades->rebuild({}, {}, &bySymbol), 0.0);
        QCOMPARE(table->rowCount(), 0);
        QVERIFY(bySymbol.isEmpty());
    }

    void rebuildContents()
    {
        Position sell = position(5000000001LL, "EURUSD", "sell", 0.57, 1.1, 1.10025, -12.5);
        sell.sl = 1.2;
        Position buy = position(7, "USDJPY", "buy", 1.0, 150.123, 150.5, 251.3, 3);
        buy.tp = 151.0;
        // Only the exact text "sell" sells.
        Position odd = position(9, "EURUSD", "Sell", 0.1, 1.1, 1.1001, 1.0);
        PendingOrder stopLimit = order(21, "GBPUSD", 6, 1.25);
        stopLimit.s_price = 1.2512;
        stopLimit.sl = 1.24;

        QMap<QString, QList<Position>> bySymbol;
        const double total = trades->rebuild({sell, buy, odd}, {stopLimit}, &bySymbol);
        QCOMPARE(total, -12.5 + 251.3 + 1.0);
        QCOMPARE(table->rowCount(), 4);

        const QString opened = TradeTable::formatTime(1700000000);
        QCOMPARE(opened, QDateTime::fromSecsSinceEpoch(1700000000).toString("yyyy.MM.dd hh:mm:ss"));
        QCOMPARE(rowTexts(*table, 0), QStringList({"EURUSD", "5000000001", opened, "sell", "0.57", "1.10000",
                                                    "1.20000", "", "1.10025", "-12.50"}));
        QCOMPARE(rowTexts(*table, 1), QStringList({"USDJPY", "7", opened, "buy", "1.00", "150.123", "",
                                                    "151.000", "150.500", "251.30"}));
        QCOMPARE(rowTexts(*table, 3),
                 QStringList({"GBPUSD", "21", TradeTable::formatTime(1700000100), "buy limit stop", "0.30",
                              "1.25000", "1.24000", "", "1.25120", "Placed"}));

        QVERIFY(sameIcon(table->item(0, 0)->icon(), ":/icon/sell.png"));
        QVERIFY(sameIcon(table->item(1, 0)->icon(), ":/icon/buy.png"));
        QVERIFY(sameIcon(table->item(2, 0)->icon(), ":/icon/buy.png"));
        QVERIFY(sameIcon(table->item(3, 0)->icon(), ":/icon/pending_order.png"));

        QCOMPARE(trades->kindAt(0), TradeTable::RowKind::Position);
        QCOMPARE(trades->kindAt(3), TradeTable::RowKind::Order);
        QCOMPARE(trades->kindAt(4), TradeTable::RowKind::None);
        QCOMPARE(trades->ticketAt(0), 5000000001LL);
        QCOMPARE(table->item(0, 0)->data(Qt::UserRole).toString(), QStringLiteral("position"));
        QCOMPARE(table->item(3, 0)->data(Qt::UserRole).toString(), QStringLiteral("order"));

        for (int row = 0; row < table->rowCount(); ++row)
            for (int column = 0; column < table->columnCount(); ++column)
                QCOMPARE(table->item(row, column)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

        QCOMPARE(bySymbol.keys(), QStringList({"EURUSD", "USDJPY"}));
        QCOMPARE(bySymbol["EURUSD"].size(), 2);
        QCOMPARE(bySymbol["EURUSD"][0].ticket, 5000000001LL);
        QCOMPARE(bySymbol["EURUSD"][1].ticket, 9LL);
    }

    // The close icon belongs to open positions: a pending order's row neither shows it nor sends
    // a close for the order's ticket.
    void closeIconOnPositionRowsOnly()
    {
        auto *delegate = new SummaryItemDelegate(table.get());
        delegate->setRowFilter(&TradeTable::isPositionRow);
        table->setItemDelegateForColumn(TradeTable::ProfitColumn, delegate);
        QSignalSpy clicked(delegate, &SummaryItemDelegate::clicked);
        trades->rebuild({position(5000000001LL, "EURUSD", "buy", 1, 1.1, 1.1, 0)}, {order(77, "EURUSD", 2, 1.05)}, nullptr);
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table->resize(900, 300);
        table->show();
        QVERIFY(QTest::qWaitForWindowExposed(table.get()));

        const QRect positionCell = table->visualItemRect(table->item(0, TradeTable::ProfitColumn));
        const QRect orderCell = table->visualItemRect(table->item(1, TradeTable::ProfitColumn));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, QPoint(orderCell.right() - 5, orderCell.center().y()));
        QCOMPARE(clicked.size(), 0);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, QPoint(positionCell.right() - 5, positionCell.center().y()));
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked.at(0).at(0).toLongLong(), 5000000001LL);
        QCOMPARE(clicked.at(0).at(1).toInt(), 1);

        // The icon: drawn over the right end of the position's cell only.
        const QImage shot = table->viewport()->grab().toImage();
        const auto inkAtRightEnd = [&shot](const QRect &cell) {
            const QRgb background = shot.pixel(cell.center().x(), cell.top() + 1);
            int ink = 0;
            for (int x = cell.right() - 15; x <= cell.right(); ++x)
                for (int y = cell.top(); y <= cell.bottom(); ++y)
                    ink += shot.pixel(x, y) != background;
            return ink;
        };
        QVERIFY(inkAtRightEnd(positionCell) > 10);
        QCOMPARE(inkAtRightEnd(orderCell), 0);
    }

    void orderTypes_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("icon");
        QTest::newRow("0") << 0 << "buy" << true;
        QTest::newRow("1") << 1 << "sell" << true;
        QTest::newRow("2") << 2 << "buy limit" << true;
        QTest::newRow("3") << 3 << "sell limit" << true;
        QTest::newRow("4") << 4 << "buy stop" << true;
        QTest::newRow("5") << 5 << "sell stop" << true;
        QTest::newRow("6") << 6 << "buy limit stop" << true;
        QTest::newRow("7") << 7 << "sell limit stop" << true;
        QTest::newRow("8") << 8 << "" << false;
        QTest::newRow("-1") << -1 << "" << false;
    }
    void orderTypes()
    {
        QFETCH(int, type);
        QFETCH(QString, text);
        QFETCH(bool, icon);
        trades->rebuild({}, {order(3, "EURUSD", type, 1.1)}, nullptr);
        QCOMPARE(rowTexts(*table, 0),
                 QStringList({"EURUSD", "3", TradeTable::formatTime(1700000100), text, "0.30", "1.10000", "",
                              "", "", "Placed"}));
        if (icon)
            QVERIFY(sameIcon(table->item(0, 0)->icon(), ":/icon/pending_order.png"));
        else
            QVERIFY(table->item(0, 0)->icon().isNull());
    }

    // A tick writes the current price and the profit of its position's row and nothing else; an
    // order that happens to share the ticket keeps its cells.
    void tickTouchesOnlyItsPositionRow()
    {
        trades->rebuild({position(10, "EURUSD", "buy", 1, 1.1, 1.1, 0), position(11, "EURUSD", "sell", 1, 1.1, 1.1, 0)},
                        {order(10, "EURUSD", 2, 1.05)}, nullptr);
        const QStringList before0 = rowTexts(*table, 0);
        const QStringList before2 = rowTexts(*table, 2);

        Position moved = position(11, "EURUSD", "sell", 1, 1.1, 1.09876, 1234.0);
        moved.digits = 4;
        QVERIFY(trades->updatePosition(moved));
        QCOMPARE(rowTexts(*table, 0), before0);
        const QStringList moved1 = rowTexts(*table, 1);
        QCOMPARE(moved1.mid(0, 8), QStringList({"EURUSD", "11", TradeTable::formatTime(1700000000), "sell",
                                                  "1.00", "1.10000", "", ""}));
        QCOMPARE(moved1.mid(8), QStringList({"1.0988", "1234.00"}));
        QCOMPARE(table->item(1, 9)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

        QVERIFY(trades->updatePosition(position(10, "EURUSD", "buy", 1, 1.1, 1.2, 10000)));
        QCOMPARE(rowTexts(*table, 2), before2);
        QCOMPARE(table->item(0, 9)->text(), QStringLiteral("10000.00"));

        QVERIFY(!trades->updatePosition(position(12, "EURUSD", "buy", 1, 1.1, 1.2, 5)));
    }

    // The ticket index must follow a table emptied or reordered by someone else.
    void tickFindsItsRowAfterTheTableChanged()
    {
        trades->rebuild({position(1, "A", "buy", 1, 1, 1, 0), position(2, "B", "buy", 1, 1, 1, 0),
                         position(3, "C", "buy", 1, 1, 1, 0)},
                        {}, nullptr);
        QCOMPARE(trades->positionRow(3), 2);
        table->removeRow(0);
        QVERIFY(trades->updatePosition(position(3, "C", "buy", 1, 1, 2, 7)));
        QCOMPARE(table->item(1, 9)->text(), QStringLiteral("7.00"));
        QCOMPARE(table->item(0, 9)->text(), QStringLiteral("0.00"));

        table->item(0, 1)->setText("33");
        QCOMPARE(trades->positionRow(33), 0);
        QCOMPARE(trades->positionRow(2), -1);

        table->setRowCount(0);
        QVERIFY(!trades->updatePosition(position(3, "C", "buy", 1, 1, 3, 8)));
        QCOMPARE(table->rowCount(), 0);
    }

    void contextMenu_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<QList<bool>>("enabled");
        using K = TradeTable::RowKind;
        QTest::newRow("position") << int(K::Position) << true
                                  << QList<bool>{true, true, true, true, true, true, false, false, true};
        QTest::newRow("order") << int(K::Order) << true
                               << QList<bool>{false, false, false, false, false, false, true, true, true};
        QTest::newRow("neither") << int(K::None) << true
                                 << QList<bool>{false, false, false, false, false, false, false, false, true};
        // Without an order dialog only the commands the window sends itself stay.
        QTest::newRow("position, no dialog") << int(K::Position) << false
                                             << QList<bool>{false, false, true, true, true, false, false, false, true};
        QTest::newRow("order, no dialog") << int(K::Order) << false
                                          << QList<bool>{false, false, false, false, false, false, false, false, true};
    }
    void contextMenu()
    {
        QFETCH(int, kind);
        QFETCH(bool, dialog);
        QFETCH(QList<bool>, enabled);
        for (bool arrange : {true, false}) {
            std::unique_ptr<QMenu> menu(TradeTable::buildContextMenu(TradeTable::RowKind(kind), arrange, dialog));
            QList<QAction *> actions = menu->actions();
            QCOMPARE(actions.size(), 10);
            QVERIFY(actions[8]->isSeparator());
            actions.removeAt(8);
            const QStringList texts{"Close Position", "Close By Hedge", "Close All Position",
                                    "Close All Profit Position", "Close All Loss Position", "Modify Position",
                                    "Delete Order", "Modify Order", "Auto Arrange"};
            for (int i = 0; i < actions.size(); ++i) {
                QCOMPARE(actions[i]->text(), texts[i]);
                QCOMPARE(actions[i]->isEnabled(), enabled[i]);
                QCOMPARE(actions[i]->data().toInt(), i + 1);
            }
            if (arrange)
                QVERIFY(sameIcon(actions[8]->icon(), ":/icon/check.png"));
            else
                QVERIFY(actions[8]->icon().isNull());
        }
    }

    void autoArrangeRestoresTheStretch()
    {
        QHeaderView *header = table->horizontalHeader();
        header->setSectionResizeMode(QHeaderView::Stretch);
        bool autoArrange = true;
        for (QHeaderView::ResizeMode expected : {QHeaderView::Interactive, QHeaderView::Stretch, QHeaderView::Interactive}) {
            autoArrange = !autoArrange;
            TradeTable::applyAutoArrange(header, autoArrange);
            for (int c = 0; c < table->columnCount(); ++c)
                QCOMPARE(header->sectionResizeMode(c), expected);
        }
    }
};

CORVANE_TEST_GUI_MAIN(TestTradeTable)
#include "tst_tradetable.moc"
