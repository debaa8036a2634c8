#include "simmarket.h"

#include <QDateTime>
#include <QtMath>
#include <cmath>

namespace simbroker {

namespace {

// A stateless 64-bit mix (splitmix64): the same inputs give the same noise on every platform.
quint64 mix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

quint64 symbolHash(const QString &symbol)
{
    quint64 h = 1469598103934665603ULL;
    for (const QChar c : symbol)
        h = (h ^ c.unicode()) * 1099511628211ULL;
    return h;
}

// In [-1, 1].
double noise(quint64 key)
{
    return double(mix(key) >> 11) / double(1ULL << 52) - 1.0;
}

double roundTo(double value, int digits)
{
    const double scale = std::pow(10.0, digits);
    return std::round(value * scale) / scale;
}

SymbolSpec make(const char *symbol, const char *desc, const char *path, int digits, double contractSize,
                double basePrice, int spreadPoints, qint64 minVolume = 100, qint64 maxVolume = 1000000,
                qint64 stepVolume = 100)
{
    SymbolSpec s;
    s.symbol = QString::fromLatin1(symbol);
    s.desc = QString::fromLatin1(desc);
    s.path = QString::fromLatin1(path);
    s.digits = digits;
    s.contractSize = contractSize;
    s.basePrice = basePrice;
    s.spreadPoints = spreadPoints;
    s.minVolume = minVolume;
    s.maxVolume = maxVolume;
    s.stepVolume = stepVolume;
    return s;
}

} // namespace

double SymbolSpec::point() const
{
    return std::pow(10.0, -digits);
}

QJsonObject SymbolSpec::toJson() const
{
    return QJsonObject{
        {QStringLiteral("path"), path},
        {QStringLiteral("symbol"), symbol},
        {QStringLiteral("desc"), desc},
        {QStringLiteral("digits"), digits},
        {QStringLiteral("c_size"), contractSize},
        {QStringLiteral("min_vol"), minVolume},
        {QStringLiteral("max_vol"), maxVolume},
        {QStringLiteral("step_vol"), stepVolume},
    };
}

SimMarket::SimMarket()
{
    m_specs = {
        make("EURUSD", "Euro vs US Dollar", "Forex\\Majors", 5, 100000, 1.08450, 12),
        make("GBPUSD", "Great Britain Pound vs US Dollar", "Forex\\Majors", 5, 100000, 1.26720, 15),
        make("USDJPY", "US Dollar vs Japanese Yen", "Forex\\Majors", 3, 100000, 149.850, 14),
        make("USDCHF", "US Dollar vs Swiss Franc", "Forex\\Majors", 5, 100000, 0.88210, 16),
        make("AUDUSD", "Australian Dollar vs US Dollar", "Forex\\Majors", 5, 100000, 0.65430, 14),
        make("USDCAD", "US Dollar vs Canadian Dollar", "Forex\\Majors", 5, 100000, 1.35820, 18),
        make("NZDUSD", "New Zealand Dollar vs US Dollar", "Forex\\Majors", 5, 100000, 0.60980, 20),
        make("EURGBP", "Euro vs Great Britain Pound", "Forex\\Crosses", 5, 100000, 0.85580, 18),
        make("EURJPY", "Euro vs Japanese Yen", "Forex\\Crosses", 3, 100000, 162.510, 22),
        make("GBPJPY", "Great Britain Pound vs Japanese Yen", "Forex\\Crosses", 3, 100000, 189.880, 30),
        make("EURCHF", "Euro vs Swiss Franc", "Forex\\Crosses", 5, 100000, 0.95660, 20),
        make("AUDJPY", "Australian Dollar vs Japanese Yen", "Forex\\Crosses", 3, 100000, 98.050, 25),
        make("EURAUD", "Euro vs Australian Dollar", "Forex\\Crosses", 5, 100000, 1.65750, 30),
        make("XAUUSD", "Gold vs US Dollar", "Metals", 2, 100, 2035.40, 35, 1, 500000, 1),
        make("XAGUSD", "Silver vs US Dollar", "Metals", 3, 5000, 23.115, 30, 100, 100000, 100),
        make("US30", "Wall Street 30 Index", "Indices", 1, 1, 37650.0, 30, 1000, 1000000, 1000),
        make("NAS100", "US Tech 100 Index", "Indices", 1, 1, 16820.0, 20, 1000, 1000000, 1000),
        make("GER40", "Germany 40 Index", "Indices", 1, 1, 16750.0, 25, 1000, 1000000, 1000),
        make("USOIL", "WTI Crude Oil", "Energies", 2, 1000, 72.85, 4, 100, 500000, 100),
        make("BTCUSD", "Bitcoin vs US Dollar", "Crypto", 2, 1, 43250.00, 2500, 100, 100000, 100),
    };
    for (int i = 0; i < m_specs.size(); ++i)
        m_index.insert(m_specs.at(i).symbol, i);
    m_quotes.resize(m_specs.size());
    setSeed(1);
}

void SimMarket::setSeed(quint32 seed)
{
    m_seed = seed;
    m_step = 0;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < m_specs.size(); ++i) {
        m_quotes[i] = Quote();
        applyMid(i, midAt(m_specs.at(i).symbol, 0.0), nowMs);
    }
}

