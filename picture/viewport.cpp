#include "picture/viewport.h"

#include <algorithm>
#include <cmath>

namespace lumenveil {

namespace {

// The scroll bars lie over the frame's last two pixel columns and rows, so only this much
// less of the frame shows the picture along each axis.
constexpr int CoveredStrip = 2;

// One axis: centred where the picture fits in the frame's uncovered part, else at 0 with a
// bar that can bring its last pixel out from under the other bar.
struct Axis
{
    double place = 0;
    ScrollBarSetting bar;
};

Axis ArrangeAxis(int picture, double frame, double scale)
{
    picture = std::max(picture, 0);
    const double shown = frame - CoveredStrip * scale;
    Axis axis;
    axis.bar.enabled = picture >= shown;
    // picture >= 0 and frame is small, so the differences cannot overflow.
    if (axis.bar.enabled) {
        axis.bar.maximum = static_cast<int>(std::ceil(picture - shown));
    } else {
        axis.bar.maximum = static_cast<int>(std::floor(picture - frame));
        axis.place = (frame - static_cast<double>(picture)) / 2.0;
    }
    return axis;
}

} // namespace

ViewArrangement ArrangeView(int width, int height, double scale)
{
    scale = scale > 0 ? scale : 1.0;
    const Axis across = ArrangeAxis(width, FrameWidth * scale, scale);
    const Axis down = ArrangeAxis(height, FrameHeight * scale, scale);
    return {across.place, down.place, across.bar, down.bar};
}

} // namespace lumenveil
