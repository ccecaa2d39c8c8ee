#include "ui/capacity_label.h"

#include "codec/hidden_text.h"

#include <QFontMetrics>
#include <QTextDocument>

namespace lumenveil::ui {

namespace {

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

    const HideOutcome outcome = CheckHide(hidden, width, height);
    if (outcome.status != HideStatus::Hidden) {
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
    // As rich text a tool tip wraps at a readable width; plain, it is one line across the
    // screen.
    setToolTip(report.why.isEmpty() ? QString()
                                    : Qt::convertFromPlainText(report.why, Qt::WhiteSpaceNormal));
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
