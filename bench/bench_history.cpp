// The history tables and the account statement, each against a baseline measured in the same run.
//
//   load:      Client_Terminal::historyTableLoad with 1,000, 10,000, 50,000 and 100,000 elements
//              (every field) in each of the reply's three arrays, against putting the same number
//              of bare QTableWidgetItems (one per cell, summary rows included) into the same three
//              tables. 100,000 is what the trade client lets into the window of each array.
//              Figures: time per element, and the peak memory the fill adds to the process. The
//              growth ratio (time per element at 50,000 or 100,000 over that at 1,000) stays near
//              1 while the fill is linear.
//   statement: writing the statement of 50,000 closed positions, against writing the same
//              bytes with a plain QFile.
//   symbols:   opening Show/Hide Symbols over 5,005 and 25,005 symbols, all in the market
//              watch, against filling a bare QListWidget with as many checkable items. The
//              growth ratio (time per symbol at 25,005 over that at 5,005) stays near 1 while
//              the list is built in linear time.
//
// Output lines "RATIO <name>: <value>" carry the figures; the lines before them the raw numbers.
#include "client_terminal.h"
#include "residentmemory.h"
#include "showsymboldialog.h"
#include "statementwriter.h"
#include "tradeclient.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>

namespace {

QJsonObject reply(int count)
{
    QJsonArray positions, orders, deals;
    for (int i = 0; i < count; ++i) {
        const qint64 ticket = 5000000000LL + i;
        const qint64 time = 1700000000 + i * 60;
        positions.append(QJsonObject{{"ticket", ticket}, {"symbol", "EURUSD"}, {"type", i % 2 ? "sell" : "buy"},
                                     {"time", time}, {"digits", 5}, {"volume", 2000}, {"price_o", 1.0812},
                                     {"price_c", 1.0837}, {"sl", 0}, {"tp", 1.084}, {"swap", -0.42}, {"profit", 12.5}});
        orders.append(QJsonObject{{"ticket", ticket}, {"symbol", "EURUSD"}, {"type", i % 8}, {"time", time},
                                  {"volume", 2000}, {"price", 1.08}, {"s_price", 0}, {"sl", 0}, {"tp", 0},
                                  {"state", i % 7}, {"digits", 5}});
        deals.append(QJsonObject{{"ticket", ticket}, {"order", ticket}, {"symbol", "EURUSD"}, {"type", i % 5},
                                 {"time", time}, {"volume", 2000}, {"price", 1.1}, {"profit", 3.0}, {"swap", -0.1},
                                 {"commission", -0.7}, {"fee", 0.0}, {"digits", 5}});
    }
    return {{"res_code", 5}, {"positions", positions}, {"orders", orders}, {"deals", deals}};
}

// Trimmed first, so the peak starts from what the process really holds.
void resetPeak()
{
    malloc_trim(0);
    ResidentMemory::resetPeak();
}

struct Figure
{
    double nsPerElement = 0.0;
    qint64 peakAddedKiB = 0;
};

template <typename Fill, typename Empty>
Figure measure(int elements, Fill fill, Empty empty)
{
    Figure figure;
    const int rounds = elements >= 50000 ? 2 : elements >= 10000 ? 3 : 10;
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        empty();
        resetPeak();
        const qint64 before = ResidentMemory::kib("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        fill();
        const double ns = double(timer.nsecsElapsed());
        figure.peakAddedKiB = qMax(figure.peakAddedKiB, ResidentMemory::kib("VmHWM:") - before);
        best = qMin(best, ns);
    }
    empty();
    figure.nsPerElement = best / elements;
    return figure;
}

void ratio(const char *name, double value)
{
    std::printf("RATIO %s: %.3f\n", name, value);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());

    TradeClient client;
    Client_Terminal window(&client);
    window.resize(1200, 800);
    window.show();
    window.findChild<QTabWidget *>(QStringLiteral("tabWidget_3"))->setCurrentIndex(1);
    const QList<QTableWidget *> tables{window.findChild<QTableWidget *>(QStringLiteral("positionTableWidget")),
                                       window.findChild<QTableWidget *>(QStringLiteral("orderTableWidget")),
                                       window.findChild<QTableWidget *>(QStringLiteral("dealTableWidget"))};
    const auto emptyTables = [&tables] {
        for (QTableWidget *table : tables)
            table->setRowCount(0);
        QCoreApplication::processEvents();
    };

