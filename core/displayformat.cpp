#include "displayformat.h"

#include "marketrecords.h"

#include <QtGlobal>

namespace DisplayFormat {

QString price(double value, int digits)
{
    return QString::number(value, 'f', qBound(0, digits, JsonRead::MaxDigits));
}

QString money(double value)
{
    return QString::number(value, 'f', 2);
}

} // namespace DisplayFormat
