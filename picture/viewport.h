#pragma once

// Where the picture sits in the fixed viewing frame, and what the two scroll bars allow.
//
// All sizes and places are in pixels. The frame is 350 x 250; the picture box inside it is
// placed from the frame's inside top-left corner and has the picture's size. A scroll bar
// value v shows the picture from its pixel v onward along that bar's axis.

namespace lumenveil {

inline constexpr int FrameWidth = 350;
inline constexpr int FrameHeight = 250;

// The picture box's designed size, kept until the first picture is loaded.
inline constexpr int EmptyPictureWidth = 89;
inline constexpr int EmptyPictureHeight = 65;

// Arrow step (small change) and page step (large change) of each bar.
inline constexpr int HScrollSmallChange = 30;
inline constexpr int HScrollLargeChange = 50;
inline constexpr int VScrollSmallChange = 30;
inline constexpr int VScrollLargeChange = 30;

// One scroll bar after arranging. The minimum is always 0 and the value starts at 0.
struct ScrollBarSetting
{
    bool enabled = false;
    // Enabled: picture size minus the frame's uncovered size (the frame less the 2 pixels
    // under the other bar), so that the last pixel can be scrolled into view. Disabled:
    // picture size minus frame size, negative; the bar can only hold 0 then.
    int maximum = 0;

    friend bool operator==(const ScrollBarSetting&, const ScrollBarSetting&) = default;
};

// The place of the picture box in the frame and the setting of both bars.
struct ViewArrangement
{
    double left = 0; // may be a half pixel after centring
    double top = 0;
    ScrollBarSetting horizontal;
    ScrollBarSetting vertical;
};

// Arranges a picture of width x height pixels (both 0 or more) in the frame, drawn one device
// pixel for each of its pixels on a screen of `scale` device pixels to a frame pixel (1.5 on a
// desktop at 150%): the places and the bars' maxima and values are in device pixels then.
//
// Each bar is enabled when the picture is at least as large as the frame's uncovered part
// (348 x 248) along that bar's own axis, so a wide but short picture can still be scrolled
// sideways. On an axis where the picture is smaller it is centred in the frame, unrounded. The
// caller zeroes both bars before it places the picture, so that zeroing cannot move a centred
// picture back to the edge.
[[nodiscard]] ViewArrangement ArrangeView(int width, int height, double scale = 1.0);

// The left (or top) of the picture box for a horizontal (or vertical) bar value.
[[nodiscard]] constexpr double PlaceForScrollValue(int value)
{
    return -static_cast<double>(value);
}

} // namespace lumenveil
