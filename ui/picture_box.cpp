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

void PictureBox::UpdateGeometry()
{
    const QPoint origin(static_cast<int>(std::floor(left_)), static_cast<int>(std::floor(top_)));
    const QRect box(origin, QSize(width_, height_));
    const QRect shown = parentWidget() != nullptr ? box.intersected(parentWidget()->rect()) : box;
    if (shown.isEmpty()) {
        offset_ = QPoint();
        setGeometry(QRect(origin, QSize(0, 0)));
    } else {
        offset_ = shown.topLeft() - origin;
        setGeometry(shown);
    }
    // The widget may keep its geometry while the box moves beneath it.
    update();
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    const QImage image = pixels_ != nullptr ? ImageOf(*pixels_) : QImage();
    if (image.isNull()) {
        painter.fillRect(area, palette().color(backgroundRole()));
        return;
    }
    const QRect source = area.translated(offset_);
    painter.fillRect(area, palette().color(backgroundRole()));
    painter.drawImage(area.topLeft(), image, source);
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    emit doubleClicked();
}

} // namespace lumenveil::ui
