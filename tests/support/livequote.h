#pragma once

#include "marketrecords.h"

// A quote as the chart windows receive it: the ask 2 points above the bid, 5 digits and the
// usual 0.01 to 100 lot limits.
inline TickData liveQuote(const QString &symbol, qint64 time, double bid)
{
    TickData tick;
    tick.symbol = symbol;
    tick.timestamp = time;
    tick.bid = bid;
    tick.ask = bid + 0.0002;
    tick.digits = 5;
    tick.min_vol = 0.01;
    tick.max_vol = 100;
    tick.step_vol = 0.01;
    return tick;
}
