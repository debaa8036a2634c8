// Order entry: the dialog's modes, the requests the simulated broker receives from it, how it
// settles trade replies, its tick chart, and every place of the main window that opens it.
#include "axistag.h"
#include "loggedinwindow.h"
#include "logindialog.h"
#include "new_order.h"
#include "oneclicktradingbuttons.h"
#include "testmain.h"
#include "trademessages.h"

#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <qcustomplot.h>
#include <algorithm>
#include <tuple>

using corvane_test::MustHappenMs;

namespace {

constexpr qint64 Account = 7000000321LL;

// What the account holds, seeded with tickets past 32 bits: a buy and a sell EURUSD position, a
// lone USDJPY position, a GBPUSD sell stop limit and a GBPUSD buy limit order.
const QList<QPair<QString, QJsonObject>> Records{
    {"#BUY", {{"symbol", "EURUSD"}, {"type", "buy"}, {"volume", 5700}, {"price_o", 1.1}, {"sl", 1.05}, {"tp", 1.2}}},
    {"#SELL", {{"symbol", "EURUSD"}, {"type", "sell"}, {"volume", 1000}, {"price_o", 1.09}}},
    {"#LONE", {{"symbol", "USDJPY"}, {"type", "buy"}, {"volume", 1000}, {"price_o", 150.0}}},
    {"#STOP", {{"symbol", "GBPUSD"}, {"type", 7}, {"volume", 3000}, {"price", 1.1}, {"s_price", 1.09}, {"sl", 1.15}, {"tp", 1.0}}},
    {"#LIMIT", {{"symbol", "GBPUSD"}, {"type", 2}, {"volume", 2000}, {"price", 1.0}, {"sl", 0.9}, {"tp", 1.3}}}};

// The uses of the dialog: mode, record, symbol.
struct Use { int mode; const char *record; const char *symbol; };
const QMap<QString, Use> Uses{
    {"new order", {NewOrder, "", "EURUSD"}}, {"modify position", {ModifyPosition, "#BUY", "EURUSD"}},
    {"modify stop limit order", {ModifyOrder, "#STOP", "GBPUSD"}}, {"modify buy limit order", {ModifyOrder, "#LIMIT", "GBPUSD"}},
    {"delete order", {DeleteOrder, "#STOP", "GBPUSD"}}, {"close position", {ClosePosition, "#BUY", "EURUSD"}},
    {"close by hedge", {CloseByHedge, "#BUY", "EURUSD"}}, {"close by hedge, no opposite", {CloseByHedge, "#LONE", "USDJPY"}}};

QJsonObject parse(const QString &text) { return QJsonDocument::fromJson(text.toUtf8()).object(); }

template <class T> T *part(const QWidget *parent, const char *name) { return parent->findChild<T *>(name); }

// Compares "key=value; ..." descriptions; a value part "*" (between commas) matches anything, and
// keys the expectation leaves out are not compared.
QString mismatches(const QMap<QString, QString> &actual, const QString &expected)
{
    QStringList wrong;
    for (const QString &entry : expected.split(QStringLiteral("; "))) {
        const QString key = entry.section(QLatin1Char('='), 0, 0);
        const QStringList want = entry.section(QLatin1Char('='), 1).split(QLatin1Char(','));
        const QStringList have = actual.value(key).split(QLatin1Char(','));
        bool same = want.size() == have.size();
        for (int i = 0; same && i < want.size(); ++i)
            same = want.at(i) == QLatin1String("*") || want.at(i) == have.at(i);
        if (!same)
            wrong << QStringLiteral("%1: %2 (wanted %3)").arg(key, have.join(','), want.join(','));
    }
    return wrong.join(QStringLiteral("; "));
}

QMap<QString, QString> describe(const QWidget *d)
{
    const auto shown = [d](const char *name) { return part<QWidget>(d, name)->isVisibleTo(d) ? "shown" : "hidden"; };
    const auto on = [d](const char *name) { return part<QWidget>(d, name)->isEnabled() ? "on" : "off"; };
    const auto value = [d](const char *name) { return QString::number(part<QDoubleSpinBox>(d, name)->value()); };
    const auto index = [d](const char *name) { return QString::number(part<QComboBox>(d, name)->currentIndex()); };
    const auto both = [&](const char *a, const char *b) { return shown(a) == shown(b) ? shown(a) : "mixed"; };
    auto *opposite = part<QComboBox>(d, "cmbOppositePositions");
    QStringList opposites;
    for (int i = 0; i < opposite->count(); ++i)
        opposites << opposite->itemText(i);
    return {{"title", d->windowTitle()},
            {"place", part<QPushButton>(d, "placeButton")->text() + ',' + shown("placeButton") + ',' + on("placeButton")},
            {"kind", index("orederTypeComboBox") + ',' + on("orederTypeComboBox")},
            {"symbol", on("symbolComboBox")},
            {"pending", index("pendingOrderTypeBox") + ',' + on("pendingOrderTypeBox")},
            {"volume", value("volumeSpinBox") + ',' + on("volumeSpinBox")},
            {"price", value("priceSpinBox") + ',' + both("priceSpinBox", "priceLabel") + ',' + on("priceSpinBox")},
            {"stoplimit", value("stopLimitPriceSpinBox") + ',' + on("stopLimitPriceSpinBox")},
            {"sl", value("stopLossSpinBox") + ',' + on("stopLossSpinBox")},
            {"tp", value("takeprofitSpinBox") + ',' + on("takeprofitSpinBox")},
            {"buysell", both("buyButton", "sellButton")},
            {"opposite", QString(both("lbl_positions", "cmbOppositePositions")) + ',' + opposites.join(' ')},
            {"chart", part<QLabel>(d, "chartTitleLabel")->text()},
            {"chosen", part<QComboBox>(d, "symbolComboBox")->currentText()}};
}

// Sets the fields a "name=value; ..." text names: kind, pending and expiry (index, then seconds
// ahead for "Specified") are box indexes, minimum the volume field's, the others spin-box values.
void fill(QWidget *d, const QString &fields)
{
    const QMap<QString, const char *> names{{"volume", "volumeSpinBox"}, {"price", "priceSpinBox"},
                                            {"stoplimit", "stopLimitPriceSpinBox"}, {"sl", "stopLossSpinBox"},
                                            {"tp", "takeprofitSpinBox"}, {"kind", "orederTypeComboBox"},
                                            {"pending", "pendingOrderTypeBox"}, {"expiry", "expTypeBox"}};
    for (const QString &entry : fields.split(QStringLiteral("; "), Qt::SkipEmptyParts)) {
        const QStringList values = entry.section('=', 1).split(',');
        if (entry.startsWith("minimum="))
            part<QDoubleSpinBox>(d, "volumeSpinBox")->setMinimum(values.first().toDouble());
        else if (auto *spin = d->findChild<QDoubleSpinBox *>(names.value(entry.section('=', 0, 0))))
            spin->setValue(values.first().toDouble());
        else
            part<QComboBox>(d, names.value(entry.section('=', 0, 0)))->setCurrentIndex(values.first().toInt());
        if (values.size() > 1)
            part<QDateTimeEdit>(d, "expDateTimeEdit")->setDateTime(QDateTime::currentDateTime().addSecs(values.at(1).toInt()));
    }
}

} // namespace

