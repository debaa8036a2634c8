#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

namespace simbroker {

// One symbol the simulated broker trades, with its specification as the symbol list sends it.
struct SymbolSpec
{
    QString symbol;
    QString desc;
    QString path;
    int digits = 5;
    double contractSize = 100000.0;
    qint64 minVolume = 100;      // 1/10000 lot
    qint64 maxVolume = 1000000;
    qint64 stepVolume = 100;
    double basePrice = 1.0;      // centre of the simulated price
    int spreadPoints = 10;       // ask minus bid, in points (10^-digits)

    double point() const;
    QJsonObject toJson() const;  // an element of the symbol list's "array"
};

// The last quote of one symbol.
struct Quote
{
    double bid = 0.0;
    double ask = 0.0;
    double bidHigh = 0.0;
    double bidLow = 0.0;
    double askHigh = 0.0;
    double askLow = 0.0;
    qint64 volume = 0;           // 1/10000 lot
    qint64 timeMs = 0;
};

// The simulated market: a fixed set of about twenty symbols whose prices rise and fall as a
// pure function of (seed, symbol, step), so a stream and a chart history are the same for the
// same seed on every run.
class SimMarket
{
public:
    SimMarket();

    void setSeed(quint32 seed);   // also restarts the stream at step 0
    quint32 seed() const { return m_seed; }

    QStringList symbols() const;  // in list order
    bool hasSymbol(const QString &symbol) const { return m_index.contains(symbol); }
    const SymbolSpec &symbolInfo(const QString &symbol) const;
    QJsonArray symbolListJson() const;

    // The mid price of a symbol at a (fractional) step; the stream samples integral steps, the
    // chart history samples steps derived from time.
    double midAt(const QString &symbol, double step) const;

    // Moves every symbol one step on and returns their new quotes (in list order).
    void step();
    qint64 currentStep() const { return m_step; }

    // Overrides a quote until the next step.
    void setQuote(const QString &symbol, double bid, double ask);
    Quote quote(const QString &symbol) const;
    // A price reply (res_code 2) for the symbol's current quote.
    QJsonObject tickJson(const QString &symbol) const;

    // Chart-history bars of [from, to] (to -1: up to now), at most maxBars, newest kept.
    QJsonArray bars(const QString &symbol, int intervalMinutes, qint64 from, qint64 to,
                    int maxBars = 2000) const;

private:
    void applyMid(int index, double mid, qint64 nowMs);

    quint32 m_seed = 1;
    qint64 m_step = 0;
    QVector<SymbolSpec> m_specs;
    QVector<Quote> m_quotes;
    QHash<QString, int> m_index;
};

} // namespace simbroker
