#pragma once

#include <QByteArray>
#include <QFile>

// The process's resident memory as Linux reports it, for the flood test and the benchmarks.
namespace ResidentMemory {

// In KiB: field "VmRSS:" for now, "VmHWM:" for the peak since the last reset; -1 if unknown.
inline qint64 kib(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Sets the peak to the current size; false where the kernel does not allow it.
inline bool resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace ResidentMemory
