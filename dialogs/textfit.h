#pragma once

class QWidget;

// The forms place their widgets at fixed positions measured with another platform's fonts, so
// with the fonts here some texts no longer fit. growToText widens each label, push button and
// check box of a form (those placed by geometry, not by a layout) that is too narrow for its
// text, and leaves every other widget where the form puts it:
//  - it grows in the direction its alignment implies (a right-aligned label to the left, then
//    to the right; a centred one to both sides; a left-aligned label, a check box or a button
//    only to the right, so its text keeps starting where the form puts it), up to the nearest
//    widget of its row, never into the gap the form leaves before that widget, and no closer
//    to its parent's edge than the margin Qt's layouts keep; a label is pulled off the edge to
//    that margin; widgets that already share its place (shown in another state of the form)
//    are not in its way;
//  - what still lacks moves the whole column of the widget to its right (its field) over:
//    every widget from the field's left edge on moves, what reaches into the room before it
//    (the column's other labels, a frame or button spanning it) widens, and the form grows;
//    so every field of a column keeps one left edge;
//  - a label of several words with no field beside it wraps onto more lines, growing about its
//    vertical centre, when the rows above and below leave room;
//  - whatever still lacks makes the form wider, and what ended where the widget ended (the
//    fields of its column) widens along.
// Call it once, right after the form is set up.
namespace TextFit {

void growToText(QWidget *form);

} // namespace TextFit
