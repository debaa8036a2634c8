#pragma once

#include <QString>
#include <Qt>

// How every table, page and dialog shows numbers, so that what a trader reads in the trade
// table, the history, the statement and a dialog is the same text for the same value.
namespace DisplayFormat {

// A price with the symbol's digits; digits outside 0..15 (a hostile or corrupt reply) are
// clamped, since QString::number aborts on absurd precisions.
QString price(double value, int digits);

// A stop loss, take profit or stop-limit price: an empty cell where none is set (0).
QString optionalPrice(double value, int digits);

// Lots and money: two decimals.
QString money(double value);

// Cells the trader can select and copy but never edit.
constexpr Qt::ItemFlags ReadOnlyCell = Qt::ItemIsSelectable | Qt::ItemIsEnabled;

} // namespace DisplayFormat
