#include "journalwidget.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "fittedcolumns.h"
#include "logger.h"
#include "rowcontrols.h"

JournalWidget::JournalWidget(QWidget *parent, int maxRows, int batch)
    : QWidget(parent)
    , journalLayout(new QVBoxLayout)
    , journalTable(new QTableWidget(0, 3))
    , rowBound(qMax(1, maxRows))
    , dropBatch(qBound(1, batch, rowBound))
{
    journalTable->setObjectName(QStringLiteral("journalTable"));
    journalTable->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Source"), QStringLiteral("Message")});
    journalTable->verticalHeader()->setVisible(false);
    journalTable->verticalHeader()->setDefaultSectionSize(12);
    columns = new FittedColumns(journalTable, {2}); // the message takes the room left over

    journalLayout->setContentsMargins(0, 0, 0, 0);
    journalLayout->addWidget(journalTable);
    setLayout(journalLayout);

    connect(Logger::instance(), &Logger::logMessage, this, &JournalWidget::addItem);

    journalTable->setSelectionMode(QAbstractItemView::SingleSelection);
    journalTable->setSelectionBehavior(QAbstractItemView::SelectRows);

    // The table's own sorting stays off: it would sort the whole table for every new line.
    // A header click sorts once, as a sorting table would.
    QHeaderView *header = journalTable->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(0, Qt::AscendingOrder);
    connect(header, &QHeaderView::sectionClicked, this, &JournalWidget::sortByHeader);
}

QString JournalWidget::timeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy.MM.dd hh:mm:ss.zzz"));
}

void JournalWidget::sortByHeader()
{
    const QHeaderView *header = journalTable->horizontalHeader();
    journalTable->sortItems(header->sortIndicatorSection(), header->sortIndicatorOrder());
}

int JournalWidget::insertionRow(const QString &timeText) const
{
    int low = 0, high = journalTable->rowCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (timeText < journalTable->item(middle, 0)->text())
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

void JournalWidget::addItem(QDateTime time, QString server, QString message)
{
    const QHeaderView *header = journalTable->horizontalHeader();
    if (header->sortIndicatorSection() != 0 || header->sortIndicatorOrder() != Qt::AscendingOrder)
        journalTable->sortItems(0, Qt::AscendingOrder); // the user sorted by another column

    // In time order the oldest rows are the top ones.
    if (journalTable->rowCount() >= rowBound)
        journalTable->model()->removeRows(0, dropBatch);

    const QString when = timeText(time);
    const int row = insertionRow(when);
    journalTable->insertRow(row);
    const QString texts[] = {when, server, message};
    bool wider = false;
    for (int column = 0; column < 3; ++column) {
        auto *item = new FooterItem(texts[column]);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        journalTable->setItem(row, column, item);
        wider |= columns->fit(column, texts[column]);
    }
    if (wider)
        columns->apply();
    journalTable->scrollToBottom();
}
