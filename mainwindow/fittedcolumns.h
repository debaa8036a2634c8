#pragma once

#include <QFont>
#include <QHash>
#include <QObject>
#include <QVector>
#include <memory>
#include <vector>

class QString;
class QTableView;

// Column widths for a table whose prices, times and names must never be cut short.
//
// Every column is at least as wide as the widest text it was given since the last reset (and
// as its header label); the stretching columns share whatever the viewport has beyond that, as
// stretched sections do, and a viewport narrower than the columns together scrolls sideways.
// A text that spans the whole row (a summary) widens the columns together as far as it needs.
//
// Texts are measured by adding up the advances of their characters, looked up in a table kept
// per font, so the texts of a quote cost a few look-ups and no text layout. The sum leaves out
// kerning, which only narrows Latin text, so it never comes out narrower than the text shows.
// fit() only raises the least widths; apply() lays the columns out. The table calls apply()
// itself when its viewport changes width; the owner calls it after fitting texts, and only
// needs to when a fit() returned true.
//
// While the columns are not arranged (setArranged(false)) the user sizes them: nothing stretches,
// and apply() only widens a column narrower than its texts. A held column keeps its width in
// either case.
class FittedColumns : public QObject
{
public:
    // `stretching`: the columns that take the room left over; empty means all of them.
    explicit FittedColumns(QTableView *table, const QVector<int> &stretching = {});

    // Forgets the texts given so far (the rows were rebuilt); the header labels stay.
    void reset();

    // Makes room for `text` in `column`, with an icon before it when `icon`; true when the
    // column's least width rose. `font` null: the table's font.
    bool fit(int column, const QString &text, bool icon = false, const QFont *font = nullptr);
    // Makes room for a text spanning every column of its row.
    bool fitSpanning(const QString &text, const QFont &font);

    // Holds `column` at the width a widget `contentWidth` wide needs in its cell, whatever the
    // texts and the mode; it takes no share of the room left over. Kept over reset().
    void holdColumn(int column, int contentWidth);

    // The least width of a column as fitted so far.
    int leastWidth(int column) const;

    // True (the start): the columns are laid out here; false: the user sizes them.
    void setArranged(bool arranged);

    void apply();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Advances
    {
        QFont font;
        bool filled = false;
        qreal ascii[128];
        QHash<QChar, qreal> other;
    };
    Advances &advancesFor(const QFont *font);
    int textWidth(const QString &text, const QFont *font);
    int cellPadding(bool icon) const;
    void ensureColumns();

    QTableView *table;
    QWidget *viewport;
    QVector<int> stretching;
    QVector<int> least;       // per column, text widths only
    QVector<int> headerWidth; // per column
    QHash<int, int> held;     // column, content width
    bool arranged = true;
    int spanning = 0;
    int padding[2] = {0, 0}; // around a text, without and with an icon
    int laidOutFor = -1;      // the viewport width of the last layout
    std::vector<std::unique_ptr<Advances>> fonts; // the table's font first
};
