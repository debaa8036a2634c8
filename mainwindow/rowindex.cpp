#include "rowindex.h"

#include <QAbstractItemModel>
#include <QTableWidget>

RowIndex::RowIndex(QTableWidget *table, int keyColumnFirst, int keyColumnLast, KeyOfRow keyOfRow,
                   QObject *parent)
    : QObject(parent), table(table), keyFirst(keyColumnFirst), keyLast(keyColumnLast),
      keyOfRow(std::move(keyOfRow))
{
    QAbstractItemModel *model = table->model();
    const auto stale = [this] { invalidate(); };
    connect(model, &QAbstractItemModel::rowsInserted, this, stale);
    connect(model, &QAbstractItemModel::rowsRemoved, this, stale);
    connect(model, &QAbstractItemModel::rowsMoved, this, stale);
    connect(model, &QAbstractItemModel::columnsInserted, this, stale);
    connect(model, &QAbstractItemModel::columnsRemoved, this, stale);
    connect(model, &QAbstractItemModel::columnsMoved, this, stale);
    connect(model, &QAbstractItemModel::modelReset, this, stale);
    connect(model, &QAbstractItemModel::layoutChanged, this, stale);
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                onDataChanged(topLeft.column(), bottomRight.column());
            });
}

void RowIndex::onDataChanged(int firstColumn, int lastColumn)
{
    if (!stale && firstColumn <= keyLast && lastColumn >= keyFirst)
        stale = true;
}

void RowIndex::rebuild()
{
    index.clear();
    const int count = table->rowCount();
    QString key;
    for (int r = 0; r < count; ++r) {
        if (keyOfRow(table, r, &key))
            index[key].append(r);
    }
    stale = false;
}

int RowIndex::row(const QString &key)
{
    if (stale)
        rebuild();
    const auto it = index.constFind(key);
    return it == index.constEnd() ? -1 : it->constFirst();
}

QList<int> RowIndex::rows(const QString &key)
{
    if (stale)
        rebuild();
    return index.value(key);
}
