#include "pathsafety.h"

#include <QByteArray>

namespace {

bool isReservedDeviceName(const QString &name)
{
    // Windows resolves these to devices whatever folder they are in and whatever extension
    // follows them.
    const QString base = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char *device : devices) {
        if (base == QLatin1String(device))
            return true;
    }
    if (base.size() == 4 && (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))))
        return base.at(3) >= QLatin1Char('0') && base.at(3) <= QLatin1Char('9');
    return false;
}

} // namespace

bool isSafePathSegment(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (!name.isValidUtf16() || name.toUtf8().size() > 255)
        return false;
    for (const QChar c : name) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7f)
            return false;
        switch (u) {
        case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
            return false;
        default:
            break;
        }
    }
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return false;
    return !isReservedDeviceName(name);
}
