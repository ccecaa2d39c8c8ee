#pragma once

#include <QPoint>
#include <QWidget>

namespace lumenveil {
class PixelBuffer;
}

namespace lumenveil::ui {

// A picture box: an area that shows an image at one device pixel per image pixel, at any scale
// of the screen, and reports double-clicks.
//
// Its place inside its parent and its size are kept in device pixels, as the view arithmetic
// gives them (the place may be a half pixel after centring, far negative for a scrolled large
// picture). On screen a fractional place is rounded down, and the widget covers only the part
// of the box that lies inside its parent, so a picture of any size makes a widget no larger
// than the frame.
class PictureBox final : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    // The pixels to show, or null for an empty box. They belong to the caller, must outlive
    // the box and are read afresh at every repaint, so pixels written into them show after
    // update().
    void SetPixels(const lumenveil::PixelBuffer* pixels);

    // Place and size within the parent, in device pixels.
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
    // Device pixels to a pixel of the widget's own.
    [[nodiscard]] double Scale() const;
    void UpdateGeometry();

    const lumenveil::PixelBuffer* pixels_ = nullptr;
    double left_ = 0;
    double top_ = 0;
    int width_ = 0;
    int height_ = 0;
    QPoint origin_; // the box's top-left corner in the parent, in device pixels, rounded down
};

} // namespace lumenveil::ui
