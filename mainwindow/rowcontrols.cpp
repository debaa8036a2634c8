#include "rowcontrols.h"

#include <QAbstractItemModel>
#include <QMouseEvent>
#include <QtMath>

MyCloseButton::MyCloseButton(const QString &symbol, qint64 ticket, int type, QWidget *parent)
    : QPushButton(parent), symbol(symbol), ticket(ticket), type(type)
{
    setText(label());
    // QAbstractButton reacts to the left button only, and to the keyboard.
    connect(this, &QAbstractButton::clicked, this, &MyCloseButton::onClicked);
}

QString MyCloseButton::label()
{
    return QStringLiteral("Close");
}

void MyCloseButton::onClicked()
{
    if (ticket <= 0)
        return;
    emit clicked(ticket, int(type));
}

SummaryItemDelegate::SummaryItemDelegate(QObject *parent)
    : QItemDelegate(parent), closeIcon(QStringLiteral(":/icon/Close.ico"))
{
}

void SummaryItemDelegate::setRowFilter(RowFilter filter)
{
    rowFilter = std::move(filter);
}

bool SummaryItemDelegate::showsCloseIcon(const QModelIndex &index) const
{
    const QAbstractItemModel *model = index.model();
    if (!model || index.column() != model->columnCount(index.parent()) - 1)
        return false;
    return !rowFilter || rowFilter(index);
}

void SummaryItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QItemDelegate::paint(painter, option, index);
    if (!showsCloseIcon(index))
        return;
    // Centred on the row like the pending orders' buttons, whatever height the rows take.
    closeIcon.paint(painter, option.rect, Qt::AlignRight | Qt::AlignVCenter, QIcon::Normal, QIcon::Off);
}

bool SummaryItemDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                      const QModelIndex &index)
{
    if (event->type() == QEvent::MouseButtonRelease && model && showsCloseIcon(index)) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QRect &cell = option.rect;
        const QRect zone(QPoint(cell.right() - (CloseZoneWidth - 1), cell.top()), cell.bottomRight());
        if (mouse->button() == Qt::LeftButton && zone.contains(mouse->pos())) {
            bool ok = false;
            const qint64 ticket = model->data(index.sibling(index.row(), 1)).toLongLong(&ok);
            if (ok && ticket > 0)
                emit clicked(ticket, 1);
            return true; // a click on the icon never opens an editor
        }
    }
    return QItemDelegate::editorEvent(event, model, option, index);
}

FooterItem::FooterItem(const QString &text) : QTableWidgetItem(text) {}

bool FooterItem::operator<(const QTableWidgetItem &other) const
{
    bool thisIsNumber = false, otherIsNumber = false;
    const double thisValue = text().toDouble(&thisIsNumber);
    const double otherValue = other.text().toDouble(&otherIsNumber);
    // "nan" and "inf" parse as numbers but would break the sort's ordering: compare them as text.
    if (thisIsNumber && otherIsNumber && qIsFinite(thisValue) && qIsFinite(otherValue))
        return thisValue < otherValue;
    return QTableWidgetItem::operator<(other);
}
