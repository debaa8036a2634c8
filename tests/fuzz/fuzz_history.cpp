// Arbitrary bytes as one trade-history reply: decoded as the client decodes it, filled into the
// three history tables, read back the way the statement reads them and written as a statement.
// Nothing may crash, trip a sanitizer or hang.
#include "historytables.h"
#include "statementwriter.h"
#include "symboldatastorage.h"
#include "tradeclient.h"

#include <QApplication>
#include <QBuffer>
#include <QJsonArray>
#include <QTableWidget>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Lives until the process ends: destroyed among the exit handlers, it would outlive what
    // its platform plugin needs.
    new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A fill is linear in the elements; larger inputs only slow the search down.
    if (size > 1 << 16)
        return 0;
    const QJsonObject reply = TradeClient::parseMessage(
        QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)));

    SymbolDataStorage store;
    store.onSymbolListReceived({{"array", QJsonArray{QJsonObject{{"symbol", "EURUSD"}, {"digits", 5}}}}});
    QTableWidget positions(0, HistoryTables::PositionColumns);
    QTableWidget orders(0, HistoryTables::OrderColumns);
    QTableWidget deals(0, HistoryTables::DealColumns);
    HistoryTables tables(&positions, &orders, &deals, QFont());
    const HistorySums sums = tables.load(reply, store);
    if (store.allSymbols().size() != 1)
        __builtin_trap(); // a digits look-up added a symbol

    StatementData statement;
    statement.clientName = reply.value(QLatin1String("name")).toString();
    statement.closedPositions = Statement::tableTexts(&positions, HistoryTables::PositionColumns, 1);
    statement.openPositions = Statement::tableTexts(&orders, 10, 0);
    statement.dealsSummary = deals.item(deals.rowCount() - 1, 0)->text();
    // Summary texts the fuzzer writes itself, read field by field.
    statement.accountSummary = reply.value(QLatin1String("summary")).toString();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    Statement::write(&buffer, statement);
    if (sums.dealsSummary() != statement.dealsSummary)
        __builtin_trap();
    return 0;
}