QStringList SimMarket::symbols() const
{
    QStringList names;
    for (const SymbolSpec &s : m_specs)
        names.append(s.symbol);
    return names;
}

const SymbolSpec &SimMarket::symbolInfo(const QString &symbol) const
{
    static const SymbolSpec none;
    const auto it = m_index.constFind(symbol);
    return it == m_index.constEnd() ? none : m_specs.at(*it);
}

QJsonArray SimMarket::symbolListJson() const
{
    QJsonArray array;
    for (const SymbolSpec &s : m_specs)
        array.append(s.toJson());
    return array;
}

double SimMarket::midAt(const QString &symbol, double step) const
{
    const SymbolSpec &s = symbolInfo(symbol);
    const quint64 key = symbolHash(symbol) ^ (quint64(m_seed) << 32);
    const double phase1 = (noise(key) + 1.0) * M_PI;
    const double phase2 = (noise(key + 1) + 1.0) * M_PI;
    // Two slow waves and a little noise: prices visibly rise and fall, and stay near the base.
    const qint64 whole = qint64(std::floor(step));
    const double fraction = step - double(whole);
    const double jitter = noise(key + 7 + quint64(whole)) * (1.0 - fraction)
        + noise(key + 8 + quint64(whole)) * fraction;
    const double wave = 0.0030 * std::sin(2.0 * M_PI * step / 480.0 + phase1)
        + 0.0012 * std::sin(2.0 * M_PI * step / 61.0 + phase2) + 0.00035 * jitter;
    return s.basePrice * (1.0 + wave);
}

void SimMarket::applyMid(int index, double mid, qint64 nowMs)
{
    const SymbolSpec &s = m_specs.at(index);
    Quote &q = m_quotes[index];
    const double halfSpread = s.spreadPoints * s.point() / 2.0;
    q.bid = roundTo(mid - halfSpread, s.digits);
    q.ask = roundTo(q.bid + s.spreadPoints * s.point(), s.digits);
    const bool first = q.bidHigh == 0.0;
    q.bidHigh = first ? q.bid : qMax(q.bidHigh, q.bid);
    q.bidLow = first ? q.bid : qMin(q.bidLow, q.bid);
    q.askHigh = first ? q.ask : qMax(q.askHigh, q.ask);
    q.askLow = first ? q.ask : qMin(q.askLow, q.ask);
    q.volume = 100 * qint64(1 + (mix(quint64(m_step) ^ quint64(index)) % 50));
    q.timeMs = nowMs;
}

void SimMarket::step()
{
    ++m_step;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < m_specs.size(); ++i)
        applyMid(i, midAt(m_specs.at(i).symbol, double(m_step)), nowMs);
}

