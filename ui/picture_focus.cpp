#include "ui/picture_focus.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWidget>

namespace lumenveil::ui {

namespace {

// Two pixels of the highlight colour along the edges of the widget, over whatever lies below.
class Outline final : public QWidget
{
public:
    explicit Outline(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("PictureFocusFrame"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        const QColor colour = palette().color(QPalette::Active, QPalette::Highlight);
        const QRect all = rect();
        painter.fillRect(QRect(all.left(), all.top(), all.width(), 2), colour);
        painter.fillRect(QRect(all.left(), all.bottom() - 1, all.width(), 2), colour);
        painter.fillRect(QRect(all.left(), all.top(), 2, all.height()), colour);
        painter.fillRect(QRect(all.right() - 1, all.top(), 2, all.height()), colour);
    }
};

} // namespace

PictureFocus::PictureFocus(QWidget& frame, QRect shown, QScrollBar& across, QScrollBar& down)
    : QObject(&frame), frame_(frame), outline_(new Outline(&frame)), across_(across), down_(down)
{
    outline_->setGeometry(shown);
    // Only the outline's edges are painted; the picture shows through the rest.
    const QRect inner = QRect(QPoint(0, 0), shown.size()).adjusted(2, 2, -2, -2);
    outline_->setMask(QRegion(QRect(QPoint(0, 0), shown.size())).subtracted(QRegion(inner)));
    frame.setFocusPolicy(Qt::StrongFocus);
    frame.installEventFilter(this);
}

bool PictureFocus::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &frame_) {
        return QObject::eventFilter(watched, event);
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        outline_->setVisible(event->type() == QEvent::FocusIn);
        outline_->raise(); // over the picture, which may have been placed since
        return false;
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool shift = key->modifiers().testFlag(Qt::ShiftModifier);
    QScrollBar* bar = nullptr;
    QAbstractSlider::SliderAction action = QAbstractSlider::SliderNoAction;
    switch (key->key()) {
    case Qt::Key_Left: bar = &across_; action = QAbstractSlider::SliderSingleStepSub; break;
    case Qt::Key_Right: bar = &across_; action = QAbstractSlider::SliderSingleStepAdd; break;
    case Qt::Key_Up: bar = &down_; action = QAbstractSlider::SliderSingleStepSub; break;
    case Qt::Key_Down: bar = &down_; action = QAbstractSlider::SliderSingleStepAdd; break;
    case Qt::Key_PageUp: bar = &down_; action = QAbstractSlider::SliderPageStepSub; break;
    case Qt::Key_PageDown: bar = &down_; action = QAbstractSlider::SliderPageStepAdd; break;
    case Qt::Key_Home:
        bar = shift ? &across_ : &down_;
        action = QAbstractSlider::SliderToMinimum;
        break;
    case Qt::Key_End:
        bar = shift ? &across_ : &down_;
        action = QAbstractSlider::SliderToMaximum;
        break;
    default: return false;
    }
    if (bar->isEnabled()) {
        bar->triggerAction(action);
    }
    return true;
}

} // namespace lumenveil::ui
