// The journal view's cost per logged line with 1,000, 10,000 and 50,000 rows already shown:
// the view's sorted insertion against the way it used to work, re-sorting the whole table by
// time for every line, measured in the same run. 50,000 rows is the view's bound, so the lines
// timed there include the dropping of one batch of the oldest rows.
#include "journalwidget.h"
#include "rowcontrols.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableWidget>
#include <QtTest>

namespace {

const QDateTime kStart(QDate(2026, 1, 5), QTime(8, 0));

// The former journal: append the row, then let the table sort itself by the time text.
class ResortingJournal
{
public:
    ResortingJournal() : table(0, 3) {}

    void addItem(const QDateTime &time, const QString &server, const QString &message)
    {
        table.setSortingEnabled(false);
        const int row = table.rowCount();
        table.insertRow(row);
        const QString texts[] = {JournalWidget::timeText(time), server, message};
        for (int column = 0; column < 3; ++column) {
            auto *item = new FooterItem(texts[column]);
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            table.setItem(row, column, item);
        }
        table.setSortingEnabled(true);
        table.sortItems(0, Qt::AscendingOrder);
        table.scrollToBottom();
    }

    QTableWidget table;
};

// Fills a journal table with rows lines in time order, without timing it.
void prefill(QTableWidget *table, int rows)
{
    table->setSortingEnabled(false);
    table->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        const QString texts[] = {JournalWidget::timeText(kStart.addMSecs(row)), QStringLiteral("Network"),
                                 QStringLiteral("line %1").arg(row)};
        for (int column = 0; column < 3; ++column) {
            auto *item = new FooterItem(texts[column]);
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            table->setItem(row, column, item);
        }
    }
}

// Milliseconds per line for `lines` lines: most in time order after the prefilled rows, every
// tenth one late (as a queued line from the client thread is).
template<typename AddFn>
double msPerLine(int rows, int lines, AddFn add)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < lines; ++i) {
        const qint64 offset = (i % 10 == 9) ? rows + i - 25 : rows + i;
        add(kStart.addMSecs(offset), QStringLiteral("Terminal"), QStringLiteral("message %1").arg(i));
    }
    return clock.nsecsElapsed() / 1e6 / lines;
}

} // namespace

class BenchJournal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void perLine_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("baselineLines");
        QTest::addColumn<int>("lines");
        QTest::newRow("1,000 rows") << 1000 << 200 << 2000;
        QTest::newRow("10,000 rows") << 10000 << 40 << 2000;
        QTest::newRow("50,000 rows") << 50000 << 10 << 2000;
    }

    void perLine()
    {
        QFETCH(int, rows);
        QFETCH(int, baselineLines);
        QFETCH(int, lines);

        ResortingJournal old;
        old.table.resize(800, 300);
        old.table.show();
        prefill(&old.table, rows);
        QCoreApplication::processEvents();
        const double before = msPerLine(rows, baselineLines, [&](const QDateTime &t, const QString &s, const QString &m) {
            old.addItem(t, s, m);
        });

        JournalWidget journal;
        journal.resize(800, 300);
        journal.show();
        auto *table = journal.findChild<QTableWidget *>(QStringLiteral("journalTable"));
        QVERIFY(table);
        prefill(table, rows);
        QCoreApplication::processEvents();
        const double now = msPerLine(rows, lines, [&](const QDateTime &t, const QString &s, const QString &m) {
            journal.addItem(t, s, m);
        });

        qInfo("%6d rows: re-sort per line %9.4f ms/line, sorted insertion %9.4f ms/line, ratio %.1fx",
              rows, before, now, before / now);
        qInfo("RATIO %d rows, re-sort per line / sorted insertion: %.1f", rows, before / now);
        const int kept = rows + lines <= JournalWidget::RowBound ? rows + lines : rows + lines - JournalWidget::DropBatch;
        QCOMPARE(table->rowCount(), kept);
        for (int row = 1; row < table->rowCount(); ++row)
            QVERIFY(table->item(row - 1, 0)->text() <= table->item(row, 0)->text());
    }
};

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchJournal bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "bench_journal.moc"
