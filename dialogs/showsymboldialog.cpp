#include "showsymboldialog.h"
#include "ui_showsymboldialog.h"

#include "client_terminal.h"
#include "displayformat.h"
#include "symboldatastorage.h"

#include <QHeaderView>
#include <QListWidgetItem>
#include <QSet>
#include <QTableWidgetItem>

ShowSymbolDialog::ShowSymbolDialog(QWidget *parent) : QDialog(parent), ui(new Ui_ShowSymbolDialog)
{
    ui->setupUi(this);
    // The value column takes the room the names leave, and that room changes after the rows are
    // filled: the table's scroll bar shows once they are laid out (the first showing narrows the
    // column), a resize moves it. Heights measured once would then cut a value that now needs
    // another line, so every row keeps the height its texts need at the column's width.
    ui->tableWidget->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    if (SymbolDataStorage *symbols = store()) {
        const QStringList list = symbols->symbolList();
        const QSet<QString> shown(list.cbegin(), list.cend()); // a list's contains() per symbol was quadratic
        for (const QString &symbol : symbols->allSymbols()) {
            // Set up in full before it joins the list: a half-built item would reach
            // on_listWidget_itemChanged and move the symbol in the market watch.
            auto *item = new QListWidgetItem(symbol);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(shown.contains(symbol) ? Qt::Checked : Qt::Unchecked);
            ui->listWidget->addItem(item);
        }
    }
    setWindowTitle(tr("Show/Hide Symbols"));
}

ShowSymbolDialog::~ShowSymbolDialog()
{
    delete ui;
}

SymbolDataStorage *ShowSymbolDialog::store() const
{
    auto *window = qobject_cast<Client_Terminal *>(parent());
    return window ? window->symbolStorage() : nullptr;
}

QList<QPair<QString, QString>> ShowSymbolDialog::specificationRows(const SymbolSetting &s)
{
    return {
        {tr("Symbol"), s.symbol},
        {tr("Path"), s.path},
        {tr("Description"), s.desc},
        {tr("Digits"), QString::number(s.digits)},
        {tr("Contract Size"), QString::number(s.c_size, 'g', 6)},
        {tr("Minimal volume"), DisplayFormat::money(s.min_vol / 10000.0)},
        {tr("Maximal volume"), DisplayFormat::money(s.max_vol / 10000.0)},
        {tr("Step volume"), DisplayFormat::money(s.step_vol / 10000.0)},
    };
}

void ShowSymbolDialog::on_listWidget_itemChanged(QListWidgetItem *item)
{
    if (SymbolDataStorage *symbols = store())
        symbols->setSymbolVisible(item->text(), item->checkState() == Qt::Checked);
}

// A click on an entry's check box ticks it without making it current; the symbol details shown
// are always those of the entry the list highlights, so the click makes its entry current.
void ShowSymbolDialog::on_listWidget_itemClicked(QListWidgetItem *item)
{
    ui->listWidget->setCurrentItem(item);
    showSpecification(item);
}

void ShowSymbolDialog::on_listWidget_currentItemChanged(QListWidgetItem *current)
{
    if (current)
        showSpecification(current);
}

void ShowSymbolDialog::showSpecification(const QListWidgetItem *item)
{
    SymbolDataStorage *symbols = store();
    if (!symbols)
        return;
    // The list was filled when the dialog opened; a reconnection since may have taken the symbol
    // away. Its rows then stay empty: asking with the inserting look-up would invent the symbol.
    const std::optional<SymbolSetting> setting = symbols->heldSetting(item->text());
    auto rows = specificationRows(setting.value_or(SymbolSetting()));
    if (!setting)
        for (auto &row : rows)
            row.second.clear();
    QTableWidget *table = ui->tableWidget;
    table->setColumnCount(2);
    table->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < 2; ++column) {
            auto *cell = new QTableWidgetItem(column == 0 ? rows[row].first : rows[row].second);
            cell->setFlags(DisplayFormat::ReadOnlyCell);
            table->setItem(row, column, cell);
        }
    }
    // The names take the room they need, and a value longer than the rest wraps onto more lines.
    table->resizeColumnToContents(0);
    table->resizeRowsToContents();
}
