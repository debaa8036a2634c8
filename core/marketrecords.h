#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

// One price quote of one symbol, as the price reply carries it. Prices are kept exactly as
// sent; `digits` only says how many decimals to show. Volumes are in lots.
struct TickData
{
    QString symbol;
    qint64 timestamp = 0;   // server time, epoch seconds
    double bid = 0.0;
    double ask = 0.0;
    double volume = 0.0;
    qint64 tm_ms = 0;       // server time, epoch milliseconds
    int digits = 0;
    double min_vol = 0.0;
    double max_vol = 0.0;
    double step_vol = 0.0;
    double bid_high = 0.0;
    double bid_low = 0.0;
    double ask_high = 0.0;
    double ask_low = 0.0;
};

// The contract details of one symbol. The volumes stay in the wire's 1/10000-lot units. The
// member defaults describe a symbol the store knows nothing about; a record read from a reply
// starts from zero instead (see readSymbolSetting).
struct SymbolSetting
{
    QString symbol;
    QString desc;
    int digits = 0;
    qint64 min_vol = 100;
    qint64 max_vol = 100000;
    qint64 step_vol = 100;
    double c_size = 100000.0;
    QString path;
};

Q_DECLARE_METATYPE(TickData)
Q_DECLARE_METATYPE(SymbolSetting)

// The reading rules every record of the trade-server replies uses. None of them fails: a
// missing key or a value of the wrong kind reads as empty or zero.
namespace JsonRead {

// Price decimals shown anywhere in the terminal. A formatter asked for billions of decimals
// aborts or allocates gigabytes, so every record clamps what the server sends.
constexpr int MaxDigits = 15;

// A JSON string, else empty.
QString text(const QJsonValue &value);
// A JSON number, else 0.0.
double number(const QJsonValue &value);
// A JSON number holding a whole number that fits 32 bits, else 0.
int int32(const QJsonValue &value);
// A JSON number rounded half up, a string holding a decimal whole number, true/false as 1/0;
// 0 for anything else, including numbers outside the 64-bit range.
qint64 int64(const QJsonValue &value);
// The 32-bit rule, clamped to 0..MaxDigits.
int digits(const QJsonValue &value);
// The 32-bit rule in 1/10000 lot, turned into lots.
double lots(const QJsonValue &value);

} // namespace JsonRead

// The price reply's own top-level keys are the quote's keys.
TickData readTickData(const QJsonObject &object);
// One element of the symbol-list reply's "array".
SymbolSetting readSymbolSetting(const QJsonObject &object);
// What readSymbolSetting reads of an element, and nothing else: the keys it reads, but for an
// array or object under one (read as a missing key), each string cut to maxTextChars characters
// (a pair of surrogates is never split), and each whole-number key kept as the number it reads
// as, to the last bit. Sets `cut` when a string was cut; leaves it otherwise.
QJsonObject trimSymbolElement(const QJsonObject &element, int maxTextChars, bool &cut);

// Registers the market records for queued connections and QVariant; safe to call repeatedly.
void registerMarketRecordTypes();
