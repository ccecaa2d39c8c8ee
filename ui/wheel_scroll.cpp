#include "ui/wheel_scroll.h"

#include <QCoreApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWidget>

namespace lumenveil::ui {

WheelScroll::WheelScroll(QScrollBar& across, QScrollBar& down, QObject* parent)
    : QObject(parent), across_(across), down_(down)
{
}

void WheelScroll::Watch(QWidget& widget)
{
    widget.installEventFilter(this);
}

bool WheelScroll::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel) {
        return QObject::eventFilter(watched, event);
    }
    const auto* wheel = static_cast<QWheelEvent*>(event);
    const bool shift = wheel->modifiers().testFlag(Qt::ShiftModifier);
    const bool sideways = wheel->angleDelta().x() != 0 || shift;
    QScrollBar& bar = sideways ? across_ : down_;
    if (bar.isEnabled()) {
        // Shift only chose the bar: without it the bar takes the turn as ordinary steps, not
        // as a page.
        QWheelEvent turn(bar.mapFromGlobal(wheel->globalPosition()), wheel->globalPosition(),
                         wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(),
                         wheel->modifiers() & ~Qt::ShiftModifier, wheel->phase(), wheel->inverted(),
                         wheel->source());
        QCoreApplication::sendEvent(&bar, &turn);
    }
    event->accept();
    return true;
}

} // namespace lumenveil::ui
