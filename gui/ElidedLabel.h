// A label for a name that may be longer than the room it gets (the status bar's window name):
// it asks for room for the whole name, and where the layout gives it less, it shows the name
// elided in the middle, so that both the start (the date of a library memo) and the end (its
// title and extension) stay in sight. text() is the whole name.
#pragma once

#include <QLabel>

class TElidedLabel : public QLabel {
public:
    using QLabel::QLabel;
    // The text as it is painted at the label's present width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
