#pragma once

#include <QObject>

class QScrollBar;
class QWidget;

namespace lumenveil::ui {

// The mouse wheel over the picture frame scrolls the picture through the two scroll bars: a
// vertical wheel down and up, Shift with the wheel or a horizontal wheel across. Each turn goes
// to its bar as if the wheel were turned over the bar itself, so the bar's own steps and its
// change reaction apply; a disabled bar does not move.
class WheelScroll final : public QObject
{
    Q_OBJECT

public:
    WheelScroll(QScrollBar& across, QScrollBar& down, QObject* parent);

    // Scrolls with the wheel turned over `widget`.
    void Watch(QWidget& widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QScrollBar& across_;
    QScrollBar& down_;
};

} // namespace lumenveil::ui
