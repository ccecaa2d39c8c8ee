#pragma once

#include <QPoint>
#include <QWidget>

namespace lumenveil {
class PixelBuffer;
}

namespace lumenveil::ui {

// A picture box: an area that shows an image at one screen pixel per image pixel and reports
// double-clicks.
//
// Its place inside its parent is kept in real numbers, as the view arithmetic gives it (a
// half pixel after centring; far negative for a scrolled large picture). On screen a
// fractional place is rounded down, and the widget covers only the part of the box that lies
// inside its parent, so a picture of any size makes a widget no larger than the frame.
class PictureBox final : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    // The pixels to show, or null for an empty box. They belong to the caller, must outlive
    // the box and are read afresh at every repaint, so pixels written into them show after
    // update().
    void SetPixels(const lumenveil::PixelBuffer* pixels);

    // Place and size within the parent, in pixels.
    void SetPlace(double left, double top, int width, int height);
    void SetLeft(double left);
    void SetTop(double top);

    [[nodiscard]] double Left() const { return left_; }
    [[nodiscard]] double Top() const { return top_; }
    [[nodiscard]] int BoxWidth() const { return width_; }
    [[nodiscard]] int BoxHeight() const { return height_; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void UpdateGeometry();

    const lumenveil::PixelBuffer* pixels_ = nullptr;
    double left_ = 0;
    double top_ = 0;
    int width_ = 0;
    int height_ = 0;
    QPoint offset_; // the box pixel shown at the widget's top-left corner
};

} // namespace lumenveil::ui
