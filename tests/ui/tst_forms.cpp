// Every dialog and form of the program as it shows with this platform's fonts: each label,
// button and check box shows its whole text, and no two visible siblings overlap. The window is
// logged in to the simulated broker with a position on each side and a pending order, so the
// order dialog can be put into each of its modes.
#include "changepassworddlg.h"
#include "loggedinwindow.h"
#include "logindialog.h"
#include "loopback.h"
#include "new_order.h"
#include "oneclicktradingbuttons.h"
#include "opendemodlg.h"
#include "showsymboldialog.h"
#include "symboldatastorage.h"
#include "testmain.h"
#include "trademessages.h"

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

// Cells on show that cut their text.
QStringList cellFaults(const QTableWidget *table)
{
    QStringList faults;
    const int margin = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
    for (const QTableWidgetItem *item : table->findItems(QString(), Qt::MatchContains)) {
        const QRect room = table->visualItemRect(item).adjusted(0, 0, -margin, 0);
        if (!room.intersects(table->viewport()->rect()))
            continue;
        const QRect needed = QFontMetrics(item->font()).boundingRect(room, table->wordWrap() ? Qt::TextWordWrap : 0,
                                                                    item->text());
        faults << cut(table, item->text(), needed.width(), room.width())
               << cut(table, item->text(), needed.height(), room.height());
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
        // Only where the trader cannot widen the columns: a table without a header.
        else if (auto *table = qobject_cast<QTableWidget *>(widget); table && table->horizontalHeader()->isHidden())
            faults << cellFaults(table);
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
        } else if (name == QLatin1String("symbols")) {
            made = std::make_unique<ShowSymbolDialog>(window);
            auto *list = made->findChild<QListWidget *>();
            emit list->itemClicked(list->item(0));
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
        return name == QLatin1String("Client_Terminal") ? static_cast<QWidget *>(window) : window->findChild<QDialog *>(name);
    }

private slots:
    void initTestCase()
    {
        Client_Terminal::setBrokerListHost(corvane_test::ownLoopbackHost(corvane_test::Loopback::Quiet));
        QVERIFY(session.start(Account, [this](simbroker::SimTradeServer &server) {
            server.setNextTicket(5000000001LL);
            buyPosition = server.addPosition(Account, {{"symbol", "EURUSD"}, {"type", "buy"}, {"volume", 5700}, {"price_o", 1.1}});
            stopLimitOrder = server.addOrder(Account, {{"symbol", "GBPUSD"}, {"type", 7}, {"volume", 3000}, {"price", 1.1}, {"s_price", 1.09}});
        }, {QStringLiteral("secret"), 1000.0, QStringLiteral("Jane Trader")}));
        QTRY_VERIFY(!session.window->getTick(QStringLiteral("EURUSD")).symbol.isEmpty());
        QTRY_VERIFY(session.window->getPendingOrder(stopLimitOrder).ticket == stopLimitOrder);
    }
    void cleanupTestCase() { session.stop(); }

    void wholeTextsNoOverlaps_data()
    {
        QTest::addColumn<QString>("form");      // object name, or how the test opens it
        QTest::addColumn<int>("mode");          // the order dialog's; -1 a new pending order
        QTest::addColumn<QStringList>("shown"); // parts a later state of the form shows, "-" hides
        QTest::newRow("login") << "LoginDialog" << 0 << QStringList();
        QTest::newRow("about") << "AboutDialog" << 0 << QStringList();
        QTest::newRow("password") << "ChangePasswordDlg" << 0 << QStringList();
        QTest::newRow("demo, entry") << "OpenDemoDlg" << 0 << QStringList();
        QTest::newRow("demo, waiting") << "OpenDemoDlg" << 0 << QStringList{"txtWait", "-btnRegister"};
        QTest::newRow("demo, created") << "OpenDemoDlg" << 0 << QStringList{"grpDetails", "btnCopy", "btnLogout", "-btnRegister"};
        QTest::newRow("symbols") << "symbols" << 0 << QStringList();
        QTest::newRow("one-click panel") << "one-click panel" << 0 << QStringList();
        QTest::newRow("main window") << "Client_Terminal" << 0 << QStringList();
        const std::pair<const char *, int> modes[] = {{"new", NewOrder}, {"pending", -1}, {"modify order", ModifyOrder},
            {"modify position", ModifyPosition}, {"delete order", DeleteOrder}, {"close position", ClosePosition},
            {"close by hedge", CloseByHedge}};
        for (const auto &[use, mode] : modes)
            QTest::addRow("order, %s", use) << "order" << mode << QStringList();
    }
    void wholeTextsNoOverlaps()
    {
        QFETCH(QString, form);
        QFETCH(int, mode);
        std::unique_ptr<QWidget> made;
        QWidget *top = open(form, mode, made);
        top->show();
        QVERIFY(QTest::qWaitForWindowExposed(top));
        QFETCH(QStringList, shown);
        for (const QString &name : shown)
            top->findChild<QWidget *>(QString(name).remove('-'))->setVisible(!name.startsWith('-'));
        const QStringList faults = faultsIn(top);
        if (top != session.window.get())
            top->hide();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
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