void SimMarket::setQuote(const QString &symbol, double bid, double ask)
{
    const auto it = m_index.constFind(symbol);
    if (it == m_index.constEnd())
        return;
    Quote &q = m_quotes[*it];
    q.bid = bid;
    q.ask = ask;
    q.bidHigh = qMax(q.bidHigh, bid);
    q.bidLow = q.bidLow == 0.0 ? bid : qMin(q.bidLow, bid);
    q.askHigh = qMax(q.askHigh, ask);
    q.askLow = q.askLow == 0.0 ? ask : qMin(q.askLow, ask);
    q.timeMs = QDateTime::currentMSecsSinceEpoch();
}

Quote SimMarket::quote(const QString &symbol) const
{
    const auto it = m_index.constFind(symbol);
    return it == m_index.constEnd() ? Quote() : m_quotes.at(*it);
}

QJsonObject SimMarket::tickJson(const QString &symbol) const
{
    const SymbolSpec &s = symbolInfo(symbol);
    const Quote q = quote(symbol);
    return QJsonObject{
        {QStringLiteral("res_code"), 2},
        {QStringLiteral("symbol"), symbol},
        {QStringLiteral("timestamp"), q.timeMs / 1000},
        {QStringLiteral("tm_ms"), q.timeMs},
        {QStringLiteral("bid"), q.bid},
        {QStringLiteral("ask"), q.ask},
        {QStringLiteral("digits"), s.digits},
        {QStringLiteral("volume"), q.volume},
        {QStringLiteral("min_vol"), s.minVolume},
        {QStringLiteral("max_vol"), s.maxVolume},
        {QStringLiteral("step_vol"), s.stepVolume},
        {QStringLiteral("bid_high"), q.bidHigh},
        {QStringLiteral("bid_low"), q.bidLow},
        {QStringLiteral("ask_high"), q.askHigh},
        {QStringLiteral("ask_low"), q.askLow},
    };
}

QJsonArray SimMarket::bars(const QString &symbol, int intervalMinutes, qint64 from, qint64 to,
                           int maxBars) const
{
    QJsonArray array;
    if (!hasSymbol(symbol) || intervalMinutes <= 0 || maxBars <= 0)
        return array;
    const SymbolSpec &s = symbolInfo(symbol);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 last = (to < 0 || to > now) ? now : to;
    // The monthly timeframe (40000 minutes) is laid on calendar months, the others on multiples
    // of their length.
    QVector<qint64> starts;
    if (intervalMinutes >= 40000) {
        QDate month = QDateTime::fromSecsSinceEpoch(last, Qt::UTC).date();
        month = QDate(month.year(), month.month(), 1);
        while (starts.size() < maxBars) {
            const qint64 t = QDateTime(month, QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
            if (t < from)
                break;
            starts.prepend(t);
            month = month.addMonths(-1);
        }
    } else {
        const qint64 length = qint64(intervalMinutes) * 60;
        qint64 t = last - last % length;
        const qint64 first = qMax<qint64>(0, from);
        while (starts.size() < maxBars && t >= first) {
            starts.prepend(t);
            t -= length;
        }
    }
    // Steps of 15 s: the chart walks the same wave as the stream, on the clock.
    constexpr double SecondsPerStep = 15.0;
    for (int i = 0; i < starts.size(); ++i) {
        const qint64 t = starts.at(i);
        const qint64 end = i + 1 < starts.size() ? starts.at(i + 1) : t + qint64(intervalMinutes) * 60;
        const double a = double(t) / SecondsPerStep;
        const double b = double(end) / SecondsPerStep;
        const double open = midAt(symbol, a);
        const double close = midAt(symbol, b);
        double high = qMax(open, close);
        double low = qMin(open, close);
        for (int k = 1; k < 8; ++k) {
            const double m = midAt(symbol, a + (b - a) * k / 8.0);
            high = qMax(high, m);
            low = qMin(low, m);
        }
        array.append(QJsonObject{
            {QStringLiteral("datetime"), t},
            {QStringLiteral("open"), roundTo(open, s.digits)},
            {QStringLiteral("high"), roundTo(high, s.digits)},
            {QStringLiteral("low"), roundTo(low, s.digits)},
            {QStringLiteral("close"), roundTo(close, s.digits)},
        });
    }
    return array;
}

} // namespace simbroker
