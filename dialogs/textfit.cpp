#include "textfit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>

namespace {

// The width the widget needs to show its whole text; 0 for one that has nothing to fit.
int neededWidth(const QWidget *widget)
{
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text().isEmpty() || label->wordWrap() ? 0 : label->sizeHint().width();
    auto *button = qobject_cast<const QAbstractButton *>(widget);
    if (!button || button->text().isEmpty() || qobject_cast<const QToolButton *>(button))
        return 0;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    const bool check = qobject_cast<const QCheckBox *>(button) || qobject_cast<const QRadioButton *>(button);
    const QRect room = button->style()->subElementRect(check ? QStyle::SE_CheckBoxContents
                                                             : QStyle::SE_PushButtonContents, &option, button);
    const int icon = option.icon.isNull() ? 0 : option.iconSize.width() + 4;
    return button->width() - room.width() + button->fontMetrics().size(Qt::TextShowMnemonic, option.text).width()
            + icon;
}

Qt::Alignment growth(const QWidget *widget)
{
    if (auto *label = qobject_cast<const QLabel *>(widget)) {
        const Qt::Alignment align = QStyle::visualAlignment(label->layoutDirection(), label->alignment());
        return align & (Qt::AlignRight | Qt::AlignHCenter) ? align & (Qt::AlignRight | Qt::AlignHCenter)
                                                            : Qt::AlignLeft;
    }
    return qobject_cast<const QCheckBox *>(widget) || qobject_cast<const QRadioButton *>(widget) ? Qt::AlignLeft
                                                                                                  : Qt::AlignHCenter;
}


// The siblings that may stand in the widget's way: all but those already sharing its place.
QList<QWidget *> neighbours(const QWidget *widget)
{
    QList<QWidget *> found;
    for (QObject *child : widget->parentWidget()->children()) {
        auto *sibling = qobject_cast<QWidget *>(child);
        if (sibling && sibling != widget && !sibling->isWindow()
            && !sibling->geometry().intersects(widget->geometry()))
            found << sibling;
    }
    return found;
}

// The free stretch around `place` along one axis: from the nearest neighbour before it to the
// nearest after it, among those that share its band across that axis, else the parent's edges.
struct Stretch
{
    int begin;
    int end; // the first coordinate not free
    QWidget *after = nullptr;
};

Stretch freeStretch(const QRect &place, const QList<QWidget *> &others, const QWidget *parent, Qt::Orientation along)
{
    const auto flip = [along](const QRect &r) {
        return along == Qt::Horizontal ? r : QRect(r.y(), r.x(), r.height(), r.width());
    };
    const QRect own = flip(place);
    Stretch free{0, flip(parent->rect()).width()};
    for (QWidget *other : others) {
        const QRect g = flip(other->geometry());
        if (g.top() > own.bottom() || own.top() > g.bottom())
            continue;
        if (g.right() < own.left())
            free.begin = qMax(free.begin, g.right() + 1);
        if (g.left() > own.right() && g.left() < free.end) {
            free.end = g.left();
            free.after = other;
        }
    }
    return free;
}

// The least distance a text keeps from its parent's edges: what Qt's layouts keep there.
int edgeMargin(const QWidget *parent)
{
    return parent->style()->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, parent);
}

// Makes the parent (and the window it stands in) `by` pixels wider.
void widen(QWidget *parent, int by)
{
    const QSize size(parent->width() + by, parent->height());
    if (parent->minimumWidth() == parent->maximumWidth())
        parent->setFixedWidth(size.width()); // a fixed-size dialog stays fixed
    else if (parent->minimumWidth() > 0)
        parent->setMinimumWidth(parent->minimumWidth() + by);
    parent->resize(size);
}

// Moves everything from `line` on `by` pixels to the right and widens what reaches into the
// room between `from` and `line` (the labels of the column, a frame or button spanning it), so
// a whole column of fields keeps one left edge; the parent grows by as much.
void shiftColumn(QWidget *parent, const QWidget *except, int from, int line, int by)
{
    for (QObject *child : parent->children()) {
        auto *sibling = qobject_cast<QWidget *>(child);
        if (!sibling || sibling == except || sibling->isWindow())
            continue;
        const QRect g = sibling->geometry();
        if (g.left() >= line)
            sibling->move(g.left() + by, g.top());
        else if (g.right() + 1 >= from)
            sibling->resize(g.width() + by, g.height());
    }
    widen(parent, by);
}

void fit(QWidget *widget)
{
    widget->ensurePolished();
    QWidget *parent = widget->parentWidget();
    const int needed = neededWidth(widget);
    if (needed == 0)
        return;
    QRect place = widget->geometry();
    const QRect designed = place;
    int lack = needed - place.width();
    auto *label = qobject_cast<QLabel *>(widget);
    const int margin = edgeMargin(parent);
    if (label && place.left() < margin) { // a text keeps off the edge
        lack += margin - place.left();
        place.setLeft(margin);
    }
    if (lack <= 0) {
        widget->setGeometry(place);
        return;
    }
    const QList<QWidget *> others = neighbours(widget);
    const Stretch row = freeStretch(place, others, parent, Qt::Horizontal);
    QWidget *field = row.after;
    const int left = qMax(row.begin, qMin(margin, place.left()));
    // Not into the gap the form left before the field, nor into the margin at the edge.
    const int right = field ? qMin(row.end, designed.right() + 1)
                            : qMin(row.end, qMax(parent->width() - margin, place.right() + 1));
    const auto growLeft = [&](int by) {
        const int step = qBound(0, qMin(by, place.left() - left), lack);
        place.setLeft(place.left() - step);
        lack -= step;
    };
    const auto growRight = [&](int by) {
        const int step = qBound(0, qMin(by, right - 1 - place.right()), lack);
        place.setRight(place.right() + step);
        lack -= step;
    };
    const Qt::Alignment align = growth(widget);
    if (align & Qt::AlignRight) {
        growLeft(lack);
        growRight(lack);
    } else if (align & Qt::AlignHCenter) {
        growLeft(lack / 2);
        growRight(lack);
        growLeft(lack);
    } else {
        growRight(lack); // its text keeps starting where the form puts it
    }
    if (lack > 0 && field && place.right() + 1 == right) {
        // The field's whole column moves over rather than this field alone.
        shiftColumn(parent, widget, place.right() + 1, field->x(), lack);
        place.setRight(place.right() + lack);
        lack = 0;
    }
    if (lack > 0 && label && !field && label->text().simplified().contains(QLatin1Char(' '))) {
        label->setWordWrap(true);
        const int height = label->heightForWidth(place.width());
        const Stretch column = freeStretch(place, others, parent, Qt::Vertical);
        if (height > 0 && height <= column.end - column.begin) {
            place.setTop(qBound(column.begin, place.center().y() - height / 2, column.end - height));
            place.setHeight(height);
            lack = 0;
        } else {
            label->setWordWrap(false);
        }
    }
    if (lack > 0 && !field) {
        // Nothing to its right: the form grows, and what ended where this widget was designed to
        // end (the fields of its column) widens along, so their right edges stay one.
        lack += place.right() - designed.right();
        place.setRight(designed.right() + lack);
        shiftColumn(parent, widget, designed.right() + 1, parent->width() + 1, lack);
    }
    widget->setGeometry(place);
}

} // namespace

namespace TextFit {

void growToText(QWidget *form)
{
    for (QWidget *widget : form->findChildren<QWidget *>()) {
        const QWidget *parent = widget->parentWidget();
        if (widget->isWindow() || (parent->layout() && parent->layout()->indexOf(widget) >= 0))
            continue;
        fit(widget);
    }
}

} // namespace TextFit
