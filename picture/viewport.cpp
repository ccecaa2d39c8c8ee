#include "picture/viewport.h"

#include <algorithm>

namespace lumenveil {

namespace {

// One axis: centred where the picture is smaller than the frame, else at 0 with a bar.
struct Axis
{
    double place = 0;
    ScrollBarSetting bar;
};

Axis ArrangeAxis(int picture, int frame)
{
    picture = std::max(picture, 0);
    Axis axis;
    // picture >= 0 and frame is small, so the difference cannot overflow.
    axis.bar.maximum = picture - frame;
    axis.bar.enabled = picture >= frame;
    if (!axis.bar.enabled) {
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
