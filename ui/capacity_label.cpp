#include "ui/capacity_label.h"

#include "codec/hidden_text.h"
#include "codec/message_layout.h"

#include <QFontMetrics>

namespace lumenveil::ui {

namespace {

// Reports only its size. HideText checks the text and the size before it touches a pixel, so
// on a grid the text cannot fit in it says what it would refuse, and never reads or writes.
class SizeOnlyGrid final : public PixelGrid
{
public:
    SizeOnlyGrid(int width, int height) : width_(width), height_(height) {}

    int ImageWidth() const override { return width_; }
    int ImageHeight() const override { return height_; }
    ColorValue ReadPixel(int /*x*/, int /*y*/) const override { return 0; }
    void WritePixel(int /*x*/, int /*y*/, ColorValue /*color*/) override {}

private:
    int width_;
    int height_;
};

// The smallest point size the label shrinks to; below it the text is cut with an ellipsis.
constexpr qreal SmallestPointSize = 6.0;

} // namespace

CapacityReport DescribeCapacity(std::u16string_view hidden, int width, int height)
{
    if (width <= 0 || height <= 0) {
        return {};
    }
    const auto length = static_cast<std::int64_t>(hidden.size());
    CapacityReport report;
    report.text =
        QStringLiteral("%1 of %2 characters").arg(length).arg(CapacityInChars(width, height));

    // The markers need their pixels even around an empty text.
    const auto markers = static_cast<std::int64_t>(StartMarker.size() + EndMarker.size());
    const bool fits = PixelsPerChar * (length + markers) <= std::int64_t{width} * height;
    // A text that fits is checked on an empty grid, which finds characters that cannot be
    // stored and the end marker; one that does not fit on the picture's size, which also
    // gives the codec's own shortfall.
    SizeOnlyGrid grid(fits ? 0 : width, fits ? 0 : height);
    const HideOutcome outcome = HideText(grid, hidden);
    if (outcome.status != HideStatus::DoesNotFit || !fits) {
        report.refused = true;
        report.why = QString::fromStdString(DescribeHideOutcome(outcome));
    }
    return report;
}

CapacityLabel::CapacityLabel(QWidget* parent) : QLabel(parent)
{
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setTextInteractionFlags(Qt::NoTextInteraction);
}

void CapacityLabel::Show(const CapacityReport& report)
{
    setText(report.text);
    setToolTip(report.why);
    if (report.refused) {
        QPalette colours = palette();
        colours.setColor(QPalette::WindowText, Qt::red);
        setPalette(colours);
    } else {
        setPalette(QPalette()); // the window's colours again
    }
    FitFont();
}

void CapacityLabel::FitFont()
{
    // A font sized in pixels reports -1 points and is kept as it is.
    QFont font = parentWidget() != nullptr ? parentWidget()->font() : QFont();
    const QRect room = contentsRect();
    while (font.pointSizeF() > SmallestPointSize &&
           !room.contains(
               QFontMetrics(font).boundingRect(room, Qt::TextWordWrap | alignment(), text()))) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    setFont(font);
}

} // namespace lumenveil::ui
