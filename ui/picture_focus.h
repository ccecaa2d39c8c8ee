#pragma once

#include <QObject>
#include <QRect>

class QScrollBar;
class QWidget;

namespace lumenveil::ui {

// The picture frame as a stop of the keyboard focus: while it has the focus a frame drawn in
// the highlight colour lines the part of it that shows the picture, and the keys scroll the
// picture through the two scroll bars, as the bars' own keys would: Left and Right across by a
// small step, Up and Down by one, Page Up and Page Down down by a page, Home and End to the
// top and the bottom, with Shift to the left and right edges. A disabled bar does not move.
class PictureFocus final : public QObject
{
    Q_OBJECT

public:
    // `shown` is the part of `frame` that the scroll bars leave uncovered, in its coordinates.
    PictureFocus(QWidget& frame, QRect shown, QScrollBar& across, QScrollBar& down);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& frame_;
    QWidget* outline_;
    QScrollBar& across_;
    QScrollBar& down_;
};

} // namespace lumenveil::ui
