#include "ui/picture_box.h"

#include "ui/picture_bridge.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace lumenveil::ui {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::SetPixels(const PixelBuffer* pixels)
{
    pixels_ = pixels;
    update();
}

void PictureBox::SetPlace(double left, double top, int width, int height)
{
    left_ = left;
    top_ = top;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    UpdateGeometry();
}

void PictureBox::SetLeft(double left)
{
    left_ = left;
    UpdateGeometry();
}

void PictureBox::SetTop(double top)
{
    top_ = top;
    UpdateGeometry();
}

double PictureBox::Scale() const
{
    const double scale = devicePixelRatioF();
    return scale > 0 ? scale : 1.0;
}

void PictureBox::UpdateGeometry()
{
    // The box's first device pixel, rounded down; the widget covers the frame pixels it
    // touches, inside the parent.
    const double scale = Scale();
    origin_ = QPoint(static_cast<int>(std::floor(left_)), static_cast<int>(std::floor(top_)));
    const QRectF box(origin_.x() / scale, origin_.y() / scale, width_ / scale, height_ / scale);
    const QRect covered = box.toAlignedRect();
    const QRect shown =
        parentWidget() != nullptr ? covered.intersected(parentWidget()->rect()) : covered;
    setGeometry(shown.isEmpty() ? QRect(covered.topLeft(), QSize(0, 0)) : shown);
    // The widget may keep its geometry while the box moves beneath it.
    update();
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, palette().color(backgroundRole()));
    QImage image = pixels_ != nullptr ? ImageOf(*pixels_) : QImage();
    if (image.isNull()) {
        return;
    }
    // One device pixel for each picture pixel, whatever the scale: the picture is drawn at
    // the screen's own resolution, never stretched by a fraction.
    const double scale = Scale();
    image.setDevicePixelRatio(scale);
    const QPointF at(origin_.x() / scale - x(), origin_.y() / scale - y());
    const QRectF target = QRectF(area).intersected(
        QRectF(at, QSizeF(image.width() / scale, image.height() / scale)));
    if (target.isEmpty()) {
        return;
    }
    const QRectF source((target.x() - at.x()) * scale, (target.y() - at.y()) * scale,
                        target.width() * scale, target.height() * scale);
    painter.drawImage(target, image, source);
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    emit doubleClicked();
}

} // namespace lumenveil::ui
