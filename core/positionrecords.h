#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

// One open position of the account, built from one element of the open-positions reply.
// Volumes are in lots, times in epoch seconds. `current_price` and (once a tick moved the
// price) `profit` and `digits` are the position store's, not the server's.
struct Position
{
    Position() = default;
    explicit Position(const QJsonObject &element);

    qint64 login = 0;
    qint64 ticket = 0;
    QString symbol;
    QString type;            // side: "sell" is a sell, any other text a buy
    double volume = 0.0;
    double price = 0.0;      // open price
    double current_price = 0.0;
    double price_c = 0.0;
    double sl = 0.0;
    double tp = 0.0;
    double profit = 0.0;
    double csize = 0.0;
    qint64 time = 0;
    qint64 time_c = 0;
    double r_profit = 0.0;
    double swap = 0.0;
    double fee = 0.0;
    int digits = 0;

    bool isSell() const { return type == QLatin1String("sell"); }
};

// One pending order of the account, built from one element of the pending-orders reply.
struct PendingOrder
{
    PendingOrder() = default;
    explicit PendingOrder(const QJsonObject &element);

    qint64 login = 0;
    qint64 ticket = 0;
    QString symbol;
    int type = 0;            // order type 0..7, stored as sent
    double volume = 0.0;
    double price = 0.0;
    double s_price = 0.0;    // stop-limit price
    double sl = 0.0;
    double tp = 0.0;
    qint64 time = 0;
    int digits = 0;
};

Q_DECLARE_METATYPE(Position)
Q_DECLARE_METATYPE(PendingOrder)

// Registers both records for queued connections and QVariant; safe to call repeatedly.
void registerPositionRecordTypes();
