// Every dialog and form of the program as it shows with this platform's fonts: each label,
// button, check box and table cell shows its whole text, no two visible siblings overlap, and
// the fields of a column share one left edge. The window is logged in to the simulated broker
// with a position on each side and pending orders, so the order dialog can be put into each of
// its modes, and with the widest prices, trades and history it may show.
#include "accountsummary.h"
#include "changepassworddlg.h"
#include "loggedinwindow.h"
#include "logindialog.h"
#include "loopback.h"
#include "new_order.h"
#include "oneclicktradingbuttons.h"
#include "opendemodlg.h"
#include "rowcontrols.h"
#include "showsymboldialog.h"
#include "symboldatastorage.h"
#include "testmain.h"
#include "trademessages.h"
#include "tradetable.h"

#include <QtWidgets>

namespace {

constexpr qint64 Account = 4000000007LL;

QString cut(const QWidget *widget, const QString &text, int needed, int has)
{
    return needed <= has ? QString()
                         : QStringLiteral("\"%1\" cut in %2 (%3 of %4)").arg(text, widget->objectName()).arg(has).arg(needed);
}

// The part of `widget` its ancestors do not clip away, in its own coordinates.
QRect unclipped(const QWidget *widget)
{
    QRect shown = widget->rect();
    for (const QWidget *w = widget; !w->isWindow(); w = w->parentWidget())
        shown &= QRect(widget->mapFrom(w->parentWidget(), QPoint()), w->parentWidget()->size());
    return shown;
}

QString labelFault(const QLabel *label)
{
    const QString text = label->text();
    if (text.isEmpty() || !label->pixmap(Qt::ReturnByValue).isNull())
        return {};
    const int m = label->margin();
    const QRect room = label->contentsRect().adjusted(m, m, -m, -m) & unclipped(label);
    if (label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))) {
        const QString plain = QTextDocumentFragment::fromHtml(text).toPlainText().simplified();
        // heightForWidth counts the frame and margins too; the text has the room inside them.
        const int chrome = label->height() - label->contentsRect().height() + 2 * m;
        return label->wordWrap() ? cut(label, plain, label->heightForWidth(label->width()) - chrome, room.height())
                                 : cut(label, plain, label->sizeHint().width(), room.width());
    }
    if (label->wordWrap())
        return cut(label, text, label->fontMetrics().boundingRect(room, Qt::TextWordWrap, text).height(), room.height());
    int widest = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widest = qMax(widest, label->fontMetrics().horizontalAdvance(line));
    return cut(label, text, widest, room.width());
}

QString buttonFault(const QAbstractButton *button)
{
    if (button->text().isEmpty() || qobject_cast<const QToolButton *>(button))
        return {};
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const bool check = qobject_cast<const QCheckBox *>(button) || qobject_cast<const QRadioButton *>(button);
    const QRect room = button->style()->subElementRect(check ? QStyle::SE_CheckBoxContents
                                                             : QStyle::SE_PushButtonContents, &option, button);
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    return cut(button, button->text(), button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width() + icon,
               (room & unclipped(button)).width());
}

// Every entry of a closed box (the trader may choose any), in the field beside its arrow.
QStringList comboFaults(const QComboBox *box)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    const QRect room = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    QStringList faults;
    for (int i = 0; i < box->count(); ++i)
        faults << cut(box, box->itemText(i), box->fontMetrics().horizontalAdvance(box->itemText(i)), (room & unclipped(box)).width());
    return faults;
}

// The tables whose columns widen to their texts (the table scrolls sideways instead): every
// cell counts, also those scrolled out of view.
const QStringList FittedTables{"symbolTableWidget", "journalTable", "positionTableWidget", "orderTableWidget",
                               "dealTableWidget", "tradeTableWidget", "netTableWidget"};
// Fitted tables whose rows, summary included, share one height.
const QStringList EvenTables{"tradeTableWidget", "netTableWidget"};

