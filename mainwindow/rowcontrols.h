#pragma once

#include <QIcon>
#include <QItemDelegate>
#include <QPushButton>
#include <QString>
#include <QTableWidgetItem>
#include <functional>

// Close controls of the trade table. Both report a close request as clicked(ticket, type):
// type 1 closes the position with that ticket, type 2 deletes the pending order.
//
// Tickets are 64-bit; connect with the typed form:
//     connect(delegate, &SummaryItemDelegate::clicked, window, &Client_Terminal::onCloseTrade);
// A control never asks for a ticket of 0 or less.

// The "Close" button of a pending-order row.
class MyCloseButton : public QPushButton
{
    Q_OBJECT
public:
    MyCloseButton(const QString &symbol, qint64 ticket, int type, QWidget *parent = nullptr);

    // The button's word, for whoever sizes the button.
    static QString label();

signals:
    void clicked(qint64 ticket, int type);

private slots:
    void onClicked();

private:
    QString symbol; // kept with the button for the table code; the button does not use it
    qint64 ticket;
    qint64 type;
};

// Delegate of the trade table's last column: draws the close icon at the right end of the cell,
// centred on its height, and turns a left click on it into clicked(ticket, 1), the ticket read
// from column 1 of the row.
class SummaryItemDelegate : public QItemDelegate
{
    Q_OBJECT
public:
    // Width of the clickable zone at the right edge of a last-column cell, in pixels.
    static constexpr int CloseZoneWidth = 20;

    // Decides per row whether the close icon is shown and acts; by default every row does.
    using RowFilter = std::function<bool(const QModelIndex &index)>;

    explicit SummaryItemDelegate(QObject *parent = nullptr);

    void setRowFilter(RowFilter filter);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

signals:
    void clicked(qint64 ticket, int type);

private:
    bool showsCloseIcon(const QModelIndex &index) const;

    QIcon closeIcon;
    RowFilter rowFilter;
};

// The table item of the trade, history and journal tables: sorts numerically when both texts are
// numbers ("10" after "9"), by text otherwise.
class FooterItem : public QTableWidgetItem
{
public:
    explicit FooterItem(const QString &text);

    bool operator<(const QTableWidgetItem &other) const override;
};
