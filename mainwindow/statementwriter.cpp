#include "statementwriter.h"

#include "displayformat.h"

#include <QSaveFile>
#include <QTableWidget>
#include <QXmlStreamWriter>

namespace {

// Cells of the header and data rows: the columns they take from each table, -1 for an empty cell.
struct CellSource
{
    const char *closedLabel;
    int closedColumn;
    const char *openLabel; // nullptr: a blank header cell
    int openColumn;
};

const CellSource Cells[14] = {
    {"Time", 2, "Time", 2},
    {"Position", 1, "Position", 1},
    {"Symbol", 0, "Symbol", 0},
    {"Type", 3, "Type", 3},
    {"Volume", 4, "Volume", 4},
    {"Price", 7, "Price", 5},
    {"S / L", 5, "S / L", 6},
    {"T / P", 6, "T / P", 7},
    {"Time", -1, nullptr, -1},
    {"Price", 8, "Price", 8},
    {"Position", -1, nullptr, -1},
    {"Commission", -1, nullptr, -1},
    {"Swap", 9, nullptr, -1},
    {"Profit", 10, "Profit", 9},
};

const QString ColspanAll = QStringLiteral("14");

// Qt's XML writer stops at a lone surrogate (a name may carry one as a valid JSON escape) and
// writes nothing after it, so each lone half becomes the replacement character first.
QString wellFormed(QString text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = QChar(QChar::ReplacementCharacter);
    }
    return text;
}

class Page
{
public:
    explicit Page(QIODevice *device) : w(device) { w.setAutoFormatting(false); }

    // False when the device took the page only in part.
    bool write(const StatementData &data)
    {
        w.writeDTD(QStringLiteral("<!DOCTYPE html>"));
        w.writeStartElement(QStringLiteral("html"));
        w.writeAttribute(QStringLiteral("xmlns"), QStringLiteral("http://www.w3.org/1999/xhtml"));
        w.writeAttribute(QStringLiteral("lang"), QStringLiteral("en"));
        w.writeAttribute(QStringLiteral("xml:lang"), QStringLiteral("en"));

        w.writeStartElement(QStringLiteral("head"));
        w.writeEmptyElement(QStringLiteral("meta"));
        w.writeAttribute(QStringLiteral("http-equiv"), QStringLiteral("Content-Type"));
        w.writeAttribute(QStringLiteral("content"), QStringLiteral("text/html; charset=utf-8"));
        w.writeTextElement(QStringLiteral("title"), QStringLiteral("Statement: ") + QString::number(data.account));
        w.writeTextElement(QStringLiteral("style"), QStringLiteral("b { font-size: 12px; }"));
        w.writeEndElement(); // head

        w.writeStartElement(QStringLiteral("body"));
        w.writeStartElement(QStringLiteral("div"));
        w.writeAttribute(QStringLiteral("align"), QStringLiteral("center"));
        w.writeAttribute(QStringLiteral("style"), QStringLiteral("font: 10pt Tahoma;"));
        w.writeStartElement(QStringLiteral("table"));
        w.writeAttribute(QStringLiteral("style"), QStringLiteral("font-size: 12px;"));

        heading(data.date);
        identity(QStringLiteral("Client Name: ") + data.clientName);
        identity(QStringLiteral("Account Number: ") + QString::number(data.account) + QStringLiteral(", ")
                 + data.group);
        identity(QStringLiteral("Broker Name: ") + data.serverName);

        sectionTitle(QStringLiteral("Positions"));
        headerRow(false);
        for (const QStringList &row : data.closedPositions)
            dataRow(row, false);

        sectionTitle(QStringLiteral("Open Positions"));
        headerRow(true);
        for (const QStringList &row : data.openPositions)
            dataRow(row, true);

        const double closedProfit = Statement::figure(data.dealsSummary, 1);
        const double deposit = Statement::figure(data.dealsSummary, 3);
        const double withdraw = Statement::figure(data.dealsSummary, 4);
        const double balance = Statement::figure(data.dealsSummary, 7);
        const double equity = Statement::figure(data.accountSummary, 3);
        const double profit = closedProfit > 0.0 ? closedProfit : 0.0; // never "-0.00"
        const double loss = closedProfit < 0.0 ? closedProfit : 0.0;

        spacer();
        boxRow({{"Balance", balance, nullptr}, {"Deposit", deposit, nullptr}, {"Withdraw", withdraw, nullptr}});
        spacer();
        boxRow({{"Equity", equity, nullptr}, {"Profit", profit, "color: #0FA045;"},
                {"Loss", loss, "color: #EE4343;"}});
        spacer();

        w.writeEndElement(); // table
        w.writeEndElement(); // div
        w.writeEndElement(); // body
        w.writeEndElement(); // html
        return !w.hasError();
    }

private:
    struct Box
    {
        const char *label;
        double value;
        const char *valueStyle;
    };

    void heading(const QDate &date)
    {
        w.writeStartElement(QStringLiteral("tr"));
        w.writeStartElement(QStringLiteral("td"));
        w.writeAttribute(QStringLiteral("colspan"), ColspanAll);
        w.writeStartElement(QStringLiteral("div"));
        w.writeAttribute(QStringLiteral("style"), QStringLiteral("display: flex; justify-content: space-between;"));
        w.writeEmptyElement(QStringLiteral("img"));
        w.writeAttribute(QStringLiteral("src"), QStringLiteral("taldrex.png"));
        w.writeStartElement(QStringLiteral("b"));
        w.writeCharacters(QStringLiteral("Account Statement"));
        w.writeEmptyElement(QStringLiteral("br"));
        w.writeCharacters(QStringLiteral("Dated: ") + date.toString(QStringLiteral("dd-MM-yyyy")));
        w.writeEndElement(); // b
        w.writeEndElement(); // div
        w.writeEndElement(); // td
        w.writeEndElement(); // tr
    }