// Cells that cut or wrap their text, and rows of another height.
QStringList cellFaults(const QTableWidget *table)
{
    QStringList faults;
    const int margin = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
    const int icon = table->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, table) + margin / 2;
    const bool everyCell = FittedTables.contains(table->objectName());
    // A fitted table gives every text one line.
    const int wrap = table->wordWrap() && !everyCell ? Qt::TextWordWrap : 0;
    if (EvenTables.contains(table->objectName()))
        for (int row = 1; row < table->rowCount(); ++row)
            if (table->rowHeight(row) != table->rowHeight(0))
                faults << QStringLiteral("row %1 of %2 is %3 px high, row 0 %4").arg(row).arg(table->objectName())
                              .arg(table->rowHeight(row)).arg(table->rowHeight(0));
    for (const QTableWidgetItem *item : table->findItems(QString(), Qt::MatchContains)) {
        if (!item) // a cell that holds nothing
            continue;
        QRect room = table->visualItemRect(item).adjusted(0, 0, -margin, 0);
        if (!everyCell && !room.intersects(table->viewport()->rect()))
            continue;
        if (!item->icon().isNull())
            room.setLeft(room.left() + icon);
        // A cell's font shows what it sets over the table's font.
        const QFont font = item->data(Qt::FontRole).isValid() ? item->font().resolve(table->font()) : table->font();
        const QRect needed = QFontMetrics(font).boundingRect(room, wrap, item->text());
        faults << cut(table, item->text(), needed.width(), room.width())
               << cut(table, item->text(), needed.height(), room.height());
    }
    return faults;
}

// The trade table's close controls stand centred on their rows: a pending order's button, in the
// table's font, and a position's close icon, read from the table's own painting (under its cell
// widgets) by the icon's red.
QStringList closeControlFaults(QTableWidget *table)
{
    QStringList faults;
    QImage painted(table->viewport()->size(), QImage::Format_RGB32);
    table->viewport()->render(&painted, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    const auto red = [&painted](int x, int y) {
        const QColor c = painted.pixelColor(x, y);
        return c.red() > 120 && c.green() < 80 && c.blue() < 80;
    };
    const auto offCentre = [](int before, int after) { return qAbs(before - after) > 1; };
    for (int row = 0; row < table->rowCount(); ++row) {
        const QRect cell = table->visualRect(table->model()->index(row, TradeTable::CloseColumn));
        const QString where = QStringLiteral("row %1's close cell (%2 px high)").arg(row).arg(cell.height());
        if (!painted.rect().contains(cell))
            continue;
        if (const QWidget *holder = table->cellWidget(row, TradeTable::CloseColumn)) {
            const auto *button = holder->findChild<MyCloseButton *>();
            const QRect at(button->mapTo(table->viewport(), QPoint()), button->size());
            if (offCentre(at.top() - cell.top(), cell.bottom() - at.bottom())
                || offCentre(at.left() - cell.left(), cell.right() - at.right()))
                faults << QStringLiteral("button at %1,%2 %3x%4 off the centre of %5").arg(at.x()).arg(at.y())
                              .arg(at.width()).arg(at.height()).arg(where);
            if (button->font().pointSizeF() != table->font().pointSizeF())
                faults << QStringLiteral("button's %1 pt in the table's %2 pt").arg(button->font().pointSizeF())
                              .arg(table->font().pointSizeF());
            continue;
        }
        int top = -1, bottom = -1;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                if (red(x, y)) {
                    top = top < 0 ? y : top;
                    bottom = y;
                }
        if (top < 0)
            faults << QStringLiteral("no close icon in %1").arg(where);
        else if (offCentre(top - cell.top(), cell.bottom() - bottom))
            faults << QStringLiteral("close icon from %1 to %2 off the centre of %3").arg(top - cell.top())
                          .arg(bottom - cell.top()).arg(where);
    }
    return faults;
}

// Whether a widget shows something another may not cover: a text, a picture, a field, or
// widgets of its own. Text-less backdrops and click areas lie under or over others by design
// (the one-click panel is built as such layers).
bool showsContent(const QWidget *widget)
{
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return !label->text().isEmpty() || !label->pixmap(Qt::ReturnByValue).isNull();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return !button->text().isEmpty() || !button->icon().isNull() || button->isCheckable();
    for (const QObject *child : widget->children())
        if (child->isWidgetType() && static_cast<const QWidget *>(child)->isVisible())
            return true;
    return widget->focusPolicy() != Qt::NoFocus;
}

// Where a form places widgets by geometry: fields meant as one column (left edges less than
// 16 px apart) share one left edge, a label keeps 9 px off a dialog's edges, and a check box
// carries its own text, which then reads from its box to the right.
QStringList alignmentFaults(const QWidget *top, const QWidget *parent)
{
    QStringList faults;
    QList<const QWidget *> fields;
    for (const QObject *child : parent->children()) {
        auto *widget = qobject_cast<const QWidget *>(child);
        if (!widget || !widget->isVisible() || widget->isWindow())
            continue;
        auto *label = qobject_cast<const QLabel *>(widget);
        const QRect onForm(widget->mapTo(top, QPoint()), widget->size());
        if (label && !label->text().isEmpty() && qobject_cast<const QDialog *>(top)
            && (onForm.left() < 9 || onForm.right() + 1 > top->width() - 9))
            faults << QStringLiteral("%1 is within 9 px of the edge").arg(widget->objectName());
        auto *box = qobject_cast<const QCheckBox *>(widget);
        if (box && box->text().isEmpty())
            faults << QStringLiteral("%1 has no text of its own").arg(widget->objectName());
        if (box || qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QComboBox *>(widget)
            || qobject_cast<const QAbstractSpinBox *>(widget))
            fields << widget;
    }
    for (const QWidget *a : fields)
        for (const QWidget *b : fields)
            if (a->x() < b->x() && b->x() - a->x() < 16)
                faults << QStringLiteral("%1 starts %2 px right of %3").arg(b->objectName()).arg(b->x() - a->x()).arg(a->objectName());
    return faults;
}

// What the shown form `top` cuts or covers, one line each.
QStringList faultsIn(QWidget *top)
{
    QStringList faults;
    const QList<QWidget *> widgets = top->findChildren<QWidget *>() << top;
    for (QWidget *widget : widgets) {
        if (!widget->isVisible() || (widget != top && widget->isWindow()))
            continue;
        if (auto *label = qobject_cast<QLabel *>(widget))
            faults << labelFault(label);
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            faults << buttonFault(button);
        else if (auto *box = qobject_cast<QComboBox *>(widget); box && !box->isEditable())
            faults << comboFaults(box);
        else if (auto *group = qobject_cast<QGroupBox *>(widget)) // no form has one yet
            faults << cut(group, group->title(), group->fontMetrics().horizontalAdvance(group->title()),
                          group->contentsRect().width());
        // Where the trader cannot widen the columns (a table without a header) and where they
        // widen by themselves.
        else if (auto *table = qobject_cast<QTableWidget *>(widget);
                 table && (table->horizontalHeader()->isHidden() || FittedTables.contains(table->objectName()))) {
            faults << cellFaults(table);
            if (table->objectName() == QLatin1String("tradeTableWidget"))
                faults << closeControlFaults(table);
        }
        if (!widget->layout())
            faults << alignmentFaults(top, widget);
        // Chart windows in the window's MDI area may lie over each other, as windows do.
        if (qobject_cast<QMdiArea *>(widget) || widget->inherits("QMdiSubWindow"))
            continue;
        QList<QWidget *> siblings;
        for (QObject *child : widget->children())
            if (auto *sibling = qobject_cast<QWidget *>(child))
                if (sibling->isVisible() && !sibling->isWindow() && showsContent(sibling))
                    siblings << sibling;
        for (int i = 0; i < siblings.size(); ++i)
            for (int j = i + 1; j < siblings.size(); ++j)
                if (siblings[i]->geometry().intersects(siblings[j]->geometry()))
                    faults << QStringLiteral("%1 overlaps %2").arg(siblings[i]->objectName(), siblings[j]->objectName());
    }
    faults.removeAll(QString());
    return faults;
}

} // namespace

