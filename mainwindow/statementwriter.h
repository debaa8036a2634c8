#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

class QIODevice;
class QTableWidget;

// The HTML account statement: a one-line XHTML page that a browser opens, made from what the
// window shows at the moment it is asked for (nothing is requested from the server).
//
// Promised: a statement file either stands complete at its path or the path is left as it was.
// save() writes through QSaveFile and reports success only after the commit, so a caller that
// opens the file only on success never shows a half-written page, nor an older file that
// happened to stand there. Names and cell texts are escaped by the XML writer and so come back
// in the browser exactly as typed; half a surrogate pair, which no file can hold, is written as
// the replacement character. Missing rows, cells and summary fields read as empty text and
// as 0; nothing in the inputs makes writing fail.
struct StatementData
{
    qint64 account = 0;
    QString clientName;
    QString group;
    QString serverName;
    // Closed positions as the history table shows them (symbol, ticket, time, type, volume, s/l,
    // t/p, open price, close price, swap, profit), its summary row left out.
    QVector<QStringList> closedPositions;
    // Trade-table rows (symbol, ticket, time, type, volume, price, s/l, t/p, second price,
    // profit), pending orders included.
    QVector<QStringList> openPositions;
    // "Profit: …, Credit: …, Deposit: …, Withdraw: …, Swap: …, Commission: …, Balance: …"
    QString dealsSummary;
    // The account summary line; its third field is the equity.
    QString accountSummary;
    QDate date;
};

namespace Statement {

// The file name the save dialog proposes: "ReportHistory-<account>.html".
QString fileName(qint64 account);

// The texts of `columns` cells of each row, leaving out the last `skipLast` rows; a missing
// item reads as empty text, rows a table lacks are simply not there.
QVector<QStringList> tableTexts(const QTableWidget *table, int columns, int skipLast);

// The number after the first ':' of comma-separated field `field` (counted from 1) of a
// summary text; 0 when the field or its number is missing. Read as a double and written with
// two decimals, so the statement keeps every cent the window shows.
double figure(const QString &text, int field);

// Writes the whole page to an open device; false when the device did not take all of it.
bool write(QIODevice *device, const StatementData &data);

// Writes the page to `path` through QSaveFile; true only when the file was committed whole.
bool save(const QString &path, const StatementData &data);

} // namespace Statement