    void identity(const QString &text)
    {
        w.writeStartElement(QStringLiteral("tr"));
        w.writeAttribute(QStringLiteral("align"), QStringLiteral("left"));
        w.writeStartElement(QStringLiteral("td"));
        w.writeAttribute(QStringLiteral("colspan"), ColspanAll);
        w.writeStartElement(QStringLiteral("div"));
        w.writeTextElement(QStringLiteral("b"), wellFormed(text));
        w.writeEndElement(); // div
        w.writeEndElement(); // td
        w.writeEndElement(); // tr
    }

    void sectionTitle(const QString &text)
    {
        w.writeStartElement(QStringLiteral("tr"));
        w.writeStartElement(QStringLiteral("th"));
        w.writeAttribute(QStringLiteral("colspan"), ColspanAll);
        w.writeAttribute(QStringLiteral("style"), QStringLiteral("height: 25px"));
        w.writeStartElement(QStringLiteral("div"));
        w.writeTextElement(QStringLiteral("b"), text);
        w.writeEndElement(); // div
        w.writeEndElement(); // th
        w.writeEndElement(); // tr
    }

    void headerRow(bool open)
    {
        w.writeStartElement(QStringLiteral("tr"));
        w.writeAttribute(QStringLiteral("align"), QStringLiteral("center"));
        w.writeAttribute(QStringLiteral("bgcolor"), QStringLiteral("#A9A9A9"));
        for (int i = 0; i < 14; ++i) {
            const char *label = open ? Cells[i].openLabel : Cells[i].closedLabel;
            w.writeStartElement(QStringLiteral("td"));
            if (i == 0)
                w.writeAttribute(QStringLiteral("style"), QStringLiteral("height: 30px"));
            if (i == 13)
                w.writeAttribute(QStringLiteral("colspan"), QStringLiteral("2"));
            if (!label)
                w.writeAttribute(QStringLiteral("bgcolor"), QStringLiteral("#FFFFFF"));
            w.writeTextElement(QStringLiteral("b"), label ? QString::fromLatin1(label) : QString());
            w.writeEndElement(); // td
        }
        w.writeEndElement(); // tr
    }

    void dataRow(const QStringList &texts, bool open)
    {
        w.writeStartElement(QStringLiteral("tr"));
        w.writeAttribute(QStringLiteral("align"), QStringLiteral("right"));
        w.writeAttribute(QStringLiteral("bgcolor"), QStringLiteral("#FFFFFF"));
        for (int i = 0; i < 14; ++i) {
            const int column = open ? Cells[i].openColumn : Cells[i].closedColumn;
            w.writeStartElement(QStringLiteral("td"));
            if (i == 13)
                w.writeAttribute(QStringLiteral("colspan"), QStringLiteral("2"));
            w.writeCharacters(column >= 0 ? wellFormed(texts.value(column)) : QString());
            w.writeEndElement(); // td
        }
        w.writeEndElement(); // tr
    }

    void spacer()
    {
        w.writeStartElement(QStringLiteral("tr"));
        w.writeAttribute(QStringLiteral("height"), QStringLiteral("30px"));
        w.writeEndElement();
    }

    void boxRow(std::initializer_list<Box> boxes)
    {
        w.writeStartElement(QStringLiteral("tr"));
        w.writeAttribute(QStringLiteral("align"), QStringLiteral("left"));
        for (const Box &box : boxes) {
            w.writeStartElement(QStringLiteral("td"));
            w.writeAttribute(QStringLiteral("colspan"), QStringLiteral("5"));
            w.writeAttribute(QStringLiteral("style"),
                             QStringLiteral("padding: 10px; border-radius: 6px; border: 1px solid #7C7C7C;"));
            w.writeStartElement(QStringLiteral("div"));
            w.writeAttribute(QStringLiteral("style"), QStringLiteral("font-size: 10px; color: #7C7C7C;"));
            w.writeCharacters(QString::fromLatin1(box.label));
            w.writeEndElement(); // div
            w.writeStartElement(QStringLiteral("div"));
            if (box.valueStyle)
                w.writeAttribute(QStringLiteral("style"), QString::fromLatin1(box.valueStyle));
            w.writeCharacters(DisplayFormat::money(box.value));
            w.writeEndElement(); // div
            w.writeEndElement(); // td
        }
        w.writeEndElement(); // tr
    }

    QXmlStreamWriter w;
};

} // namespace

namespace Statement {

QString fileName(qint64 account)
{
    return QStringLiteral("ReportHistory-") + QString::number(account) + QStringLiteral(".html");
}

QVector<QStringList> tableTexts(const QTableWidget *table, int columns, int skipLast)
{
    QVector<QStringList> rows;
    const int count = table->rowCount() - skipLast;
    rows.reserve(qMax(0, count));
    for (int row = 0; row < count; ++row) {
        QStringList texts;
        texts.reserve(columns);
        for (int column = 0; column < columns; ++column) {
            const QTableWidgetItem *item = table->item(row, column);
            texts << (item ? item->text() : QString());
        }
        rows << texts;
    }
    return rows;
}

double figure(const QString &text, int field)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (field < 1 || field > fields.size())
        return 0.0;
    const QStringList pieces = fields.at(field - 1).split(QLatin1Char(':'));
    if (pieces.size() < 2)
        return 0.0;
    return pieces.at(1).toDouble();
}

bool write(QIODevice *device, const StatementData &data)
{
    return Page(device).write(data);
}

bool save(const QString &path, const StatementData &data)
{
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!write(&file, data)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace Statement