class TestForms : public QObject
{
    Q_OBJECT

    corvane_test::LoggedInWindow session;
    qint64 buyPosition = 0, stopLimitOrder = 0;

    // Shows form `name` in the state the row asks for and returns it.
    QWidget *open(const QString &name, int mode, std::unique_ptr<QWidget> &made)
    {
        Client_Terminal *window = session.window.get();
        if (name == QLatin1String("one-click panel")) {
            auto *panel = new OneClickTradingButtons(QStringLiteral("EURUSD"));
            panel->setBuyPrice(1.10527, 5);
            panel->setSellPrice(1.10512, 5);
            made.reset(panel);
        } else if (name == QLatin1String("net trade, narrow")) {
            // The net-trade table narrower than its figures, which the window's toolbox never is
            // (its title, the account line, holds it wider): a sell and a buy of 9999 lots at
            // seven-digit prices, the summary in bold.
            auto *table = new QTableWidget(0, NetTradeTable::ColumnCount);
            table->setObjectName(QStringLiteral("netTableWidget"));
            table->setHorizontalHeaderLabels({"Symbol", "Positions", "Buy Volume", "Buy Price", "Sell Volume",
                                              "Sell Price", "Net Volume", "Profit"});
            table->resize(400, 150);
            QFont bold;
            bold.setWeight(QFont::Bold);
            Position sell;
            sell.symbol = QStringLiteral("BTCUSD");
            sell.type = QStringLiteral("sell");
            sell.volume = 9999.0;
            sell.price = 8888888.88;
            sell.profit = -88888888.88;
            sell.digits = 2;
            Position buy = sell;
            buy.type = QStringLiteral("buy");
            NetTradeTable(table, bold).rebuild({{sell.symbol, {sell, buy}}}, -177777777.76);
            made.reset(table);
        } else if (name.startsWith(QLatin1String("symbols"))) {
            made = std::make_unique<ShowSymbolDialog>(window);
            auto *list = made->findChild<QListWidget *>();
            if (name == QLatin1String("symbols")) {
                emit list->itemClicked(list->item(0));
            } else { // as the trader first sees it
                QFont font = made->font();
                font.setPointSize(10); // the program's
                made->setFont(font);
                made->show();
                // The list's focus makes its first entry (AUDJPY) current; the eight rows are taller
                // than the table, whose scroll bar then takes its room from the values.
                auto *table = made->findChild<QTableWidget *>();
                if (!QTest::qWaitFor([table] { return table->rowCount() == 8 && table->verticalScrollBar()->isVisible(); }))
                    QTest::qFail("the symbol's details never settled", __FILE__, __LINE__);
            }
        } else if (name == QLatin1String("order")) {
            auto *order = window->findChild<New_Order *>();
            const bool onPosition = mode == ModifyPosition || mode == ClosePosition || mode == CloseByHedge;
            order->setCurrentSymbol(onPosition || mode < 0 ? QStringLiteral("EURUSD") : QStringLiteral("GBPUSD"));
            order->setMode(qMax(mode, 0), mode <= 0 ? 0 : onPosition ? buyPosition : stopLimitOrder);
            order->findChild<QComboBox *>(QStringLiteral("orederTypeComboBox"))->setCurrentIndex(mode < 0 ? 1 : 0);
            return order;
        }
        if (made)
            return made.get();
        if (auto *demo = window->findChild<OpenDemoDlg *>(); demo && name == QLatin1String("OpenDemoDlg"))
            demo->setServerList();
        if (name.startsWith(QLatin1String("Client_Terminal"))) {
            // The window's size after the name (its un-maximized one), or the session's.
            const QStringList size = name.section(QLatin1Char(' '), 1).split(QLatin1Char('x'));
            const QSize wanted = size.size() == 2 ? QSize(size[0].toInt(), size[1].toInt()) : QSize(1200, 800);
            window->resize(wanted);
            if (!QTest::qWaitFor([&] { return window->size() == wanted; }))
                return nullptr;
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            window->findChild<QTabWidget *>(QStringLiteral("tabWidget_3"))->setCurrentIndex(mode);
            return window;
        }
        return window->findChild<QDialog *>(name);
    }

private slots:
    void initTestCase()
    {
        Client_Terminal::setBrokerListHost(corvane_test::ownLoopbackHost(corvane_test::Loopback::Quiet));
        QVERIFY(session.start(Account, [this](simbroker::SimTradeServer &server) {
            server.setNextTicket(5000000001LL);
            buyPosition = server.addPosition(Account, {{"symbol", "EURUSD"}, {"type", "buy"}, {"volume", 5700}, {"price_o", 1.1}});
            stopLimitOrder = server.addOrder(Account, {{"symbol", "GBPUSD"}, {"type", 7}, {"volume", 3000}, {"price", 1.1}, {"s_price", 1.09}});
            // The trade and net-trade tables at their widest: seven-digit prices, tickets past 32
            // bits, the longest order type, the largest volume on the order (whose margin the
            // account summary leaves out); no stop or trigger within the market's reach.
            server.setPrice(QStringLiteral("BTCUSD"), 8888888.88, 8888899.99);
            server.addPosition(Account, {{"ticket", 8888888888888LL}, {"symbol", "BTCUSD"}, {"type", "sell"},
                {"volume", 100}, {"price_o", 8888888.88}, {"sl", 9999999.99}, {"tp", 1111111.11}});
            server.addOrder(Account, {{"ticket", 8888888888889LL}, {"symbol", "BTCUSD"}, {"type", 7}, {"volume", 99990000},
                {"price", 1111111.11}, {"s_price", 1000000.01}, {"sl", 9999999.99}, {"tp", 1000000.01}});
            // The history at its widest: seven-digit prices, tickets past 32 bits, the longest texts.
            const qint64 time = QDateTime::currentSecsSinceEpoch() - 60; // within the history asked for at login
            server.addHistory(Account, "positions", {{"ticket", 5999999999LL}, {"symbol", "BTCUSD"}, {"type", "sell"},
                {"time", time}, {"digits", 2}, {"volume", 99990000}, {"price_o", 8888888.88}, {"price_c", 8888888.88},
                {"sl", 8888888.88}, {"tp", 8888888.88}, {"swap", -88888.8}, {"profit", -88888888.88}});
            server.addHistory(Account, "orders", {{"ticket", 5999999998LL}, {"symbol", "BTCUSD"}, {"type", 7}, {"time", time},
                {"volume", 99990000}, {"price", 8888888.88}, {"s_price", 8888888.88}, {"sl", 8888888.88}, {"tp", 8888888.88},
                {"state", 5}, {"digits", 2}});
            server.addHistory(Account, "deals", {{"ticket", 5999999997LL}, {"order", 5999999998LL}, {"symbol", "BTCUSD"},
                {"type", 1}, {"time", time}, {"volume", 99990000}, {"price", 8888888.88}, {"profit", -88888888.88},
                {"digits", 2}});
        }, {QStringLiteral("secret"), 1000.0, QStringLiteral("Jane Trader")}));
        QTRY_VERIFY(!session.window->getTick(QStringLiteral("EURUSD")).symbol.isEmpty());
        QTRY_VERIFY(session.window->getPendingOrder(stopLimitOrder).ticket == stopLimitOrder);
        // Every symbol of the broker in the market watch, the one of the longest name at seven-digit prices.
        SymbolDataStorage *store = session.window->symbolStorage();
        for (const QString &symbol : store->allSymbols())
            store->setSymbolVisible(symbol, true);
        session.server->setPrice(QStringLiteral("BTCUSD"), 8888888.88, 8888899.99);
        QTRY_COMPARE(session.window->getTick(QStringLiteral("BTCUSD")).ask, 8888899.99);
        QTRY_COMPARE(session.part<QTableWidget>("dealTableWidget")->rowCount(), 3); // with the opening deposit
    }
    void cleanupTestCase() { session.stop(); }

