#pragma once

// How a message lies in a picture.
//
// The hidden text is the framed message "start message" + text + "end message", one character
// per slot. Character k (from 0) occupies pixels 3k, 3k+1 and 3k+2, where pixels are numbered
// column by column: pixel n lies at x = n / H, y = n % H for a picture H pixels high, so a slot
// may begin at the foot of one column and end at the top of the next.
//
// A character is stored as its 8-bit code page code, most significant bit first, in the least
// significant bit of eight of the slot's nine components:
//
//     bit:        7     6     5     4     3     2     1     0
//     pixel:      3k    3k    3k    3k+1  3k+1  3k+1  3k+2  3k+2
//     component:  red   green blue  red   green blue  red   green
//
// The blue of pixel 3k+2 carries nothing and keeps its value; the upper seven bits of every
// carrier keep the picture's own value. There is no length field, checksum or key: the two
// markers are the only structure. A message of L framed characters needs 3L pixels.

#include <cstdint>
#include <string>
#include <string_view>

namespace lumenveil {

inline constexpr std::u16string_view StartMarker = u"start message";
inline constexpr std::u16string_view EndMarker = u"end message";

// Pixels that one character of the framed message occupies.
inline constexpr int PixelsPerChar = 3;

// The text to hide: StartMarker, the message text unchanged, EndMarker.
[[nodiscard]] std::u16string FramedMessage(std::u16string_view text);

// The binary digits of a character code, most significant first, padded with "0" to at least
// eight digits. Codes of 0 or below give "00000000"; codes above 255 give all their digits.
[[nodiscard]] std::string ByteToBits(std::int16_t code);

// The per-character transformations before a code is taken (hiding) and after a character is
// rebuilt (reading). Both hand back their one-character argument unchanged.
[[nodiscard]] std::u16string EncodeChar(std::u16string_view ch);
[[nodiscard]] std::u16string DecodeChar(std::u16string_view ch);

// Whether a UTF-16 code unit has a code in the Windows-1252 code page. The five bytes that
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for U+0081, U+008D, U+008F,
// U+0090 and U+009D, so every code 0..255 has exactly one character.
[[nodiscard]] bool IsStorableChar(char16_t ch);

// The Windows-1252 code of a character, 0..255; a character the code page cannot represent
// gives the code of '?', as the system's conversion does.
[[nodiscard]] std::int16_t CodeOfChar(char16_t ch);

// The one-character string whose Windows-1252 code is `code` (0..255).
[[nodiscard]] std::u16string CharOfCode(std::uint8_t code);

// Where pixel number `n` lies in a picture `height` pixels high.
struct PixelPosition
{
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPosition&, const PixelPosition&) = default;
};
[[nodiscard]] constexpr PixelPosition PositionOfPixel(std::int64_t n, int height)
{
    return {static_cast<int>(n / height), static_cast<int>(n % height)};
}

} // namespace lumenveil
