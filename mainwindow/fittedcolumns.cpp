#include "fittedcolumns.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <algorithm>
#include <cmath>

FittedColumns::FittedColumns(QTableView *table, const QVector<int> &stretching)
    : QObject(table), table(table), viewport(table->viewport()), stretching(stretching)
{
    QHeaderView *header = table->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    viewport->installEventFilter(this);
    table->installEventFilter(this);
}

void FittedColumns::ensureColumns()
{
    const int columns = table->horizontalHeader()->count();
    if (least.size() == columns)
        return;
    least.resize(columns);
    headerWidth.fill(0, columns);
    padding[0] = cellPadding(false);
    padding[1] = cellPadding(true);
    for (int column = 0; column < columns; ++column)
        headerWidth[column] = table->horizontalHeader()->sectionSizeHint(column);
}

void FittedColumns::reset()
{
    least.fill(0);
    spanning = 0;
    ensureColumns();
}

FittedColumns::Advances &FittedColumns::advancesFor(const QFont *font)
{
    if (fonts.empty()) { // also after the table's font changed
        fonts.push_back(std::make_unique<Advances>());
        fonts.front()->font = table->font();
    }
    Advances *found = fonts.front().get();
    if (font && *font != found->font) {
        auto it = std::find_if(fonts.begin(), fonts.end(), [font](const auto &a) { return a->font == *font; });
        if (it == fonts.end()) {
            fonts.push_back(std::make_unique<Advances>());
            fonts.back()->font = *font;
            it = fonts.end() - 1;
        }
        found = it->get();
    }
    if (!found->filled) {
        const QFontMetricsF metrics(found->font, table);
        for (int c = 0; c < 128; ++c)
            found->ascii[c] = metrics.horizontalAdvance(QChar(c));
        found->filled = true;
    }
    return *found;
}

int FittedColumns::textWidth(const QString &text, const QFont *font)
{
    Advances &advances = advancesFor(font);
    qreal width = 0.0;
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            width += advances.ascii[c.unicode()];
            continue;
        }
        auto it = advances.other.constFind(c);
        if (it == advances.other.constEnd())
            it = advances.other.insert(c, QFontMetricsF(advances.font, table).horizontalAdvance(c));
        width += *it;
    }
    return int(std::ceil(width));
}

int FittedColumns::cellPadding(bool icon) const
{
    // The item delegate keeps a margin on either side of the text, and of the icon when there
    // is one; the grid line takes a pixel of the section, and one more covers the rounding.
    const int margin = table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1;
    int padding = 2 * margin + (table->showGrid() ? 1 : 0) + 1;
    if (icon) {
        const int size = table->iconSize().isValid() ? table->iconSize().width()
                                                      : table->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, table);
        padding += size + 2 * margin;
    }
    return padding;
}

bool FittedColumns::fit(int column, const QString &text, bool icon, const QFont *font)
{
    if (column >= least.size())
        ensureColumns();
    if (column < 0 || column >= least.size())
        return false;
    const int width = textWidth(text, font) + padding[icon ? 1 : 0];
    if (width <= least[column])
        return false;
    least[column] = width;
    return true;
}

bool FittedColumns::fitSpanning(const QString &text, const QFont &font)
{
    const int width = textWidth(text, &font) + padding[0];
    if (width <= spanning)
        return false;
    spanning = width;
    return true;
}

void FittedColumns::holdColumn(int column, int contentWidth)
{
    ensureColumns();
    held.insert(column, contentWidth);
    if (column >= 0 && column < least.size())
        table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Fixed);
}

int FittedColumns::leastWidth(int column) const
{
    return column >= 0 && column < least.size() ? qMax(least[column], headerWidth[column]) : 0;
}

void FittedColumns::setArranged(bool on)
{
    arranged = on;
    ensureColumns();
    QHeaderView *header = table->horizontalHeader();
    for (int column = 0; column < least.size(); ++column)
        header->setSectionResizeMode(column, on || held.contains(column) ? QHeaderView::Fixed : QHeaderView::Interactive);
    apply();
}

void FittedColumns::apply()
{
    ensureColumns();
    const int columns = least.size();
    QHeaderView *header = table->horizontalHeader();
    QVector<int> widths(columns);
    int total = 0;
    for (int column = 0; column < columns; ++column) {
        const auto hold = held.constFind(column);
        widths[column] = hold != held.constEnd() ? *hold + padding[0] : leastWidth(column);
        // The user's width stands as long as the texts have room in it.
        if (!arranged && hold == held.constEnd())
            widths[column] = qMax(widths[column], header->sectionSize(column));
        total += widths[column];
    }

    // Stretch as a stretched header does: the stretching columns grow towards one common width,
    // none narrower than its text, until they fill the viewport (and a spanning text).
    const int available = qMax(viewport->width(), spanning);
    QVector<int> stretched;
    for (int column = 0; column < columns; ++column)
        if ((stretching.isEmpty() || stretching.contains(column)) && !held.contains(column))
            stretched << column;
    if (arranged && available > total && !stretched.isEmpty()) {
        int room = available - total;
        for (int column : qAsConst(stretched))
            room += widths[column];
        std::sort(stretched.begin(), stretched.end(), [&widths](int a, int b) { return widths[a] > widths[b]; });
        int count = stretched.size();
        int first = 0;
        while (count > 0 && widths[stretched[first]] * count > room) { // keeps its own width
            room -= widths[stretched[first++]];
            --count;
        }
        if (count > 0) {
            const int level = room / count;
            int remainder = room % count;
            for (int i = first; i < stretched.size(); ++i)
                widths[stretched[i]] = level + (remainder-- > 0 ? 1 : 0);
        }
    }

    for (int column = 0; column < columns; ++column)
        if (header->sectionSize(column) != widths[column])
            header->resizeSection(column, widths[column]);
    laidOutFor = viewport->width();
}

bool FittedColumns::eventFilter(QObject *watched, QEvent *event)
{
    // The viewport is compared by the pointer kept at the start: while the table is being
    // destroyed its viewport still receives events, and the table may no longer be asked.
    if (watched == viewport && event->type() == QEvent::Resize && viewport->width() != laidOutFor)
        apply();
    else if (watched == table && event->type() == QEvent::FontChange) {
        fonts.clear();
        headerWidth.clear(); // the texts given so far keep their widths until the next reset
        const QVector<int> kept = least;
        least.clear();
        ensureColumns();
        if (kept.size() == least.size())
            least = kept;
        apply();
    }
    return QObject::eventFilter(watched, event);
}