class TestOrderEntry : public QObject
{
    Q_OBJECT

    corvane_test::LoggedInWindow w;
    QString sessionOf; // the test function that started the running session
    QMap<QString, qint64> tickets;
    int quotes = 0;

    void startSession(bool show = false)
    {
        const auto seed = [this](simbroker::SimTradeServer &s) {
            s.setNextTicket(5000000001LL);
            for (const auto &[tag, record] : Records)
                tickets[tag] = record.value("type").isString() ? s.addPosition(Account, record) : s.addOrder(Account, record);
        };
        QVERIFY(w.start(Account, seed, {"secret", 100000.0, "Jane Trader", QHostAddress::LocalHost, true, show}));
        QTRY_VERIFY_WITH_TIMEOUT(w.window->getPendingOrder(tickets["#LIMIT"]).ticket == tickets["#LIMIT"], MustHappenMs);
        QTRY_VERIFY_WITH_TIMEOUT(!w.window->getTick("USDJPY").symbol.isEmpty(), MustHappenMs);
        QTRY_VERIFY_WITH_TIMEOUT(part<QComboBox>(dialog(), "symbolComboBox")->count() > 0, MustHappenMs);
        w.server->clearReceivedFrames();
        sessionOf = QString::fromLatin1(QTest::currentTestFunction());
    }
    // One session for all rows of a test; the server's answers never come, so no row changes the account.
    void shareSession(bool show = false)
    {
        if (!w.window || sessionOf != QLatin1String(QTest::currentTestFunction()))
            startSession(show);
        w.server->setReplyDelay(600000);
        w.server->clearReceivedFrames();
    }
    New_Order *dialog() const { return w.window->findChild<New_Order *>(); }
    QString withTickets(QString text) const
    {
        for (auto it = tickets.cbegin(); it != tickets.cend(); ++it)
            text.replace(it.key(), QString::number(it.value()));
        return text.replace("#ACCOUNT", QString::number(Account));
    }
    void prepare(New_Order *dlg, const QString &use)
    {
        dlg->setCurrentSymbol(QString::fromLatin1(Uses.value(use).symbol));
        dlg->setMode(Uses.value(use).mode, tickets.value(QLatin1String(Uses.value(use).record)));
    }
private slots:
    void cleanupTestCase() { w.stop(); }

