#include "picture/viewport.h"

#include <algorithm>

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

Axis ArrangeAxis(int picture, int frame)
{
    picture = std::max(picture, 0);
    const int shown = frame - CoveredStrip;
    Axis axis;
    axis.bar.enabled = picture >= shown;
    // picture >= 0 and frame is small, so the differences cannot overflow.
    if (axis.bar.enabled) {
        axis.bar.maximum = picture - shown;
    } else {
        axis.bar.maximum = picture - frame;
        axis.place = (static_cast<double>(frame) - static_cast<double>(picture)) / 2.0;
    }
    return axis;
}

} // namespace

ViewArrangement ArrangeView(int width, int height)
{
    const Axis across = ArrangeAxis(width, FrameWidth);
    const Axis down = ArrangeAxis(height, FrameHeight);
    return {across.place, down.place, across.bar, down.bar};
}

} // namespace lumenveil
