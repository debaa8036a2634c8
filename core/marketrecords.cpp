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

namespace {

// Every key a symbol-list element is read from, with its field's rule: the reader and the
// trimming of an element both go by this table, so an element keeps exactly what is read.
struct SettingField
{
    QLatin1String key;
    void (*read)(SymbolSetting &setting, const QJsonValue &value);
    bool whole = false; // read by JsonRead::int64
};

const SettingField SettingFields[] = {
    {QLatin1String("path"), [](SymbolSetting &s, const QJsonValue &v) { s.path = JsonRead::text(v); }},
    {QLatin1String("symbol"), [](SymbolSetting &s, const QJsonValue &v) { s.symbol = JsonRead::text(v); }},
    {QLatin1String("desc"), [](SymbolSetting &s, const QJsonValue &v) { s.desc = JsonRead::text(v); }},
    {QLatin1String("digits"), [](SymbolSetting &s, const QJsonValue &v) { s.digits = JsonRead::digits(v); }},
    {QLatin1String("c_size"), [](SymbolSetting &s, const QJsonValue &v) { s.c_size = JsonRead::number(v); }},
    {QLatin1String("min_vol"), [](SymbolSetting &s, const QJsonValue &v) { s.min_vol = JsonRead::int64(v); }, true},
    {QLatin1String("max_vol"), [](SymbolSetting &s, const QJsonValue &v) { s.max_vol = JsonRead::int64(v); }, true},
    {QLatin1String("step_vol"), [](SymbolSetting &s, const QJsonValue &v) { s.step_vol = JsonRead::int64(v); }, true},
};

// A whole number as a value that reads back to the last bit and takes a few bytes, whatever
// the server wrote: an object takes a number in as a double, exact only up to 2^53, so beyond
// that the digits are kept as text, which the whole-number rule reads exactly. A numeric text of
// any length is kept as the number it reads as, never cut into another number.
QJsonValue wholeNumberCopy(qint64 number)
{
    constexpr qint64 ExactInDouble = Q_INT64_C(1) << 53;
    if (number >= -ExactInDouble && number <= ExactInDouble)
        return QJsonValue(double(number));
    return QJsonValue(QString::number(number));
}

} // namespace

SymbolSetting readSymbolSetting(const QJsonObject &object)
{
    // Every field is read, so the unknown-symbol defaults of the struct never survive here:
    // a key the server left out reads as zero.
    SymbolSetting setting;
    for (const SettingField &field : SettingFields)
        field.read(setting, object.value(field.key));
    return setting;
}

QJsonObject trimSymbolElement(const QJsonObject &element, int maxTextChars, bool &cut)
{
    QJsonObject kept;
    for (const SettingField &field : SettingFields) {
        const auto found = element.constFind(field.key);
        // An array or an object reads as a missing key under every rule.
        if (found == element.constEnd() || found.value().isArray() || found.value().isObject())
            continue;
        if (field.whole) {
            kept.insert(field.key, wholeNumberCopy(JsonRead::int64(found.value())));
        } else if (found.value().isString() && found.value().toString().size() > maxTextChars) {
            QString text = found.value().toString();
            // Never half a character: a pair split at the bound would show as garbage.
            text.truncate(text.at(maxTextChars).isLowSurrogate() ? maxTextChars - 1 : maxTextChars);
            kept.insert(field.key, text);
            cut = true;
        } else {
            kept.insert(field.key, found.value());
        }
    }
    return kept;
}

void registerMarketRecordTypes()
{
    qRegisterMetaType<TickData>("TickData");
    qRegisterMetaType<SymbolSetting>("SymbolSetting");
}

Q_COREAPP_STARTUP_FUNCTION(registerMarketRecordTypes)
