#include "workspacefiles.h"

#include "pathsafety.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>

namespace Workspace {

QString folderFor(const QString &serverName, qint64 login)
{
    if (!isSafePathSegment(serverName))
        return QString();
    // One arg() call: chained calls would read a "%2" inside the server name as a placeholder
    // and put the workspace in another folder than the account's chart cache.
    return QStringLiteral("config/%1/%2").arg(serverName, QString::number(login));
}

bool keepForOwnerOnly(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    // Appending: a file that appeared meanwhile keeps its content.
    if (!file.exists() && !file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool parseChartsLine(const QString &line, ChartEntry *entry)
{
    const QStringList fields = line.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (fields.size() < 6 || fields.at(0).isEmpty())
        return false;
    ChartEntry parsed;
    parsed.symbol = fields.at(0);
    parsed.oneClickVisible = fields.at(1) == QLatin1String("1");
    parsed.geometry = QRect(fields.at(2).toInt(), fields.at(3).toInt(), fields.at(4).toInt(),
                            fields.at(5).toInt());
    parsed.period = 1;
    if (fields.size() == 7) {
        bool ok = false;
        const int period = fields.at(6).toInt(&ok);
        if (ok && period > 0)
            parsed.period = period;
    }
    *entry = parsed;
    return true;
}

QString chartsLine(const ChartEntry &entry)
{
    // Joined, not formatted: a '%' in a symbol must not be read as a placeholder.
    return QStringList{entry.symbol, QString::number(entry.oneClickVisible ? 1 : 0),
                       QString::number(entry.geometry.x()), QString::number(entry.geometry.y()),
                       QString::number(entry.geometry.width()), QString::number(entry.geometry.height()),
                       QString::number(entry.period)}
        .join(QLatin1Char(','));
}

QVector<ChartEntry> parseChartsFile(const QString &text)
{
    QVector<ChartEntry> entries;
    QString content = text;
    QTextStream stream(&content, QIODevice::ReadOnly);
    QString line;
    while (stream.readLineInto(&line)) {
        ChartEntry entry;
        if (!parseChartsLine(line, &entry))
            continue;
        const bool known = std::any_of(entries.cbegin(), entries.cend(),
                                       [&](const ChartEntry &e) { return e.symbol == entry.symbol; });
        if (!known)
            entries.append(entry);
    }
    return entries;
}

QStringList parseSymbolsFile(const QString &text)
{
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    return text.split(whitespace, Qt::SkipEmptyParts);
}

} // namespace Workspace