    void wholeTextsNoOverlaps_data()
    {
        QTest::addColumn<QString>("form");      // object name, or how the test opens it
        QTest::addColumn<int>("mode");          // the order dialog's (-1 a new pending order), the main window's tab
        QTest::addColumn<QStringList>("shown"); // parts a later state of the form shows, "-" hides
        QTest::addColumn<QString>("title");     // "" for a panel that is never a window of its own
        QTest::newRow("login") << "LoginDialog" << 0 << QStringList() << "Login";
        QTest::newRow("about") << "AboutDialog" << 0 << QStringList() << "About";
        QTest::newRow("password") << "ChangePasswordDlg" << 0 << QStringList() << "Change Password";
        QTest::newRow("demo, entry") << "OpenDemoDlg" << 0 << QStringList() << "Demo Account";
        QTest::newRow("demo, waiting") << "OpenDemoDlg" << 0 << QStringList{"txtWait", "-btnRegister"} << "Demo Account";
        QTest::newRow("demo, created") << "OpenDemoDlg" << 0 << QStringList{"grpDetails", "btnCopy", "btnLogout", "-btnRegister"}
                                       << "Demo Account";
        QTest::newRow("symbols") << "symbols" << 0 << QStringList() << "Show/Hide Symbols";
        QTest::newRow("symbols, first shown") << "symbols, first shown" << 0 << QStringList() << "Show/Hide Symbols";
        QTest::newRow("one-click panel") << "one-click panel" << 0 << QStringList() << "";
        QTest::newRow("net trade, narrow") << "net trade, narrow" << 0 << QStringList() << "";
        const QString main = QStringLiteral("Jane Trader(4000000007, Sim)");
        QTest::newRow("main window") << "Client_Terminal" << 0 << QStringList() << main;
        QTest::newRow("main window, closed positions") << "Client_Terminal" << 1
            << QStringList{"positionTableWidget", "-orderTableWidget", "-dealTableWidget"} << main;
        QTest::newRow("main window, orders") << "Client_Terminal" << 1
            << QStringList{"orderTableWidget", "-positionTableWidget", "-dealTableWidget"} << main;
        QTest::newRow("main window, deals") << "Client_Terminal" << 1
            << QStringList{"dealTableWidget", "-positionTableWidget", "-orderTableWidget"} << main;
        QTest::newRow("main window, net trade") << "Client_Terminal" << 2 << QStringList() << main;
        QTest::newRow("main window at 1248 x 818") << "Client_Terminal 1248x818" << 0 << QStringList() << main;
        QTest::newRow("main window, net trade, at 1248 x 818") << "Client_Terminal 1248x818" << 2 << QStringList() << main;
        QTest::newRow("main window, journal") << "Client_Terminal" << 3 << QStringList() << main;
        const std::tuple<const char *, int, const char *> modes[] = {{"new", NewOrder, "New Order"},
            {"pending", -1, "New Order"}, {"modify order", ModifyOrder, "Order"}, {"modify position", ModifyPosition, "Position"},
            {"delete order", DeleteOrder, "Order"}, {"close position", ClosePosition, "Position"},
            {"close by hedge", CloseByHedge, "Close By Hedge"}};
        for (const auto &[use, mode, title] : modes)
            QTest::addRow("order, %s", use) << "order" << mode << QStringList() << title;
    }
    void wholeTextsNoOverlaps()
    {
        QFETCH(QString, form);
        QFETCH(int, mode);
        std::unique_ptr<QWidget> made;
        QWidget *top = open(form, mode, made);
        QVERIFY2(top, "the form cannot be opened in that state (a main window that keeps another size)");
        top->show();
        QVERIFY(QTest::qWaitForWindowExposed(top));
        QFETCH(QStringList, shown);
        for (const QString &name : shown)
            top->findChild<QWidget *>(QString(name).remove('-'))->setVisible(!name.startsWith('-'));
        QFETCH(QString, title);
        if (!title.isEmpty())
            QCOMPARE(top->windowTitle(), title);
        const QStringList faults = faultsIn(top);
        if (top != session.window.get())
            top->hide();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    }

