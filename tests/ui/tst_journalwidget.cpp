// The journal view keeps its lines in time order as they arrive, from any thread.
#include <QHeaderView>
#include <QLayout>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QThread>

#include "journalwidget.h"
#include "logger.h"
#include "testmain.h"

namespace {

QStringList column(QTableWidget *table, int c)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << table->item(row, c)->text();
    return texts;
}

const QDateTime kBase(QDate(2026, 3, 14), QTime(9, 26, 53, 500));

} // namespace

class TestJournalWidget : public QObject
{
    Q_OBJECT

    static QTableWidget *tableOf(JournalWidget &journal)
    {
        return journal.findChild<QTableWidget *>(QStringLiteral("journalTable"));
    }

private slots:
    void view()
    {
        JournalWidget journal;
        QTableWidget *table = tableOf(journal);
        QVERIFY(table);
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Time"));
        QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("Source"));
        QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("Message"));
        QVERIFY(table->verticalHeader()->isHidden());
        // Rows as low as the header allows, 12 pixels at most.
        QCOMPARE(table->verticalHeader()->defaultSectionSize(), qMax(12, table->verticalHeader()->minimumSectionSize()));
        QCOMPARE(table->horizontalHeader()->sectionResizeMode(2), QHeaderView::Stretch);
        QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(journal.layout()->contentsMargins(), QMargins());

        journal.addItem(kBase, QStringLiteral("Terminal"), QStringLiteral("Started"));
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("2026.03.14 09:26:53.500"));
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("Terminal"));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("Started"));
        for (int c = 0; c < 3; ++c)
            QCOMPARE(table->item(0, c)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        QCOMPARE(table->horizontalHeader()->sortIndicatorSection(), 0);
        QCOMPARE(table->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    }

    void order_data()
    {
        QTest::addColumn<QList<int>>("offsetsMs"); // line i: kBase + offsetsMs[i], message "m<i>"
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("in order") << QList<int>{0, 1, 2} << QStringList{"m0", "m1", "m2"};
        QTest::newRow("one millisecond keeps arrival order")
            << QList<int>{5, 5, 5, 5} << QStringList{"m0", "m1", "m2", "m3"};
        QTest::newRow("late line goes to its place")
            << QList<int>{0, 10, 20, 15} << QStringList{"m0", "m1", "m3", "m2"};
        QTest::newRow("earliest line goes to the top")
            << QList<int>{10, 20, -1000} << QStringList{"m2", "m0", "m1"};
        QTest::newRow("late line after others of its millisecond")
            << QList<int>{0, 10, 20, 10, 10} << QStringList{"m0", "m1", "m3", "m4", "m2"};
        QTest::newRow("across days")
            << QList<int>{86400000, 0, 2 * 86400000, 1} << QStringList{"m1", "m3", "m0", "m2"};
    }

    void order()
    {
        QFETCH(QList<int>, offsetsMs);
        JournalWidget journal;
        for (int i = 0; i < offsetsMs.size(); ++i)
            journal.addItem(kBase.addMSecs(offsetsMs[i]), QStringLiteral("Terminal"), QStringLiteral("m%1").arg(i));
        QTEST(column(tableOf(journal), 2), "expected");
    }

    void sortedInsertionMatchesFullSort()
    {
        JournalWidget journal;
        QTableWidget *table = tableOf(journal);
        // A deterministic shuffle of 400 times in 100 distinct milliseconds.
        quint32 seed = 12345;
        for (int i = 0; i < 400; ++i) {
            seed = seed * 1103515245u + 12345u;
            journal.addItem(kBase.addMSecs((seed >> 16) % 100), QStringLiteral("S"), QString::number(i));
        }
        QStringList times = column(table, 0);
        QStringList sorted = times;
        std::stable_sort(sorted.begin(), sorted.end());
        QCOMPARE(times, sorted);
        // Within a millisecond: arrival order.
        const QStringList messages = column(table, 2);
        for (int row = 1; row < table->rowCount(); ++row)
            if (times[row] == times[row - 1])
                QVERIFY(messages[row].toInt() > messages[row - 1].toInt());
    }

    void userSortThenNextLineSortsByTime()
    {
        JournalWidget journal;
        QTableWidget *table = tableOf(journal);
        journal.resize(600, 300);
        journal.show();
        QVERIFY(QTest::qWaitForWindowExposed(&journal));
        journal.addItem(kBase, QStringLiteral("Network"), QStringLiteral("charlie"));
        journal.addItem(kBase.addMSecs(1), QStringLiteral("Terminal"), QStringLiteral("alpha"));
        journal.addItem(kBase.addMSecs(2), QStringLiteral("Network"), QStringLiteral("bravo"));

        QHeaderView *header = table->horizontalHeader();
        const int x = header->sectionViewportPosition(2) + header->sectionSize(2) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
        QCOMPARE(header->sortIndicatorSection(), 2);
        const QStringList bySort = column(table, 2);
        QVERIFY(bySort == (QStringList{"alpha", "bravo", "charlie"}) || bySort == (QStringList{"charlie", "bravo", "alpha"}));

        journal.addItem(kBase.addMSecs(3), QStringLiteral("Terminal"), QStringLiteral("delta"));
        QCOMPARE(column(table, 2), (QStringList{"charlie", "alpha", "bravo", "delta"}));
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    }

    void keepsTheNewestInView()
    {
        JournalWidget journal;
        QTableWidget *table = tableOf(journal);
        journal.resize(500, 150);
        journal.show();
        QVERIFY(QTest::qWaitForWindowExposed(&journal));
        for (int i = 0; i < 200; ++i)
            journal.addItem(kBase.addMSecs(i * 10), QStringLiteral("Terminal"), QString::number(i));
        QScrollBar *bar = table->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QTRY_COMPARE(bar->value(), bar->maximum());
        // A late line lands far above, and the view still shows the bottom row.
        journal.addItem(kBase.addMSecs(5), QStringLiteral("Network"), QStringLiteral("late"));
        QCOMPARE(table->item(1, 2)->text(), QStringLiteral("late"));
        QTRY_COMPARE(bar->value(), bar->maximum());
    }

    // Lines logged by another thread arrive queued and may come after a later line of the GUI
    // thread; they still land in time order.
    void lineFromAnotherThread()
    {
        JournalWidget journal;
        QTableWidget *table = tableOf(journal);
        QThread *worker = QThread::create([] { Logger::instance()->log(QStringLiteral("Network"), QStringLiteral("from worker")); });
        worker->start();
        QVERIFY(worker->wait(10000));
        delete worker;
        // The worker's line carries a time no later than now; make sure the next one is later.
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        while (QDateTime::currentMSecsSinceEpoch() <= after) {
        }
        Logger::instance()->log(QStringLiteral("Terminal"), QStringLiteral("from gui"));
        QCOMPARE(column(table, 2), QStringList{"from gui"}); // direct call; the worker's line is queued
        QTRY_COMPARE(table->rowCount(), 2);
        QCOMPARE(column(table, 2), (QStringList{"from worker", "from gui"}));
        QCOMPARE(column(table, 1), (QStringList{"Network", "Terminal"}));
    }
};

CORVANE_TEST_GUI_MAIN(TestJournalWidget)
#include "tst_journalwidget.moc"
