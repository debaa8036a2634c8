#include "marketrecords.h"

#include <QCoreApplication>
#include <QVariant>

#include <cmath>
#include <limits>

namespace JsonRead {

QString text(const QJsonValue &value)
{
    return value.isString() ? value.toString() : QString();
}

double number(const QJsonValue &value)
{
    return value.isDouble() ? value.toDouble() : 0.0;
}

int int32(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    // The range test comes first: casting an out-of-range double to int is undefined.
    if (!(d >= double(std::numeric_limits<int>::min()) && d <= double(std::numeric_limits<int>::max())))
        return 0;
    const int whole = int(d);
    return double(whole) == d ? whole : 0;
}

qint64 int64(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? 1 : 0;
    case QJsonValue::String: {
        bool ok = false;
        const qint64 n = value.toString().toLongLong(&ok, 10);
        return ok ? n : 0;
    }
    case QJsonValue::Double: {
        // Whole numbers in the text keep all 64 bits here; going through double would merge
        // neighbouring tickets above 2^53.
        const QVariant exact = value.toVariant();
        if (exact.type() == QVariant::LongLong)
            return exact.toLongLong();
        const double d = value.toDouble();
        double r = std::floor(d);
        if (d - r >= 0.5)
            r += 1.0;
        // 2^63 is exactly representable; anything at or beyond it (or NaN) does not fit.
        constexpr double limit = 9223372036854775808.0;
        if (!(r >= -limit && r < limit))
            return 0;
        return qint64(r);
    }
    default:
        return 0;
    }
}

int digits(const QJsonValue &value)
{
    return qBound(0, int32(value), MaxDigits);
}

double lots(const QJsonValue &value)
{
    return int32(value) / 10000.0;
}

} // namespace JsonRead

TickData readTickData(const QJsonObject &object)
{
    using namespace JsonRead;
    TickData tick;
    tick.symbol = text(object.value(QLatin1String("symbol")));
    tick.timestamp = int64(object.value(QLatin1String("timestamp")));
    tick.tm_ms = int64(object.value(QLatin1String("tm_ms")));
    tick.ask = number(object.value(QLatin1String("ask")));
    tick.bid = number(object.value(QLatin1String("bid")));
    tick.digits = digits(object.value(QLatin1String("digits")));
    tick.volume = lots(object.value(QLatin1String("volume")));
    tick.ask_high = number(object.value(QLatin1String("ask_high")));
    tick.ask_low = number(object.value(QLatin1String("ask_low")));
    tick.bid_high = number(object.value(QLatin1String("bid_high")));
    tick.bid_low = number(object.value(QLatin1String("bid_low")));
    tick.min_vol = lots(object.value(QLatin1String("min_vol")));
    tick.max_vol = lots(object.value(QLatin1String("max_vol")));
    tick.step_vol = lots(object.value(QLatin1String("step_vol")));
    return tick;
}

SymbolSetting readSymbolSetting(const QJsonObject &object)
{
    using namespace JsonRead;
    // Every field is read, so the unknown-symbol defaults of the struct never survive here:
    // a key the server left out reads as zero.
    SymbolSetting setting;
    setting.path = text(object.value(QLatin1String("path")));
    setting.symbol = text(object.value(QLatin1String("symbol")));
    setting.desc = text(object.value(QLatin1String("desc")));
    setting.digits = digits(object.value(QLatin1String("digits")));
    setting.c_size = number(object.value(QLatin1String("c_size")));
    setting.min_vol = int64(object.value(QLatin1String("min_vol")));
    setting.max_vol = int64(object.value(QLatin1String("max_vol")));
    setting.step_vol = int64(object.value(QLatin1String("step_vol")));
    return setting;
}

void registerMarketRecordTypes()
{
    qRegisterMetaType<TickData>("TickData");
    qRegisterMetaType<SymbolSetting>("SymbolSetting");
}

Q_COREAPP_STARTUP_FUNCTION(registerMarketRecordTypes)
