#include "positiondatastore.h"

#include <QJsonValue>

#include <cstring>

PositionDataStore::PositionDataStore(QObject *parent)
    : QObject(parent)
{
    registerMarketRecordTypes();
    registerPositionRecordTypes();
}

void PositionDataStore::setOpenPositions(const QJsonArray &array)
{
    // A later element with the same ticket replaces an earlier one; the map also sorts.
    QMap<qint64, Position> byTicket;
    for (const QJsonValue element : array) {
        Position position(element.toObject());
        const auto tick = tickMap.constFind(position.symbol);
        if (tick != tickMap.cend())
            position.current_price = position.isSell() ? tick->ask : tick->bid;
        byTicket.insert(position.ticket, position);
    }

    dropPositions();
    positionList.reserve(byTicket.size());
    profits.reserve(byTicket.size());
    slotOfTicket.reserve(byTicket.size());
    for (auto it = byTicket.cbegin(); it != byTicket.cend(); ++it) {
        const int slot = positionList.size();
        positionList.append(it.value());
        profits.append(it.value().profit);
        slotOfTicket.insert(it.key(), slot);
        slotsOfSymbol[it.value().symbol].append(slot);
    }

    emit openPositionChanged();
}

void PositionDataStore::setPendingOrders(const QJsonArray &array)
{
    orderMap.clear();
    for (const QJsonValue element : array) {
        const PendingOrder order(element.toObject());
        orderMap.insert(order.ticket, order);
    }
    emit openPositionChanged();
}

QList<Position> PositionDataStore::openPositions() const
{
    return QList<Position>(positionList.cbegin(), positionList.cend());
}

QList<PendingOrder> PositionDataStore::pendingOrders() const
{
    return orderMap.values();
}

Position PositionDataStore::position(qint64 ticket, bool *found) const
{
    const auto it = slotOfTicket.constFind(ticket);
    const bool known = it != slotOfTicket.cend();
    if (found)
        *found = known;
    return known ? positionList.at(it.value()) : Position();
}

PendingOrder PositionDataStore::pendingOrder(qint64 ticket, bool *found) const
{
    const auto it = orderMap.constFind(ticket);
    const bool known = it != orderMap.cend();
    if (found)
        *found = known;
    return known ? it.value() : PendingOrder();
}

QList<Position> PositionDataStore::oppositePositions(qint64 ticket) const
{
    QList<Position> result;
    bool found = false;
    const Position own = position(ticket, &found);
    if (!found)
        return result;
    // Sides are "sell" and everything else, so an odd side text never hedges its own side.
    const bool ownSell = own.isSell();
    for (const int slot : slotsOfSymbol.value(own.symbol)) {
        const Position &other = positionList.at(slot);
        if (other.isSell() != ownSell)
            result.append(other);
    }
    return result;
}

void PositionDataStore::updatePositionPrice(Position &position, const TickData &tick)
{
    const bool sell = position.isSell();
    const double price = sell ? tick.ask : tick.bid;
    if (price == position.current_price)
        return;
    position.current_price = price;
    position.digits = qBound(0, tick.digits, JsonRead::MaxDigits);
    const double difference = sell ? position.price - price : price - position.price;
    position.profit = difference * position.csize * position.volume * position.r_profit;
    // A copy: a receiver that reloads the store must not pull the position from under the
    // receivers after it.
    const Position updated = position;
    emit positionProfitChanged(updated);
}

void PositionDataStore::onPriceChanged(const TickData &tick)
{
    if (tick.symbol.isEmpty())
        return;

    auto last = tickMap.find(tick.symbol);
    if (last != tickMap.end()) {
        if (last->bid == tick.bid && last->ask == tick.ask && last->digits == tick.digits)
            return;
        *last = tick;
    } else {
        tickMap.insert(tick.symbol, tick);
    }

    int count = 0;
    double buyVolume = 0.0, sellVolume = 0.0, netProfit = 0.0;
    double buyPriceSum = 0.0, sellPriceSum = 0.0;
    int buyCount = 0, sellCount = 0;
    bool reloaded = false;
    // A receiver of positionProfitChanged may reload or clear the store; the copy of the slot
    // list and the generation check keep this loop off the replaced positions.
    const QVector<int> symbolSlots = slotsOfSymbol.value(tick.symbol);
    const quint64 startGeneration = generation;
    for (const int slot : symbolSlots) {
        updatePositionPrice(positionList[slot], tick);
        if (generation != startGeneration) {
            reloaded = true;
            break;
        }
        const Position &position = positionList.at(slot);
        if (std::memcmp(&profits.at(slot), &position.profit, sizeof(double)) != 0) {
            profits[slot] = position.profit;
            totalValid = false;
        }
        ++count;
        if (position.isSell()) {
            sellVolume += position.volume;
            sellPriceSum += position.price;
            ++sellCount;
        } else {
            buyVolume += position.volume;
            buyPriceSum += position.price;
            ++buyCount;
        }
        netProfit += position.profit;
    }

    if (count > 0 && !reloaded) {
        // Plain means of the open prices, not weighted by volume.
        const double buyPrice = buyCount > 0 ? buyPriceSum / buyCount : 0.0;
        const double sellPrice = sellCount > 0 ? sellPriceSum / sellCount : 0.0;
        emit symbolNetProfitChanged(tick.symbol, count, buyVolume, buyPrice, sellVolume, sellPrice,
                                    netProfit);
    }
    emit netProfitChanged(totalProfit());
}

void PositionDataStore::clear()
{
    dropPositions();
    orderMap.clear();
}

void PositionDataStore::dropPositions()
{
    ++generation;
    totalValid = false;
    positionList.clear();
    profits.clear();
    slotOfTicket.clear();
    slotsOfSymbol.clear();
}

double PositionDataStore::totalProfit()
{
    // Summed afresh in ticket order whenever a profit changed: a running total adjusted by
    // differences would drift from the figures the trade table shows. Ticks of symbols without
    // positions reuse the last sum, which is exactly what a new pass would give.
    if (!totalValid) {
        double sum = 0.0;
        for (const double profit : qAsConst(profits))
            sum += profit;
        cachedTotal = sum;
        totalValid = true;
    }
    return cachedTotal;
}

#include "moc_positiondatastore.cpp"