    double perElement1k = 0.0;
    for (int count : {1000, 10000, 50000, TradeClient::DefaultHistoryRecordLimit}) {
        const QJsonObject history = reply(count);
        const int elements = 3 * count;
        const Figure load = measure(elements, [&] { window.historyTableLoad(history); }, emptyTables);
        const Figure bare = measure(
            elements,
            [&] {
                for (QTableWidget *table : tables) {
                    table->setRowCount(count + 1);
                    for (int row = 0; row <= count; ++row)
                        for (int column = 0; column < table->columnCount(); ++column)
                            table->setItem(row, column, new QTableWidgetItem);
                }
            },
            emptyTables);
        std::printf("load %d per array: %.0f ns per element (bare items %.0f), peak +%lld KiB (bare items +%lld KiB)\n",
                    count, load.nsPerElement, bare.nsPerElement, static_cast<long long>(load.peakAddedKiB),
                    static_cast<long long>(bare.peakAddedKiB));
        const QByteArray size = QByteArray::number(count / 1000) + "k";
        ratio(("history_load_time_vs_bare_items_" + size).constData(), load.nsPerElement / bare.nsPerElement);
        if (load.peakAddedKiB > 0 && bare.peakAddedKiB > 0)
            ratio(("history_load_peak_memory_vs_bare_items_" + size).constData(),
                  double(load.peakAddedKiB) / double(bare.peakAddedKiB));
        if (count == 1000)
            perElement1k = load.nsPerElement;
        else
            ratio(("history_load_time_per_element_" + size + "_vs_1k").constData(), load.nsPerElement / perElement1k);
    }

    // The statement of 50,000 closed positions.
    StatementData data;
    data.account = 42;
    data.clientName = QStringLiteral("Bench & Co");
    data.date = QDate(2026, 3, 30);
    data.dealsSummary = QStringLiteral("Proft: 1.00, Credit: 0.00, Deposit: 2.00, Withdraw: 0.00, Swap: 0.00, "
                                       "Commission: 0.00, Balance: 3.00");
    for (int i = 0; i < 50000; ++i)
        data.closedPositions << QStringList{"EURUSD", QString::number(5000000000LL + i), "2026.03.30 12:00:00", "buy",
                                            "0.20", "", "1.08400", "1.08120", "1.08370", "-0.42", "12.50"};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    Statement::write(&buffer, data);
    const QByteArray bytes = buffer.data();
    const QString path = folder.filePath(QStringLiteral("statement.html"));
    double statementNs = 1e300, fileNs = 1e300;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        if (!Statement::save(path, data))
            return 1;
        statementNs = qMin(statementNs, double(timer.nsecsElapsed()));
        timer.start();
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
        file.close();
        fileNs = qMin(fileNs, double(timer.nsecsElapsed()));
    }
    std::printf("statement of 50000 rows, %lld bytes: %.1f ms (plain QFile %.1f ms)\n",
                static_cast<long long>(bytes.size()), statementNs / 1e6, fileNs / 1e6);
    ratio("statement_write_50k_vs_qfile", statementNs / fileNs);

    double perSymbol5k = 0.0;
    for (int count : {5005, 25005}) {
        QJsonArray symbols;
        QVector<QString> names;
        for (int i = 0; i < count; ++i) {
            names << QStringLiteral("S%1").arg(i, 6, 10, QLatin1Char('0'));
            symbols.append(QJsonObject{{"symbol", names.last()}, {"digits", 5}});
        }
        window.symbolStorage()->onSymbolListReceived({{"res_code", 8}, {"array", symbols}});
        window.symbolStorage()->setSymbolList(names, false);
        double dialogNs = 1e300, bareNs = 1e300;
        for (int round = 0; round < 3; ++round) {
            QElapsedTimer timer;
            timer.start();
            { ShowSymbolDialog dialog(&window); }
            dialogNs = qMin(dialogNs, double(timer.nsecsElapsed()));
            timer.start();
            {
                QListWidget list;
                for (const QString &name : names) {
                    auto *item = new QListWidgetItem(name);
                    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                    item->setCheckState(Qt::Checked);
                    list.addItem(item);
                }
            }
            bareNs = qMin(bareNs, double(timer.nsecsElapsed()));
        }
        std::printf("symbol dialog over %d symbols: %.1f ms (bare list %.1f ms)\n", count, dialogNs / 1e6, bareNs / 1e6);
        const QByteArray size = QByteArray::number(count / 1000) + "k";
        ratio(("symbol_dialog_open_vs_bare_list_" + size).constData(), dialogNs / bareNs);
        if (count == 5005)
            perSymbol5k = dialogNs / count;
        else
            ratio("symbol_dialog_time_per_symbol_25k_vs_5k", dialogNs / count / perSymbol5k);
    }
    return 0;
}
