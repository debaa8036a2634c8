#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

// The per-account workspace folder "config/<server>/<account>" and its text files.
namespace Workspace {

// One line of the "charts" file: symbol,oneClick,x,y,width,height[,period]
struct ChartEntry
{
    QString symbol;
    bool oneClickVisible = false;
    QRect geometry;
    int period = 1;

    bool operator==(const ChartEntry &other) const
    {
        return symbol == other.symbol && oneClickVisible == other.oneClickVisible
            && geometry == other.geometry && period == other.period;
    }
};

// "config/<server>/<account>" relative to the program's folder, or an empty string when the
// server name is not one safe folder name (such a server keeps no workspace on disk).
QString folderFor(const QString &serverName, qint64 login);

// Makes the file at `path` readable and writable by its owner only, creating it empty (with its
// folder) when missing. QSaveFile and QSettings replace a file by one that takes over the old
// file's mode, and create a missing one readable by every user: a file that is to hold a saved
// password goes through this before each write, so the password is never readable by others.
bool keepForOwnerOnly(const QString &path);

// Parses one "charts" line. False for a line that restores nothing (fewer than six fields or
// no symbol). The period is taken only from a seventh and last field; a missing, malformed,
// zero or negative period becomes 1, since a chart cannot run with a period below one minute.
bool parseChartsLine(const QString &line, ChartEntry *entry);
QString chartsLine(const ChartEntry &entry);

// The entries of a whole "charts" file, each symbol once (the first line of a symbol wins, as
// an open chart window of that symbol takes the later lines).
QVector<ChartEntry> parseChartsFile(const QString &text);

// Whitespace-separated words of a "symbols" file, empty ones skipped.
QStringList parseSymbolsFile(const QString &text);

} // namespace Workspace
