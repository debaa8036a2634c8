#include "displayformat.h"

#include "marketrecords.h"

#include <QtGlobal>

namespace DisplayFormat {

QString price(double value, int digits)
{
    return QString::number(value, 'f', qBound(0, digits, JsonRead::MaxDigits));
}

QString optionalPrice(double value, int digits)
{
    return value == 0.0 ? QString() : price(value, digits);
}

QString money(double value)
{
    return QString::number(value, 'f', 2);
}

} // namespace DisplayFormat
