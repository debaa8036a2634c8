#pragma once

class QWidget;

// The forms place their widgets at fixed positions measured with another platform's fonts, so
// with the fonts here some texts no longer fit. growToText widens each label, push button and
// check box of a form (those placed by geometry, not by a layout) that is too narrow for its
// text, and leaves every other widget where the form puts it:
//  - it grows in the direction its alignment implies (a right-aligned label to the left, a
//    left-aligned one to the right, a centred one to both sides), then the other way, up to the
//    nearest widget of its row or the edge of its parent; widgets that already share its place
//    (shown in another state of the form) are not in its way;
//  - what still lacks is given up by the widget to its right (its field) from its near edge,
//    as long as that keeps the room its own content needs;
//  - a label of several words that still does not fit wraps onto more lines, growing about its
//    vertical centre, when the rows above and below leave room.
// Call it once, right after the form is set up.
namespace TextFit {

void growToText(QWidget *form);

} // namespace TextFit