    // Ticks "NAME[xN]@t0[,step][*count]" (N symbols NAME0.. in turn, count ticks each, times
    // t0 + k * step s) keep per symbol "NAME=count:first..last" by the ticks' order of sending,
    // or "PREFIX*=count x symbols,..". Whatever a symbol keeps must be its newest ticks, times,
    // bids and asks index for index.
    void tickWindow_data()
    {
        QTest::addColumn<QString>("ticks");
        QTest::addColumn<int>("symbolCap");
        QTest::addColumn<int>("totalCap");
        QTest::addColumn<QString>("kept");
        const int symbolCap = TickWindow::SymbolCap, totalCap = TickWindow::TotalCap;
        QTest::newRow("200 s apart, all kept") << "A@0,100*3" << symbolCap << totalCap << "A=3:0..2";
        QTest::newRow("201 s on, the oldest goes") << "A@0,100*3 A@201" << symbolCap << totalCap << "A=3:1..3";
        QTest::newRow("a jump, only the newest stays") << "A@0,1*3 A@500" << symbolCap << totalCap << "A=1:3..3";
        QTest::newRow("fractions of a second") << "A@10.25 A@210.25 A@210.5" << symbolCap << totalCap << "A=2:1..2";
        QTest::newRow("clock standing still") << "A@0*10005" << symbolCap << totalCap << "A=10000:5..10004";
        QTest::newRow("a steady clock, the dropped released") << "A@0,1*300" << symbolCap << totalCap << "A=201:99..299";
        QTest::newRow("clock standing still, the dropped released") << "A@0*12600" << symbolCap << totalCap
                                                                     << "A=10000:2600..12599";
        QTest::newRow("clock running back") << "A@1000,-1*10005" << symbolCap << totalCap << "A=10000:5..10004";
        QTest::newRow("clock an hour back, the window starts again") << "A@3600,0.5*1000 A@500,0.5*2" << symbolCap
                                                                       << totalCap << "A=2:1000..1001";
        QTest::newRow("a step back within the window keeps it") << "A@1000,1*10 A@809,1*3" << symbolCap << totalCap
                                                                  << "A=13:0..12";
        QTest::newRow("a step back left first by the symbol cap") << "A@250 A@60 A@270" << 2 << totalCap << "A=2:1..2";
        QTest::newRow("a step back past the window frees room in the total") << "A@1000*4 B@1000*2 A@0 C@0*3 D@0" << 4 << 6
                                                                               << "A=1:6..6 B=2:4..5 C=2:8..9 D=1:10..10";
        QTest::newRow("the symbol cap is each symbol's")
            << "A@0*10001 B@0*3" << symbolCap << totalCap << "A=10000:1..10000 B=3:10001..10003";
        QTest::newRow("under the total cap, nothing goes") << "A@0*3 B@0*3" << 4 << 6 << "A=3:0..2 B=3:3..5";
        QTest::newRow("at the total cap, the largest gives way") << "A@0*4 B@0*2 C@0*2" << 4 << 6
                                                                   << "A=2:2..3 B=2:4..5 C=2:6..7";
        QTest::newRow("the appended symbol gives way when largest") << "A@0*3 B@0*3 A@0*2" << 4 << 6
                                                                       << "A=3:2..7 B=3:3..5";
        QTest::newRow("a symbol losing its last tick goes") << "A@0 B@0 C@0 D@0" << 4 << 3
                                                              << "A=1:0..0 B=1:1..1 D=1:3..3";
        QTest::newRow("total cap over many symbols") << "Sx100@0*10000 NEW@0*5" << symbolCap << totalCap
                                                     << "NEW=5:1000000..1000004 S*=10000x95,9999x5";
    }
    void tickWindow()
    {
        QFETCH(QString, ticks);
        QFETCH(int, symbolCap);
        QFETCH(int, totalCap);
        QFETCH(QString, kept);
        TickWindow::History history(symbolCap, totalCap);
        QMap<QString, QVector<int>> sent; // per symbol, the numbers of its ticks
        QVector<double> timeOf;
        const QRegularExpression token(QStringLiteral("^([A-Z]+)(?:x(\\d+))?@(-?[\\d.]+)(?:,(-?[\\d.]+))?(?:\\*(\\d+))?$"));
        for (const QString &text : ticks.split(' ')) {
            const QRegularExpressionMatch m = token.match(text);
            QVERIFY2(m.hasMatch(), qPrintable(text));
            const int symbols = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
            for (int n = 0; n < std::max(symbols, 1); ++n) {
                const QString name = m.captured(1) + (symbols ? QString::number(n) : QString());
                for (int k = 0; k < (m.captured(5).isEmpty() ? 1 : m.captured(5).toInt()); ++k) {
                    const double time = m.captured(3).toDouble() + k * m.captured(4).toDouble();
                    const int number = timeOf.size();
                    history.append(name, time, number, number + 0.5, 5);
                    sent[name] << number;
                    timeOf << time;
                }
            }
        }
        QStringList described, others;
        QMap<QString, QMap<int, int>> countsUnder; // prefix -> count -> symbols
        for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
            const TickWindow::Series *series = history.find(it.key());
            if (!series)
                continue;
            const QVector<double> times = series->times(), bids = series->bids(), asks = series->asks();
            const QVector<int> newest = it->mid(it->size() - series->size());
            for (int i = 0; i < newest.size(); ++i)
                QVERIFY2(bids.at(i) == newest.at(i) && asks.at(i) == newest.at(i) + 0.5 && times.at(i) == timeOf.at(newest.at(i)),
                         qPrintable(it.key()));
            // The newest tick in view whatever the clock did; ticks in order within the span keep
            // the oldest at the left edge.
            const TickWindow::Range range = TickWindow::timeRange(times);
            QCOMPARE(range.upper - range.lower, 205.0);
            QVERIFY2(range.lower <= times.last() && times.last() <= range.upper - 5.0, qPrintable(it.key()));
            if (std::is_sorted(times.cbegin(), times.cend()) && times.last() - times.first() <= TickWindow::Span)
                QCOMPARE(range.lower, times.first());
            const QString prefix = kept.contains(it.key().left(1) + "*=") ? it.key().left(1) : QString();
            if (!prefix.isEmpty())
                ++countsUnder[prefix][series->size()];
            else
                (kept.contains(it.key() + '=') ? described : others)
                    << QStringLiteral("%1=%2:%3..%4").arg(it.key()).arg(series->size()).arg(newest.first()).arg(newest.last());
        }
        for (auto it = countsUnder.cbegin(); it != countsUnder.cend(); ++it) {
            QStringList counts;
            for (auto c = it->cend(); c != it->cbegin();) {
                --c;
                counts << QStringLiteral("%1x%2").arg(c.key()).arg(c.value());
            }
            described << it.key() + "*=" + counts.join(',');
        }
        QCOMPARE((described + others).join(' '), kept);
        QVERIFY(history.total() <= totalCap);
    }

    // Each use from a fresh dialog and after every other use, the trader having typed a volume
    // and prices in a New Order first: what its mode names must be so whatever came before, and a
    // New Order gets back what the trader typed, never a position's or an order's volume or prices.
    void modes_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("use");
        QTest::addColumn<QString>("expected");
        const QMap<QString, QString> expected = {
            {"new order", "title=New Order; place=Place,hidden,on; kind=0,on; symbol=on; pending=*,on; volume=0.1,on; "
                          "price=1.02,hidden,on; sl=1.01,on; tp=1.3,on; buysell=shown; opposite=hidden,*"},
            {"modify stop limit order", "title=Order; place=Modify Order ##STOP,shown,on; kind=1,off; symbol=off; "
                                        "pending=5,off; volume=0.3,off; price=1.1,shown,on; stoplimit=1.09,on; "
                                        "sl=1.15,on; tp=1,on; buysell=hidden; opposite=hidden,*"},
            {"modify buy limit order", "place=Modify Order ##LIMIT,shown,on; pending=0,off; volume=0.2,off; "
                                       "price=1,shown,on; stoplimit=0,on; sl=0.9,on; tp=1.3,on"},
            {"modify position", "title=Position; place=Modify Position ##BUY,shown,on; kind=0,off; symbol=off; "
                                "volume=0.57,off; price=1.1,shown,off; sl=1.05,on; tp=1.2,on; buysell=hidden"},
            {"delete order", "title=Order; place=Delete Order ##STOP,shown,on; kind=1,off; pending=5,off; "
                             "volume=0.3,off; price=1.1,shown,off; stoplimit=1.09,off; sl=1.15,off; tp=1,off"},
            {"close position", "title=Position; place=Close Position ##BUY,shown,on; kind=0,off; symbol=off; "
                               "volume=0.57,*; price=1.1,shown,off; sl=1.05,off; tp=1.2,off; buysell=hidden; "
                               "opposite=hidden,*"},
            {"close by hedge", "title=Close By Hedge; place=Close Position By Hedge ##BUY,shown,on; "
                               "volume=0.57,*; sl=1.05,off; buysell=hidden; opposite=shown,#SELL"},
            {"close by hedge, no opposite", "place=Close Position By Hedge ##LONE,shown,off; volume=0.1,*; "
                                            "price=150,shown,off; sl=0,off; opposite=shown,"},
        };
        for (const QString &before : QStringList{"fresh dialog"} + Uses.keys())
            for (auto it = expected.cbegin(); it != expected.cend(); ++it)
                QTest::addRow("%s after %s", qPrintable(it.key()), qPrintable(before)) << before << it.key() << it.value();
    }
    void modes()
    {
        QFETCH(QString, before);
        QFETCH(QString, use);
        QFETCH(QString, expected);
        shareSession();
        New_Order dlg(w.client.get(), w.window.get());
        dlg.setSymbolList(w.window->symbolStorage()->allSymbols());
        prepare(&dlg, "new order");
        fill(&dlg, "volume=0.1; price=1.02; sl=1.01; tp=1.3");
        if (Uses.contains(before))
            prepare(&dlg, before);
        prepare(&dlg, use);
        const QString wrong = mismatches(describe(&dlg), withTickets(expected));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    // A close prepared before its symbol has a quote is set up whole but cannot be sent until
    // a quote gives the volume limits: the use, then the form before and after the quote.
    void closeWaitsForQuote()
    {
        for (const auto &[use, before, after] : {
                 std::tuple("close position", "title=Position; place=Close Position ##BUY,shown,off; volume=0.57,*; "
                            "price=1.1,shown,off; buysell=hidden", "place=Close Position ##BUY,shown,on; volume=0.57,*"),
                 std::tuple("close by hedge", "title=Close By Hedge; place=Close Position By Hedge ##BUY,shown,off; "
                            "opposite=shown,#SELL", "place=Close Position By Hedge ##BUY,shown,on")}) {
            startSession();
            prepare(dialog(), "modify stop limit order"); // a half-done close would keep its title and Place text
            w.window->symbolStorage()->clear();          // no quote of any symbol is stored now
            prepare(dialog(), use);
            QString wrong = mismatches(describe(dialog()), withTickets(before));
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            w.server->setPrice("GBPUSD", 1.2, 1.2002); // another symbol's quote changes nothing
            w.server->setPrice("EURUSD", 1.08, 1.0802);
            QTRY_COMPARE_WITH_TIMEOUT(w.window->getTick("EURUSD").symbol, QStringLiteral("EURUSD"), MustHappenMs);
            wrong = mismatches(describe(dialog()), withTickets(after));
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
    }

    // What the server receives for each button, after a use and the fields the row sets. A
    // quote's volume limits (1/10000 lot) that make no sense are ignored: the field keeps its
    // step and decimals, and no request leaves with volume 0. No key sends a request, in any mode
    // and in the one-click panel: Return and Enter in the volume field and on every button.
    // In an outage (the server closed) a press is refused at once, with the failure sound of a
    // refused order, and nothing is sent, then or after the client has logged in again.
    void requests_data()
    {
        QTest::addColumn<QString>("use");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("sent"); // empty: nothing; in an outage, the journal line instead
        const QString market = R"({"login":#ACCOUNT,"order_type":%1,"req_code":4,"symbol":"EURUSD","type":0,"volume":%2%3})";
        QTest::newRow("buy 0.5, take profit only") << "new order" << "volume=0.5; sl=0; tp=1.2" << "buy"
                                                   << market.arg(0).arg(5000).arg(R"(,"tp":1.2)");
        QTest::newRow("sell 0.57, stop loss only") << "new order" << "volume=0.57; sl=1.2; tp=0" << "sell"
                                                   << market.arg(1).arg(5700).arg(R"(,"sl":1.2)");
        for (const char *limits : {"step_vol:0", "step_vol:-100", "step_vol:NaN", "min_vol:50000,max_vol:100", "min_vol:0,max_vol:-5"})
            QTest::addRow("quote %s, buy 0.25", limits) << "new order" << QString("quote=%1; volume=0.25; sl=0; tp=0").arg(limits)
                                                     << "buy" << market.arg(0).arg(2500).arg("");
        QTest::newRow("0 lots") << "new order" << "minimum=0; volume=0" << "buy" << "";
        const QString pending = R"({"login":#ACCOUNT,"order_id":0,"order_type":%1,"price":1.01,"req_code":4,"sl":0,)"
                                R"("symbol":"EURUSD","t_time":%2,"tp":0,"type":0,"volume":1000%3})";
        const QString limit = "kind=1; volume=0.1; price=1.01; sl=0; tp=0; pending=";
        QTest::newRow("buy limit, GTC") << "new order" << limit + "0; expiry=0" << "place" << pending.arg(2).arg(0).arg("");
        QTest::newRow("sell stop limit adds its price") << "new order" << limit + "5; stoplimit=1.02; expiry=0" << "place"
                                                        << pending.arg(7).arg(0).arg(R"(,"s_price":1.02)");
        QTest::newRow("specified 90 s ahead") << "new order" << limit + "0; expiry=2,90" << "place"
                                              << pending.arg(2).arg(2).arg(R"(,"exp_mins":1)");
        QTest::newRow("specified in the past") << "new order" << limit + "0; expiry=2,-600" << "place"
                                               << pending.arg(2).arg(2).arg("");
        const QString place = R"({"login":#ACCOUNT,"order_id":%1,"order_type":%2,"price":1.1,"req_code":4,%3"sl":%4,)"
                              R"("symbol":"%5","t_time":0,"tp":%6,"type":%7,"volume":%8})";
        const QString close = place.arg("#BUY", "2", "", "1.05", "EURUSD", "1.2", "4", "5700");
        QTest::newRow("close position") << "close position" << "pending=0; expiry=0" << "place" << close;
        QTest::newRow("close after a quote with step 0") << "close position" << "quote=step_vol:0; pending=0; expiry=0"
                                                         << "place" << close;
        QTest::newRow("close by hedge") << "close by hedge" << "pending=0; expiry=0" << "place"
            << place.arg("#BUY", "2", R"("position_by_id":#SELL,"position_id":#BUY,)", "1.05", "EURUSD", "1.2", "10", "5700");
        QTest::newRow("modify stop limit order") << "modify stop limit order" << "sl=1.16; expiry=0" << "place"
                                                 << place.arg("#STOP", "7", R"("s_price":1.09,)", "1.16", "GBPUSD", "1", "1", "3000");
        QTest::newRow("delete order") << "delete order" << "expiry=0" << "place"
                                      << place.arg("#STOP", "7", "", "1.15", "GBPUSD", "1", "3", "3000");
        QTest::newRow("modify position, its symbol not listed") << "modify position" << "list=GBPUSD,USDJPY; pending=0; expiry=0"
                                                                << "place" << place.arg("#BUY", "2", "", "1.05", "EURUSD", "1.2", "2", "5700");
        QTest::newRow("buy after a position whose symbol is not listed") << "modify position then new order"
            << "list=GBPUSD,USDJPY; volume=0.5; sl=0; tp=0" << "buy"
            << R"({"login":#ACCOUNT,"order_type":0,"req_code":4,"symbol":"GBPUSD","type":0,"volume":5000})";
        for (const QString &use : Uses.keys() + QStringList{"one-click panel"})
            QTest::addRow("keys, %s", qPrintable(use)) << use << "" << "keys" << "";
        QTest::newRow("keys, pending new order") << "new order" << "kind=1" << "keys" << "";
        const QString unsent = ": not sent, no connection to the trade server";
        QTest::newRow("buy in an outage") << "new order" << "outage; volume=0.5; sl=0; tp=0" << "buy" << "Buy 0.50 EURUSD" + unsent;
        QTest::newRow("close position in an outage") << "close position" << "outage; pending=0; expiry=0" << "place"
                                                     << "Close Position ##BUY" + unsent;
        QTest::newRow("one-click buy in an outage") << "one-click panel" << "outage; volume=0.2" << "buy" << "Buy 0.20 EURUSD" + unsent;
    }
    void requests()
    {
        QFETCH(QString, use);
        QFETCH(QString, fields);
        QFETCH(QString, button);
        QFETCH(QString, sent);
        const bool outage = fields.startsWith("outage");
        if (outage) { // the login after it shows what earlier rows did at the server
            startSession(true);
            fields = fields.section("; ", 1);
        }
        shareSession(true);
        QWidget *form = dialog();
        if (use == "one-click panel") {
            form = w.window->findChild<OneClickTradingButtons *>();
        } else if (fields.startsWith("quote=")) {
            QJsonObject quote{{"res_code", 2}, {"symbol", "EURUSD"}, {"bid", 1.08 + ++quotes * 1e-5}, {"ask", 1.09},
                              {"digits", 5}, {"min_vol", 100}, {"max_vol", 1000000}, {"step_vol", 100}};
            for (const QString &limit : fields.section("; ", 0, 0).mid(6).split(','))
                quote.insert(limit.section(':', 0, 0), limit.section(':', 1) == "NaN" ? QJsonValue("NaN") : limit.section(':', 1).toInt());
            w.server->sendJson(quote);
            QTRY_COMPARE_WITH_TIMEOUT(w.window->getTick("EURUSD").bid, quote.value("bid").toDouble(), MustHappenMs);
            dialog()->setCurrentSymbol("GBPUSD"); // the quote's limits apply when EURUSD is chosen
            fields = fields.section("; ", 1);
        } else if (fields.startsWith("list=")) {
            dialog()->setSymbolList(fields.section("; ", 0, 0).mid(5).split(','));
            fields = fields.section("; ", 1);
        }
        const auto relist = qScopeGuard([this] { dialog()->setSymbolList(w.window->symbolStorage()->allSymbols()); });
        if (form == dialog())
            for (const QString &step : use.split(" then "))
                prepare(dialog(), step);
        form->show();
        fill(form, fields);
        QSignalSpy sounds(w.window.get(), &Client_Terminal::soundPlayed);
        if (outage) {
            QVERIFY(w.loseConnection(true));
            w.windowJournal.clear();
        }
        if (button == "keys") {
            form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(form->window()));
            for (const char *name : {"volumeSpinBox", "buyButton", "sellButton", "placeButton"}) {
                if (auto *target = form->findChild<QWidget *>(QLatin1String(name))) {
                    target->setFocus();
                    QTest::keyClick(target, Qt::Key_Return);
                    QTest::keyClick(target, Qt::Key_Enter);
                }
            }
        } else {
            QTest::mouseClick(part<QPushButton>(form, qPrintable(button + "Button")), Qt::LeftButton);
        }
        if (outage) {
            if (form == dialog()) {
                const QString wrong = mismatches(describe(form), "place=OK,shown,on; buysell=hidden");
                QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
                QCOMPARE(part<QLabel>(form, "responseLabel")->text(), "No connection to the trade server: the request was not sent");
            }
            QCOMPARE(sounds.count({":/sound/trade.wav"}), 1);
            QCOMPARE(w.windowJournal, QStringList(withTickets(sent)));
            QVERIFY(w.awaitRelogin());
            sent.clear();
        }
        if (sent.isEmpty()) {
            w.settle();
            QCOMPARE(w.requests(4), QStringList());
            return form->hide();
        }
        QCOMPARE(part<QLabel>(form, "responseLabel")->text(), QStringLiteral("Please wait while request sending..."));
        QTRY_COMPARE_WITH_TIMEOUT(w.requests(4).size(), 1, MustHappenMs);
        QCOMPARE(parse(w.requests(4).first()), parse(withTickets(sent)));
    }

    // A login to another account, server or address ends the dialog's use: nothing prepared for
    // the old account's ticket can be sent under the new login.
    void accountSwitchEndsTheUse_data()
    {
        QTest::addColumn<QString>("use");
        for (const char *use : {"modify stop limit order", "modify position", "delete order", "close position", "close by hedge"})
            QTest::newRow(use) << use;
        QTest::newRow("close position, same account on another server") << "close position";
        QTest::newRow("close position, relogin to the same account and server name at another address") << "close position";
    }
    void accountSwitchEndsTheUse()
    {
        QFETCH(QString, use);
        const bool relogin = QByteArray(QTest::currentDataTag()).endsWith("another address");
        const bool otherServer = relogin || QByteArray(QTest::currentDataTag()).endsWith("another server");
        startSession();
        prepare(dialog(), use);
        dialog()->show();
        simbroker::SimTradeServer other;
        simbroker::SimTradeServer *target = otherServer ? &other : w.server.get();
        QVERIFY(!otherServer || other.listen(QHostAddress::LocalHost, 0));
        target->addAccount(Account + !otherServer, "other", 500.0);
        if (relogin) { // the login dialog's only "Sim" entry now names the other server
            auto *login = w.window->findChild<LoginDialog *>();
            login->clearServers();
            login->addServer("Sim", other.address());
            w.window->relogin(Account, "other", "Sim");
            QVERIFY(!dialog()->isVisible()); // before the new login is answered
        } else {
            QVERIFY(w.client->connectToServer(target->url().toString(), Account + !otherServer, "other", otherServer ? "Sim2" : "Sim"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!target->receivedRequests(4).isEmpty(), MustHappenMs); // the window's refresh after the login
        QVERIFY(!dialog()->isVisible());
        part<QPushButton>(dialog(), "placeButton")->click();
        w.settle(target);
        const QString oldTicket = QString("\"order_id\":%1").arg(tickets.value(QLatin1String(Uses.value(use).record)));
        for (const auto &frame : target->receivedFrames())
            QVERIFY2(!frame.text.contains(oldTicket), qPrintable(frame.text));
    }

    // The first trade reply while the dialog waits settles its request; the refresh follows
    // replies of closes (4), of type 6 and of close all (9) with a status above 0, once for each
    // request the dialog sent however many such replies come. A request left unanswered or a
    // failure acknowledged never swallows the next use's request. A connection lost while the
    // server holds the answer ends the wait: no reply on the next connection answers it, and
    // nothing is sent again.
    void replies_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("times");
        QTest::addColumn<QString>("shownText"); // "hidden" when the dialog is
        QTest::addColumn<int>("refreshes");
        QTest::newRow("done close") << R"({"status":10009,"type":4,"msg":"Done"})" << 1 << "hidden" << 1;
        QTest::newRow("done close, not waiting") << R"({"status":10009,"type":4})" << 1 << "" << 0;
        QTest::newRow("failure with a reason") << R"({"status":10019,"type":0,"msg":"No money","fail_reason":"Margin"})"
                                               << 1 << "No money - Margin" << 0;
        QTest::newRow("failed close, no reason") << R"({"status":10006,"type":4,"msg":"Rejected","fail_reason":""})" << 1 << "Rejected" << 1;
        QTest::newRow("failed close all") << R"({"status":10006,"type":9,"msg":"Rejected"})" << 1 << "Rejected" << 1;
        QTest::newRow("type 6") << R"({"status":10006,"type":6,"msg":"x"})" << 1 << "x" << 1;
        QTest::newRow("status 0") << R"({"status":0,"type":4,"msg":"odd"})" << 1 << "odd" << 0;
        QTest::newRow("no reply") << "{}" << 0 << "Please wait while request sending..." << 0;
        QTest::newRow("flood of failed closes") << R"({"status":10006,"type":4,"msg":"Rejected"})" << 1000 << "Rejected" << 1;
        QTest::newRow("connection lost before the answer") << "lost" << 0 << "Connection lost before the server answered: check the Trade tab for the result" << 0;
    }
    void replies()
    {
        const bool waiting = !QByteArray(QTest::currentDataTag()).endsWith("not waiting");
        QFETCH(QString, reply);
        QFETCH(int, times);
        QFETCH(QString, shownText);
        QFETCH(int, refreshes);
        const bool lost = reply == "lost";
        shareSession();
        New_Order *dlg = dialog();
        prepare(dlg, "new order");
        dlg->show();
        if (waiting) {
            part<QPushButton>(dlg, "buyButton")->click();
            QTRY_COMPARE_WITH_TIMEOUT(w.trades(0).size(), 1, MustHappenMs);
        }
        w.server->clearReceivedFrames();
        QSignalSpy sounds(w.window.get(), &Client_Terminal::soundPlayed);
        QJsonObject response = parse(reply);
        response.insert("res_code", 7);
        for (int i = 0; i < times; ++i)
            w.server->sendJson(response);
        QTRY_COMPARE_WITH_TIMEOUT(sounds.count(), times, MustHappenMs);
        w.windowJournal.clear();
        if (lost) { // a result on the next connection answers a request of that one
            QVERIFY(w.loseConnection(false) && w.awaitRelogin());
            QSignalSpy results(w.client.get(), &TradeClient::tradeResponseReceived);
            w.server->sendJson({{"res_code", 7}, {"status", 10009}, {"type", 0}});
            QVERIFY(results.wait(MustHappenMs));
        }
        QCoreApplication::processEvents(); // the dialog's copy of the reply follows the window's
        auto *text = part<QLabel>(dlg, "responseLabel");
        QCOMPARE(!dlg->isVisible() ? QStringLiteral("hidden") : text->isVisibleTo(dlg) ? text->text() : QString(), shownText);
        QCOMPARE(part<QLabel>(dlg, "rateLabel")->isVisibleTo(dlg), !waiting || shownText == "hidden");
        auto *place = part<QPushButton>(dlg, "placeButton");
        if (waiting && (times > 0 || lost) && dlg->isVisible()) {
            QCOMPARE(place->text(), QStringLiteral("OK"));
            place->click(); // acknowledges, sends nothing
            QVERIFY(!dlg->isVisible());
        }
        if (lost)
            QCOMPARE(w.windowJournal, QStringList("Buy 0.01 EURUSD: connection lost before the server answered, "
                                                  "check the Trade tab for the result"));
        w.settle();
        QCOMPARE(w.trades(0), QStringList());
        QCOMPARE(w.trades(5).size(), refreshes);
        QVERIFY(refreshes == 0 || w.trades(5).first() == withTickets(R"({"login":#ACCOUNT,"req_code":4,"type":5})"));
        dlg->close();
        w.part<QAction>("actionNew_Order")->trigger();
        QVERIFY(dlg->isVisible() && !text->isVisibleTo(dlg));
        fill(dlg, "kind=1; price=1.01");
        place->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.trades(0).size(), 1, MustHappenMs);
    }

    // Every place of the main window that opens the dialog, and what it prepares; the trade
    // table's menu acts on the row right-clicked even when a positions reply (of the records
    // `kept`) rebuilds the table while the menu is open, and on nothing that is gone by then.
    // F9 after a login, with the target row chosen and the dialog last used for USDJPY: the
    // client's own reconnection keeps the row while the server still lists it, and the focus, the
    // active chart and every chart's place, reopening no chart closed during the outage; any
    // other login leaves no row chosen, so F9 keeps the dialog's symbol, or takes that of the
    // chart a new connection restored last, which is the active one. After the trader's own moves
    // (how: "F9 once the trader moved: ..."), F9 opens what they clicked last, a row or a chart,
    // and the chart they clicked stays the active one whatever Qt does with the focus.
    void openedFromWindow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("target"); // a market-watch symbol or a trade-table ticket
        QTest::addColumn<QString>("kept");
        QTest::addColumn<QString>("expected"); // empty: no dialog
        const QString all = "#BUY #SELL #LONE";
        QTest::newRow("F9") << "F9" << "GBPUSD" << all << "title=New Order; place=Place,hidden,on; symbol=on; chart=Tick Chart: GBPUSD";
        QTest::newRow("market watch double-click") << "double-click" << "USDJPY" << all << "chart=Tick Chart: USDJPY; chosen=USDJPY";
        QTest::newRow("market watch menu") << "New Order" << "XAUUSD" << all << "title=New Order; chosen=XAUUSD";
        QTest::newRow("position double-click") << "double-click" << "#BUY" << all << "place=Close Position ##BUY,shown,on; chosen=EURUSD";
        QTest::newRow("order double-click") << "double-click" << "#STOP" << all << "title=Order; place=Modify Order ##STOP,shown,on";
        QTest::newRow("Close By Hedge") << "Close By Hedge" << "#BUY" << all << "place=Close Position By Hedge ##BUY,shown,on; opposite=shown,#SELL";
        QTest::newRow("Modify Position") << "Modify Position" << "#BUY" << all << "place=Modify Position ##BUY,shown,on";
        QTest::newRow("Delete Order") << "Delete Order" << "#STOP" << all << "place=Delete Order ##STOP,shown,on";
        QTest::newRow("Modify Order") << "Modify Order" << "#LIMIT" << all << "place=Modify Order ##LIMIT,shown,on";
        QTest::newRow("Close Position") << "Close Position" << "#BUY" << all << "place=Close Position ##BUY,shown,on";
        QTest::newRow("its row moved up") << "Close Position" << "#SELL" << "#SELL #LONE" << "place=Close Position ##SELL,shown,on";
        QTest::newRow("closed meanwhile") << "Close Position" << "#BUY" << "#SELL #LONE" << "";
        QTest::newRow("its row became an order") << "Modify Position" << "#LONE" << "#BUY" << "";
        QTest::newRow("F9 after a reconnection") << "F9 after a reconnection" << "EURGBP" << all
                                                 << "chosen=EURGBP; highlighted=EURGBP";
        QTest::newRow("F9 after a reconnection, the row clicked among open charts")
            << "F9 after a reconnection, clicked" << "EURGBP" << all
            << "chosen=EURGBP; highlighted=EURGBP; focus=market watch; active=kept; charts=unmoved";
        QTest::newRow("F9 after a reconnection, a chart closed and a symbol hidden in the outage")
            << "F9 after a reconnection, one chart closed" << "EURGBP" << all
            << "chosen=EURGBP; active=kept; charts=unmoved; XAUUSD=hidden";
        QTest::newRow("F9 after a reconnection whose list leaves the symbol out")
            << "F9 after a reconnection, unlisted" << "EURGBP" << all << "chosen=USDJPY; highlighted=";
        QTest::newRow("F9 after a login to another account") << "F9 after another account" << "EURGBP" << all
                                                             << "chosen=USDJPY; highlighted=";
        QTest::newRow("F9 after switching to another account, refused, and back")
            << "F9 after another account refused" << "EURGBP" << all << "chosen=USDCHF; highlighted=";
        const QStringList pages{"Trade", "History", "Net Trade", "Journal"};
        for (const QString &page : pages)
            for (const QString &tab : pages)
                if (tab != page)
                    QTest::addRow("%s left for %s", qPrintable(page), qPrintable(tab))
                        << "F9 once the trader moved: chart 2; row; page " + page + "; tab " + tab << "EURJPY" << all
                        << "chosen=EURJPY; active=kept";
        QTest::newRow("Toolbox hidden and shown, the focus in the Journal")
            << "F9 once the trader moved: chart 2; row; page Journal; view Toolbox; view Toolbox" << "USDCAD" << all
            << "chosen=USDCAD; active=kept";
        QTest::newRow("Markets hidden and shown, the focus in the market watch")
            << "F9 once the trader moved: tab Trade; chart 2; row; view Markets; view Markets" << "AUDUSD" << all
            << "chosen=AUDUSD; active=kept";
        QTest::newRow("the highlighted row clicked after a chart") << "F9 once the trader moved: row; chart 3; row"
                                                                    << "USDCAD" << all << "chosen=USDCAD; active=kept";
        QTest::newRow("the active chart clicked after a row") << "F9 once the trader moved: chart 2; row; chart 2"
                                                               << "EURJPY" << all << "chosen=USDJPY; active=kept";
    }
    void openedFromWindow()
    {
        QFETCH(QString, how);
        QFETCH(QString, target);
        QFETCH(QString, kept);
        QFETCH(QString, expected);
        const bool logsIn = how.startsWith("F9 after");
        logsIn ? startSession(true) : shareSession(true);
        const auto sendPositions = [this](const QString &tags) {
            QJsonArray positions;
            for (auto [tag, record] : Records) {
                record.insert("ticket", tickets.value(tag));
                if (tags.contains(tag))
                    positions << record;
            }
            w.server->sendJson({{"res_code", 4}, {"balance", 100000.0}, {"is_last", 1}, {"array", positions}});
            auto *table = w.part<QTableWidget>("tradeTableWidget");
            QVERIFY(QTest::qWaitFor([&] { return table->rowCount() == positions.size() + 2; }, MustHappenMs));
        };
        sendPositions("#BUY #SELL #LONE");
        dialog()->hide();
        w.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        const bool tradeRow = target.startsWith('#');
        auto *table = w.part<QTableWidget>(tradeRow ? "tradeTableWidget" : "symbolTableWidget");
        const QList<QTableWidgetItem *> found = table->findItems(withTickets(target), Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        if (logsIn)
            dialog()->setCurrentSymbol("USDJPY");
        const QRect cell = table->visualRect(table->model()->index(found.first()->row(), 2));
        auto *area = w.part<QMdiArea>("graphArea");
        const QMdiSubWindow *clickedChart = nullptr;
        if (how.contains(": ")) { // from the first chart active and no row highlighted
            area->setActiveSubWindow(area->subWindowList(QMdiArea::CreationOrder).first());
            table->selectionModel()->clearCurrentIndex();
            table->clearSelection();
        }
        auto *tabs = w.part<QTabWidget>("tabWidget_3");
        for (const QString &move : how.section(": ", 1).split("; ", Qt::SkipEmptyParts)) {
            const QString name = move.section(' ', 1);
            if (move.startsWith("chart ")) {
                clickedChart = area->subWindowList(QMdiArea::CreationOrder).at(name.toInt());
                QTest::mouseClick(clickedChart->widget(), Qt::LeftButton, {}, QPoint(80, 80));
            } else if (move == "row") {
                QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
            } else if (move.startsWith("view ")) { // the View menu's entry, the window staying active as on X11
                const QList<QAction *> entries = w.part<QMenu>("menuView")->actions();
                const auto entry = std::find_if(entries.cbegin(), entries.cend(), [&](QAction *a) { return a->text() == name; });
                QVERIFY(entry != entries.cend());
                (*entry)->trigger();
            } else { // "tab NAME" clicks the Toolbox's tab; "page NAME" then clicks into its table
                auto *bar = tabs->findChild<QTabBar *>();
                int index = 0;
                while (index < bar->count() && bar->tabText(index) != name)
                    ++index;
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
                QCOMPARE(tabs->currentIndex(), index);
                for (QTableWidget *inPage : tabs->currentWidget()->findChildren<QTableWidget *>())
                    if (move.startsWith("page ") && inPage->isVisible())
                        QTest::mouseClick(inPage->viewport(), Qt::LeftButton, {}, QPoint(20, 8));
                QVERIFY(!move.startsWith("page ") || tabs->currentWidget()->isAncestorOf(QApplication::focusWidget()));
            }
        }
        if (how.endsWith("clicked")) // as the trader's click leaves it: the focus in the market watch
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        else if (!how.contains(": "))
            table->setCurrentCell(found.first()->row(), 0);
        // The charts as the trader left them: which is active, and where each stands.
        const QMdiSubWindow *active = clickedChart ? clickedChart : area->activeSubWindow();
        const auto places = [area] {
            QList<QRect> rects;
            for (const QMdiSubWindow *sub : area->subWindowList(QMdiArea::CreationOrder))
                rects << sub->geometry();
            return rects;
        };
        QList<QRect> placed = places();
        if (logsIn) {
            sessionOf.clear(); // the next row starts a session of its own
            simbroker::SimTradeServer *server = w.server.get();
            QSignalSpy lists(w.window->symbolStorage(), &SymbolDataStorage::symbolSettingChanged);
            if (how.contains("reconnection")) { // the list follows the login reply, as the server's own does
                QJsonArray listed;
                for (const QJsonValue symbol : server->market().symbolListJson())
                    if (!how.endsWith("unlisted") || symbol.toObject().value("symbol").toString() != target)
                        listed << symbol;
                server->setLoginSnapshot(false);
                connect(server, &simbroker::SimTradeServer::loginHandled, server,
                        [server, listed] { server->sendJson({{"res_code", 8}, {"array", listed}}); });
                server->dropConnections();
                if (how.endsWith("closed")) { // the first chart, not the active one, once the loss is seen
                    QTRY_VERIFY_WITH_TIMEOUT(w.part<QAction>("actionConnect")->isEnabled(), MustHappenMs);
                    area->subWindowList(QMdiArea::CreationOrder).first()->close();
                    w.window->symbolStorage()->setSymbolVisible("XAUUSD", false); // and a symbol hidden
                    placed = places();
                }
            } else if (how.endsWith("another account")) {
                server->addAccount(Account + 1, "other", 500.0);
                QVERIFY(w.client->connectToServer(server->url().toString(), Account + 1, "other", "Sim"));
            } else {
                auto *login = w.window->findChild<LoginDialog *>();
                login->clearServers();
                login->addServer("Sim", server->address());
                server->setRefuseLogins(true);
                w.window->relogin(Account + 1, "other", "Sim");
                QTRY_VERIFY_WITH_TIMEOUT(w.window->findChild<QMessageBox *>(), MustHappenMs);
                delete w.window->findChild<QMessageBox *>();
                server->setRefuseLogins(false);
                w.window->relogin(Account, "secret", "Sim");
            }
            QVERIFY(lists.wait(MustHappenMs));
            w.window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        }
        if (how.startsWith("F9")) {
            QTest::keyClick(w.window.get(), Qt::Key_F9);
        } else if (how == "double-click") { // as a mouse sends it: the first click, then the double click
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        } else {
            corvane_test::chooseFromMenu(how, [&] {
                tradeRow ? w.window->contextTradeMenu(cell.center()) : w.window->showTickContextMenu(cell.center());
            }, [&] { sendPositions(kept); });
        }
        QTRY_COMPARE_WITH_TIMEOUT(dialog()->isVisible(), !expected.isEmpty(), MustHappenMs);
        QMap<QString, QString> shown = describe(dialog());
        QStringList highlighted;
        for (const QTableWidgetItem *item : table->selectedItems())
            if (item->column() == 0)
                highlighted << item->text();
        shown.insert("highlighted", highlighted.join(','));
        shown.insert("focus", table->hasFocus() ? "market watch" : "elsewhere");
        shown.insert("active", active && area->activeSubWindow() == active ? "kept" : "changed");
        shown.insert("charts", placed.size() > 1 && places() == placed ? "unmoved" : "moved");
        shown.insert("XAUUSD", w.window->symbolStorage()->symbolList().contains("XAUUSD") ? "listed" : "hidden");
        const QString wrong = expected.isEmpty() ? QString() : mismatches(shown, withTickets(expected));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        if (kept != "#BUY #SELL #LONE" && !expected.isEmpty()) { // what Place sends names the row clicked
            part<QPushButton>(dialog(), "placeButton")->click();
            QTRY_COMPARE_WITH_TIMEOUT(w.trades(4).size(), 1, MustHappenMs);
            QCOMPARE(parse(w.trades(4).first()).value("order_id").toVariant().toLongLong(), tickets.value(target));
        }
    }

    // The account labels at login, the live rate, and the tick chart as the trader sees it: the
    // bid line red below the blue ask line, tags and time labels apart; a symbol without ticks
    // shows none, and the title names the symbol plotted. Each symbol-list reply refills the
    // box: the trader's symbol stays while the list holds it.
    void tickChart()
    {
        startSession();
        New_Order *dlg = dialog();
        QCOMPARE(part<QLabel>(dlg, "clientNameLabel")->text() + part<QLabel>(dlg, "serverNameLabel")->text(),
                 QStringLiteral("Jane TraderSim"));
        auto *plot = part<QCustomPlot>(dlg, "tickGraphWidget");
        QSignalSpy replots(plot, &QCustomPlot::afterReplot);
        QSignalSpy timer(dlg->findChild<QTimer *>(), &QTimer::timeout);
        QVERIFY(timer.wait(MustHappenMs) && timer.wait(MustHappenMs));
        QCOMPARE(replots.count(), 0); // hidden: nothing is drawn

        prepare(dlg, "new order");
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        auto *rate = part<QLabel>(dlg, "rateLabel");
        w.server->setPrice("EURUSD", 1.08, 1.0803);
        QTRY_COMPARE_WITH_TIMEOUT(rate->text(), QStringLiteral("1.08000/1.08030"), MustHappenMs);
        w.server->setPrice("GBPUSD", 1.25, 1.2503); // another symbol leaves the rate
        QTRY_COMPARE_WITH_TIMEOUT(w.window->getTick("GBPUSD").bid, 1.25, MustHappenMs);
        QCOMPARE(rate->text(), QStringLiteral("1.08000/1.08030"));

        // Later ticks 20 and 100 s apart, the last with a spread of under a pixel.
        const qint64 t0 = QDateTime::currentMSecsSinceEpoch() + 10000;
        for (const auto &[ms, bid, ask] : {std::tuple(t0, 1.0780, 1.0830), std::tuple(t0 + 20000, 1.0796, 1.0812),
                                           std::tuple(t0 + 100000, 1.0800, 1.08001)})
            w.window->onPrice(TickData{"EURUSD", ms / 1000, bid, ask, 0.0, ms, 5, 0.01, 100.0, 0.01, 0, 0, 0, 0});
        QTRY_COMPARE_WITH_TIMEOUT(plot->graph(0)->dataCount(), 5, MustHappenMs);
        replots.clear();
        QTRY_VERIFY_WITH_TIMEOUT(replots.count() >= 2, MustHappenMs); // the tags move after a redraw and show with the next

        const QList<AxisTag *> tags = plot->yAxis2->findChildren<AxisTag *>();
        QCOMPARE(QStringList({tags.at(0)->label->text(), tags.at(1)->label->text()}), QStringList({"1.08000", "1.08001"}));
        const auto box = [](AxisTag *tag) {
            return QRectF(tag->label->topLeft->pixelPosition(), tag->label->bottomRight->pixelPosition());
        };
        QVERIFY(!box(tags.at(0)).intersects(box(tags.at(1))));
        const QVector<double> times = plot->xAxis->tickVector();
        for (int i = 1; i < times.size(); ++i)
            QVERIFY(plot->xAxis->coordToPixel(times[i]) - plot->xAxis->coordToPixel(times[i - 1])
                    > QFontMetrics(plot->xAxis->tickLabelFont()).horizontalAdvance(plot->xAxis->tickVectorLabels().at(i)) + 2);

        const QImage image = dlg->grab().toImage();
        const auto colourAt = [&](double value) { // 10 s after t0: bid 1.0788, ask 1.0821
            const QPoint at = plot->mapTo(dlg, QPoint(int(plot->xAxis->coordToPixel((t0 + 10000) / 1000.0)),
                                                      int(plot->yAxis2->coordToPixel(value))));
            for (int dy = -2; dy <= 2; ++dy) {
                const QColor c = image.pixelColor(at + QPoint(0, dy));
                if (c.red() > 180 && c.green() < 120 && c.blue() < 120)
                    return QStringLiteral("red");
                if (c.blue() > 180 && c.red() < 120 && c.green() < 120)
                    return QStringLiteral("blue");
            }
            return QStringLiteral("none");
        };
        QCOMPARE(colourAt(1.0788) + colourAt(1.0805) + colourAt(1.0821), QStringLiteral("rednoneblue"));

        dlg->setSymbolList(w.window->symbolStorage()->allSymbols() << "ZZNOTICK");
        part<QComboBox>(dlg, "symbolComboBox")->setCurrentText("ZZNOTICK");
        QCOMPARE(part<QLabel>(dlg, "chartTitleLabel")->text(), QStringLiteral("Tick Chart: ZZNOTICK"));
        QCOMPARE(rate->text(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(plot->graph(0)->dataCount(), 0, MustHappenMs);
        QVERIFY(!tags.at(0)->label->visible() && !tags.at(1)->arrow->visible());

        part<QComboBox>(dlg, "symbolComboBox")->setCurrentText("GBPUSD");
        QSignalSpy refilled(w.window->symbolStorage(), &SymbolDataStorage::symbolSettingChanged);
        w.server->sendJson({{"res_code", 8}, {"array", w.server->market().symbolListJson()}});
        QVERIFY(refilled.wait(MustHappenMs));
        QCOMPARE(describe(dlg).value("chosen") + ' ' + rate->text(), "GBPUSD 1.25000/1.25030");
        dlg->setSymbolList({"EURUSD", "USDJPY"});
        QCOMPARE(describe(dlg).value("chart") + ' ' + rate->text(), "Tick Chart: EURUSD 1.08000/1.08030");
        part<QPushButton>(dlg, "buyButton")->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.trades(0).size(), 1, MustHappenMs);
        QCOMPARE(parse(w.trades(0).first()).value("symbol").toString(), QStringLiteral("EURUSD"));
    }
};

CORVANE_TEST_GUI_MAIN(TestOrderEntry)
#include "tst_orderentry.moc"
