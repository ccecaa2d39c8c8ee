#pragma once

#include <QByteArray>
#include <QList>
#include <QRgb>

#include <functional>

namespace lumenveil::test {

// The kinds of bitmap file the tests write by hand, byte by byte, so that every kind a reader
// meets in the wild is covered whatever Qt's own writer can produce.
enum class BitmapKind
{
    Palette1,
    Palette4,
    Palette8,
    Rle8,
    Rgb555,
    Rgb565, // BI_BITFIELDS
    Rgb24,
    Rgb32,
};

struct BitmapRecipe
{
    BitmapKind kind = BitmapKind::Rgb24;
    int width = 0;
    int height = 0;
    bool topDown = false;
    QList<QRgb> palette; // palette kinds
    // The palette index (palette kinds) or the colour (direct kinds) of each pixel.
    std::function<quint32(int x, int y)> pixel;
    QByteArray rawData; // where set, the pixel data exactly as given
};

// The bytes of a bitmap file following the recipe.
[[nodiscard]] QByteArray BuildBitmap(const BitmapRecipe& recipe);

} // namespace lumenveil::test
