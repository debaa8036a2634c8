#pragma once

#include "marketrecords.h"
#include "positionrecords.h"

#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QVector>

// The logged-in account's open positions and pending orders, priced from the live ticks.
// Lives in the GUI thread. Each load of one kind replaces everything of that kind; the last
// tick of every symbol outlives clear(), so positions loaded after a login are priced at once.
//
// What grows here with the server's replies (sizes as in symboldatastorage.h):
//
//   store             | bounded by                          | worst case, hostile server
//   ------------------|-------------------------------------|------------------------------
//   last ticks        | count: names the trade client tracks| ~175 bytes a symbol (hash node;
//                     |   (100,000 a run); replacement: one | the name shared with the symbol
//                     |   tick a symbol; outlives logins    | store's quote): ~18 MB
//   positions, orders | replacement: each reply replaces    | 10,000 of each, a few hundred
//                     |   its kind; they do not add up;     | bytes a record: ~6 MB, and the
//                     |   count: 10,000 each (the trade     | texts the reply carried, under
//                     |   client's held-record limit)       | the reply limit (64 MiB of text)
//
// No file.
class PositionDataStore : public QObject
{
    Q_OBJECT
public:
    explicit PositionDataStore(QObject *parent = nullptr);

    void setOpenPositions(const QJsonArray &array);
    void setPendingOrders(const QJsonArray &array);

    // Both in ascending ticket order.
    QList<Position> openPositions() const;
    QList<PendingOrder> pendingOrders() const;

    // A missing ticket gives a default record (and *found false); the store is not changed.
    Position position(qint64 ticket, bool *found = nullptr) const;
    PendingOrder pendingOrder(qint64 ticket, bool *found = nullptr) const;
    // Positions of the same symbol on the other side, in ascending ticket order.
    QList<Position> oppositePositions(qint64 ticket) const;

    // Prices one stored position at the tick; emits positionProfitChanged when the price moved.
    void updatePositionPrice(Position &position, const TickData &tick);

public slots:
    void onPriceChanged(const TickData &tick);
    void clear();

signals:
    void openPositionChanged();
    void positionProfitChanged(const Position &position);
    void netProfitChanged(double profit);
    void symbolNetProfitChanged(const QString &symbol, int positions, double buy_volume,
                                double buy_price, double sell_volume, double sell_price,
                                double net_profit);

private:
    double totalProfit();
    void dropPositions();

    // Open positions in ascending ticket order. A tick touches only its symbol's slots, and
    // the total runs over the profits laid out contiguously in the same order.
    QVector<Position> positionList;
    QVector<double> profits;                    // profits[i] == positionList[i].profit
    QHash<qint64, int> slotOfTicket;
    QHash<QString, QVector<int>> slotsOfSymbol; // ascending, so ascending tickets too
    QMap<qint64, PendingOrder> orderMap;
    QHash<QString, TickData> tickMap;           // survives clear()
    quint64 generation = 0;                     // bumped whenever the positions are replaced
    double cachedTotal = 0.0;
    bool totalValid = false;
};