    // The symbol details shown are those of the entry the list highlights, however the trader
    // moved to it; the first entry is current before.
    void symbolDialogShowsTheCurrentEntry_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("current");
        QTest::newRow("click on another entry's check box") << "box" << 3;
        QTest::newRow("click on another entry's name") << "name" << 3;
        QTest::newRow("arrow down") << "down" << 1;
    }
    void symbolDialogShowsTheCurrentEntry()
    {
        ShowSymbolDialog dialog(session.window.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *list = dialog.findChild<QListWidget *>();
        list->setCurrentRow(0);
        QListWidgetItem *target = list->item(3);
        const Qt::CheckState ticked = target->checkState();
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualItemRect(target);
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        QFETCH(QString, action);
        if (action == QLatin1String("box"))
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
        else if (action == QLatin1String("name"))
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(box.right() + 30, box.center().y()));
        else
            QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(target->checkState() != ticked, action == QLatin1String("box"));
        target->setCheckState(ticked); // the market watch as it was
        QFETCH(int, current);
        auto *table = dialog.findChild<QTableWidget *>();
        QCOMPARE(list->currentRow(), current);
        QVERIFY(list->currentItem()->isSelected());
        QCOMPARE(table->item(0, 1) ? table->item(0, 1)->text() : QString(), list->item(current)->text());
    }

    // A symbol the store dropped since the dialog opened (a reconnection brought another list)
    // shows an empty specification and is not invented by the click.
    void symbolDialogAfterTheStoreChanged()
    {
        SymbolDataStorage *store = session.window->symbolStorage();
        ShowSymbolDialog dialog(session.window.get());
        auto *list = dialog.findChild<QListWidget *>();
        const QJsonObject symbol{{"symbol", list->item(1)->text()}, {"digits", 3}};
        store->clear();
        store->onSymbolListReceived({{"res_code", 8}, {"array", QJsonArray{symbol}}});
        for (int row : {0, 1}) {
            emit list->itemClicked(list->item(row));
            auto *table = dialog.findChild<QTableWidget *>();
            QCOMPARE(table->rowCount(), 8);
            QCOMPARE(table->item(3, 0)->text(), QStringLiteral("Digits"));
            QCOMPARE(table->item(3, 1)->text(), row == 0 ? QString() : QStringLiteral("3"));
            QCOMPARE(store->allSymbols(), QStringList{list->item(1)->text()});
        }
    }
};

CORVANE_TEST_GUI_MAIN(TestForms)
#include "tst_forms.moc"
