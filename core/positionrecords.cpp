#include "positionrecords.h"

#include "marketrecords.h"

#include <QCoreApplication>

Position::Position(const QJsonObject &element)
{
    using namespace JsonRead;
    login = int64(element.value(QLatin1String("login")));
    symbol = text(element.value(QLatin1String("symbol")));
    ticket = int64(element.value(QLatin1String("ticket")));
    time = int64(element.value(QLatin1String("time")));
    type = text(element.value(QLatin1String("type")));
    volume = lots(element.value(QLatin1String("volume")));

    // Older servers send the open price as "price", newer ones as "price_o"; the newer key wins.
    const auto openKey = QLatin1String("price_o");
    const auto legacyKey = QLatin1String("price");
    if (element.contains(openKey))
        price = number(element.value(openKey));
    else if (element.contains(legacyKey))
        price = number(element.value(legacyKey));

    sl = number(element.value(QLatin1String("sl")));
    tp = number(element.value(QLatin1String("tp")));
    csize = number(element.value(QLatin1String("csize")));
    digits = JsonRead::digits(element.value(QLatin1String("digits")));
    price_c = number(element.value(QLatin1String("price_c")));
    profit = number(element.value(QLatin1String("profit")));
    time_c = int64(element.value(QLatin1String("time_c")));
    swap = number(element.value(QLatin1String("swap")));
    fee = number(element.value(QLatin1String("fee")));
    r_profit = number(element.value(QLatin1String("r_profit")));
}

PendingOrder::PendingOrder(const QJsonObject &element)
{
    using namespace JsonRead;
    login = int64(element.value(QLatin1String("login")));
    symbol = text(element.value(QLatin1String("symbol")));
    ticket = int64(element.value(QLatin1String("ticket")));
    time = int64(element.value(QLatin1String("time")));
    type = int32(element.value(QLatin1String("type")));
    volume = lots(element.value(QLatin1String("volume")));
    price = number(element.value(QLatin1String("price")));
    s_price = number(element.value(QLatin1String("s_price")));
    sl = number(element.value(QLatin1String("sl")));
    tp = number(element.value(QLatin1String("tp")));
    digits = JsonRead::digits(element.value(QLatin1String("digits")));
}

void registerPositionRecordTypes()
{
    qRegisterMetaType<Position>("Position");
    qRegisterMetaType<PendingOrder>("PendingOrder");
}

Q_COREAPP_STARTUP_FUNCTION(registerPositionRecordTypes)
