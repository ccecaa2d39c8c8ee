#include "codec/message_layout.h"

#include <array>

namespace lumenveil {

namespace {

// Windows-1252 bytes 0x80..0x9F; the five undefined bytes stand for the C1 control of the same
// value so that all 256 codes round-trip.
constexpr std::array<char16_t, 32> HighControlBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98..9F
};

constexpr int NoCode = -1;

constexpr int Windows1252Code(char16_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) {
        return ch;
    }
    for (std::size_t i = 0; i < HighControlBlock.size(); ++i) {
        if (HighControlBlock[i] == ch) {
            return static_cast<int>(0x80 + i);
        }
    }
    return NoCode;
}

} // namespace

std::u16string FramedMessage(std::u16string_view text)
{
    std::u16string framed;
    framed.reserve(StartMarker.size() + text.size() + EndMarker.size());
    framed.append(StartMarker).append(text).append(EndMarker);
    return framed;
}

std::string ByteToBits(std::int16_t code)
{
    std::string digits;
    for (int value = code; value >= 1; value /= 2) {
        digits.insert(digits.begin(), static_cast<char>('0' + value % 2));
    }
    if (digits.size() < 8) {
        digits.insert(0, 8 - digits.size(), '0');
    }
    return digits;
}

std::u16string EncodeChar(std::u16string_view ch) { return std::u16string(ch); }

std::u16string DecodeChar(std::u16string_view ch) { return std::u16string(ch); }

bool IsStorableChar(char16_t ch) { return Windows1252Code(ch) != NoCode; }

std::int16_t CodeOfChar(char16_t ch)
{
    const int code = Windows1252Code(ch);
    return static_cast<std::int16_t>(code == NoCode ? '?' : code);
}

std::u16string CharOfCode(std::uint8_t code)
{
    if (code >= 0x80 && code <= 0x9F) {
        return std::u16string(1, HighControlBlock[code - 0x80]);
    }
    return std::u16string(1, static_cast<char16_t>(code));
}

} // namespace lumenveil
