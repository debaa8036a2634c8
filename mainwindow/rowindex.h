#pragma once

#include <QHash>
#include <QObject>
#include <functional>

class QTableWidget;

// Finds a table row by a key read from its cells (a symbol name, a ticket) without walking the
// rows. The index is rebuilt lazily, by one pass over the rows, after anything that may move or
// change a key: rows inserted, removed or moved, a reset or re-layout of the model, or new data
// in one of the key columns. Price updates elsewhere in the row leave it intact, so a quote or a
// tick costs the same with ten rows or thousands.
class RowIndex : public QObject
{
    Q_OBJECT
public:
    // Gives the key of a row, or false when the row takes no part in the index.
    using KeyOfRow = std::function<bool(const QTableWidget *table, int row, QString *key)>;

    // keyColumnFirst..keyColumnLast are the columns the key is read from.
    RowIndex(QTableWidget *table, int keyColumnFirst, int keyColumnLast, KeyOfRow keyOfRow,
             QObject *parent = nullptr);

    // The first row holding the key, or -1.
    int row(const QString &key);

    // Every row holding the key, in ascending order.
    QList<int> rows(const QString &key);

    // Marks the index stale; the next look-up rebuilds it.
    void invalidate() { stale = true; }

private:
    void rebuild();
    void onDataChanged(int firstColumn, int lastColumn);

    QTableWidget *table;
    int keyFirst;
    int keyLast;
    KeyOfRow keyOfRow;
    QHash<QString, QList<int>> index;
    bool stale = true;
};
