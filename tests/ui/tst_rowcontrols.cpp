// The trade table's close controls and the sorting table item.
#include <QHeaderView>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableWidget>

#include "rowcontrols.h"
#include "testmain.h"

namespace {

// Stands in for the main window's slot, reached through the documented string connection.
class CloseReceiver : public QObject
{
    Q_OBJECT
public:
    QList<QPair<qint64, int>> calls;
public slots:
    void onCloseTrade(qint64 ticket, int type) { calls.append({ticket, type}); }
};

QStyleOptionViewItem cellOption(const QRect &rect)
{
    QStyleOptionViewItem option;
    option.rect = rect;
    return option;
}

} // namespace

class TestRowControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void delegateHitZone_data()
    {
        QTest::addColumn<int>("fromRight"); // x = cell.right() - fromRight
        QTest::addColumn<int>("y");         // relative to the cell's top
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("eventType");
        QTest::addColumn<QString>("ticketText");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<qint64>("emittedTicket"); // 0: nothing emitted

        const int release = QEvent::MouseButtonRelease;
        const int left = Qt::LeftButton;
        QTest::newRow("right edge") << 0 << 10 << 2 << left << release << "12345" << true << qint64(12345);
        QTest::newRow("5 px left of edge") << 5 << 10 << 2 << left << release << "12345" << true << qint64(12345);
        QTest::newRow("right - 19, first pixel of the zone")
            << 19 << 10 << 2 << left << release << "12345" << true << qint64(12345);
        QTest::newRow("right - 20, outside") << 20 << 10 << 2 << left << release << "12345" << false << qint64(0);
        QTest::newRow("25 px left of edge") << 25 << 10 << 2 << left << release << "12345" << false << qint64(0);
        QTest::newRow("top row of pixels") << 3 << 0 << 2 << left << release << "7" << true << qint64(7);
        QTest::newRow("bottom row of pixels") << 3 << 20 << 2 << left << release << "7" << true << qint64(7);
        QTest::newRow("right button never")
            << 5 << 10 << 2 << int(Qt::RightButton) << release << "12345" << false << qint64(0);
        QTest::newRow("middle button never")
            << 5 << 10 << 2 << int(Qt::MiddleButton) << release << "12345" << false << qint64(0);
        QTest::newRow("press is not a click")
            << 5 << 10 << 2 << left << int(QEvent::MouseButtonPress) << "12345" << false << qint64(0);
        QTest::newRow("other column never") << 5 << 10 << 1 << left << release << "12345" << false << qint64(0);
        QTest::newRow("ticket 0 never") << 5 << 10 << 2 << left << release << "0" << true << qint64(0);
        QTest::newRow("negative ticket never") << 5 << 10 << 2 << left << release << "-3" << true << qint64(0);
        QTest::newRow("empty ticket never") << 5 << 10 << 2 << left << release << "" << true << qint64(0);
        QTest::newRow("text ticket never") << 5 << 10 << 2 << left << release << "abc" << true << qint64(0);
        QTest::newRow("64-bit ticket kept whole")
            << 5 << 10 << 2 << left << release << "5000000123" << true << qint64(5000000123LL);
    }

    void delegateHitZone()
    {
        QFETCH(int, fromRight);
        QFETCH(int, y);
        QFETCH(int, column);
        QFETCH(int, button);
        QFETCH(int, eventType);
        QFETCH(QString, ticketText);
        QFETCH(bool, taken);
        QFETCH(qint64, emittedTicket);

        QStandardItemModel model(1, 3);
        model.setItem(0, 0, new QStandardItem(QStringLiteral("EURUSD")));
        model.setItem(0, 1, new QStandardItem(ticketText));
        model.setItem(0, 2, new QStandardItem(QStringLiteral("12.50")));
        SummaryItemDelegate delegate;
        QSignalSpy clicked(&delegate, &SummaryItemDelegate::clicked);

        const QRect cell(40, 63, 100, 21);
        const QPoint pos(cell.right() - fromRight, cell.top() + y);
        QMouseEvent event(QEvent::Type(eventType), pos, Qt::MouseButton(button), Qt::MouseButtons(button),
                          Qt::NoModifier);
        QCOMPARE(delegate.editorEvent(&event, &model, cellOption(cell), model.index(0, column)), taken);
        if (emittedTicket == 0) {
            QCOMPARE(clicked.count(), 0);
        } else {
            QCOMPARE(clicked.count(), 1);
            QCOMPARE(clicked.first().at(0).toLongLong(), emittedTicket);
            QCOMPARE(clicked.first().at(1).toInt(), 1);
        }
    }

    void delegateRowFilter()
    {
        QStandardItemModel model(2, 3);
        model.setItem(0, 1, new QStandardItem(QStringLiteral("11")));
        model.setItem(1, 1, new QStandardItem(QStringLiteral("22")));
        SummaryItemDelegate delegate;
        delegate.setRowFilter([](const QModelIndex &index) { return index.row() == 1; });
        QSignalSpy clicked(&delegate, &SummaryItemDelegate::clicked);

        const QRect cell(0, 0, 80, 20);
        QMouseEvent event(QEvent::MouseButtonRelease, QPoint(75, 10), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QVERIFY(!delegate.editorEvent(&event, &model, cellOption(cell), model.index(0, 2)));
        QVERIFY(delegate.editorEvent(&event, &model, cellOption(cell), model.index(1, 2)));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.first().at(0).toLongLong(), qint64(22));

        // The icon follows the same rule.
        auto redPixelsAtRightEnd = [&](int row) {
            QImage image(80, 20, QImage::Format_ARGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            delegate.paint(&painter, cellOption(cell), model.index(row, 2));
            painter.end();
            int red = 0;
            for (int x = 60; x < 80; ++x)
                for (int y = 0; y < 20; ++y) {
                    const QColor c = image.pixelColor(x, y);
                    red += (c.red() > 150 && c.green() < 100 && c.blue() < 100) ? 1 : 0;
                }
            return red;
        };
        QCOMPARE(redPixelsAtRightEnd(0), 0);
        QVERIFY(redPixelsAtRightEnd(1) > 20);
    }

    // Through a real view: the release reaches the delegate only for a click on one cell.
    void delegateInTable()
    {
        QTableWidget table(2, 3);
        table.resize(400, 200);
        table.setItem(0, 1, new QTableWidgetItem(QStringLiteral("4242")));
        table.setItem(1, 1, new QTableWidgetItem(QStringLiteral("4343")));
        auto *delegate = new SummaryItemDelegate(&table);
        table.setItemDelegateForColumn(2, delegate);
        CloseReceiver receiver;
        QVERIFY(connect(delegate, SIGNAL(clicked(qint64, int)), &receiver, SLOT(onCloseTrade(qint64, int))));
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));

        const QRect cell = table.visualRect(table.model()->index(1, 2));
        QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(cell.right() - 4, cell.center().y()));
        QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(cell.left() + 4, cell.center().y()));
        QTest::mouseClick(table.viewport(), Qt::RightButton, Qt::NoModifier, QPoint(cell.right() - 4, cell.center().y()));
        QCOMPARE(receiver.calls, (QList<QPair<qint64, int>>{{4343, 1}}));
    }

    void closeButton_data()
    {
        QTest::addColumn<qint64>("ticket");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("expectedCalls");
        QTest::newRow("left click") << qint64(777) << int(Qt::LeftButton) << 1;
        QTest::newRow("64-bit ticket") << qint64(9000000001LL) << int(Qt::LeftButton) << 1;
        QTest::newRow("right click") << qint64(777) << int(Qt::RightButton) << 0;
        QTest::newRow("ticket 0") << qint64(0) << int(Qt::LeftButton) << 0;
        QTest::newRow("negative ticket") << qint64(-5) << int(Qt::LeftButton) << 0;
    }

    void closeButton()
    {
        QFETCH(qint64, ticket);
        QFETCH(int, button);
        QFETCH(int, expectedCalls);
        MyCloseButton closeButton(QStringLiteral("EURUSD"), ticket, 2);
        QCOMPARE(closeButton.text(), QStringLiteral("Close"));
        CloseReceiver receiver;
        // The connection the main window makes, in its 64-bit form.
        QVERIFY(connect(&closeButton, SIGNAL(clicked(qint64, int)), &receiver, SLOT(onCloseTrade(qint64, int))));
        closeButton.show();
        QVERIFY(QTest::qWaitForWindowExposed(&closeButton));
        QTest::mouseClick(&closeButton, Qt::MouseButton(button));
        QCOMPARE(receiver.calls.size(), expectedCalls);
        if (expectedCalls)
            QCOMPARE(receiver.calls.first(), qMakePair(ticket, 2));
    }

    void footerItemOrder_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("ascending");
        QTest::newRow("numbers by value") << QStringList{"10", "9", "-2.5"} << QStringList{"-2.5", "9", "10"};
        QTest::newRow("numbers and text") << QStringList{"10", "abc", "9"} << QStringList{"9", "10", "abc"};
        QTest::newRow("group separators sort as text")
            << QStringList{"2", "1,000.50", "150"} << QStringList{"1,000.50", "2", "150"};
        QTest::newRow("times sort as text")
            << QStringList{"2026.12.06 21:00:00.010", "2026.12.06 20:59:59.999", "2026.12.06 21:00:00.002"}
            << QStringList{"2026.12.06 20:59:59.999", "2026.12.06 21:00:00.002", "2026.12.06 21:00:00.010"};
        QTest::newRow("not-a-number words as text")
            << QStringList{"nan", "5", "inf", "-inf"} << QStringList{"-inf", "5", "inf", "nan"};
    }

    void footerItemOrder()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, ascending);
        QTableWidget table(texts.size(), 2);
        for (int row = 0; row < texts.size(); ++row) {
            table.setItem(row, 0, new FooterItem(texts[row]));
            table.setItem(row, 1, new FooterItem(QString::number(row)));
        }
        table.sortItems(0, Qt::AscendingOrder);
        QStringList sorted;
        for (int row = 0; row < table.rowCount(); ++row)
            sorted << table.item(row, 0)->text();
        QCOMPARE(sorted, ascending);
        QCOMPARE(table.item(0, 0)->type(), int(QTableWidgetItem::Type));
    }

    void footerItemEqualNumbersKeepOrder()
    {
        QTableWidget table(3, 2);
        const QStringList values{"1.0", "1", "1.00"};
        for (int row = 0; row < 3; ++row) {
            table.setItem(row, 0, new FooterItem(values[row]));
            table.setItem(row, 1, new FooterItem(QString::number(row)));
        }
        table.sortItems(0, Qt::AscendingOrder);
        for (int row = 0; row < 3; ++row)
            QCOMPARE(table.item(row, 1)->text(), QString::number(row));
    }
};

CORVANE_TEST_GUI_MAIN(TestRowControls)
#include "tst_rowcontrols.moc"
