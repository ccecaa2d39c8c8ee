#include "codec/hidden_text.h"

#include "codec/message_layout.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <vector>

namespace lumenveil {

namespace {

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The characters of `text` without a code, each once, surrogate pairs joined.
std::u32string UnstorableCharacters(std::u16string_view text)
{
    std::u32string found;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsStorableChar(unit)) {
            continue;
        }
        char32_t cp = unit;
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        }
        if (found.find(cp) == std::u32string::npos) {
            found += cp;
        }
    }
    return found;
}

// Whether reading `text` back would stop before its end: the reader stops at the first end
// marker it meets, which must be the one that follows the text. That fails for a text containing
// the marker, and for one ending in a part of it that the marker completes ("end messag").
bool EndsEarly(std::u16string_view text)
{
    std::u16string hidden(text);
    hidden += EndMarker;
    return hidden.find(EndMarker) != text.size();
}

int ClearLsb(int component) { return component - component % 2; }

// The code that the three pixels of a slot carry, from their CarrierBits: three bits of the
// first, three of the second, red and green of the third (its blue carries nothing).
constexpr std::uint8_t SlotCode(const std::uint8_t* carriers)
{
    return static_cast<std::uint8_t>(carriers[0] << 5 | carriers[1] << 2 | carriers[2] >> 1);
}

// The start marker is tested once its 13 slots are read, before pixel 39 is.
constexpr std::int64_t StartTestPixel = PixelsPerChar * std::ssize(StartMarker);

// The most pixels the scan reads at once, so that their bits stay in the cache. A
// multiple of three, like every read before the last, so that no slot straddles two reads.
constexpr std::int64_t MostPixelsPerRead = PixelsPerChar * 65536;

// `marker` as codes. Codes below 128 stand for the ASCII character of that number and the
// markers are ASCII, so codes compare as the characters would.
std::string CodesOf(std::u16string_view marker)
{
    return std::string(marker.begin(), marker.end());
}

// The characters the codes stand for.
std::u16string TextOfCodes(std::string_view codes)
{
    static const std::array<char16_t, 256> characters = [] {
        std::array<char16_t, 256> table{};
        for (std::size_t code = 0; code < table.size(); ++code) {
            table[code] = DecodeChar(CharOfCode(static_cast<std::uint8_t>(code))).front();
        }
        return table;
    }();
    std::u16string text(codes.size(), u'\0');
    std::transform(codes.begin(), codes.end(), text.begin(),
                   [](char c) { return characters[static_cast<unsigned char>(c)]; });
    return text;
}

} // namespace

void StoreCharInSlot(PixelGrid& grid, std::int64_t slot, char16_t ch)
{
    const std::u16string encoded = EncodeChar(std::u16string_view(&ch, 1));
    const std::string digits = ByteToBits(CodeOfChar(encoded.front()));
    std::array<int, 8> d{};
    for (std::size_t j = 0; j < d.size(); ++j) {
        d[j] = digits[j] - '0';
    }

    // All three pixels are read before any is written.
    const int height = grid.ImageHeight();
    const std::int64_t s = PixelsPerChar * slot;
    const PixelPosition p0 = PositionOfPixel(s, height);
    const PixelPosition p1 = PositionOfPixel(s + 1, height);
    const PixelPosition p2 = PositionOfPixel(s + 2, height);
    const ColorValue v0 = grid.ReadPixel(p0.x, p0.y);
    const ColorValue v1 = grid.ReadPixel(p1.x, p1.y);
    const ColorValue v2 = grid.ReadPixel(p2.x, p2.y);

    grid.WritePixel(p0.x, p0.y,
                    ComposeColor(ClearLsb(RedOf(v0)) + d[0], ClearLsb(GreenOf(v0)) + d[1],
                                 ClearLsb(BlueOf(v0)) + d[2]));
    grid.WritePixel(p1.x, p1.y,
                    ComposeColor(ClearLsb(RedOf(v1)) + d[3], ClearLsb(GreenOf(v1)) + d[4],
                                 ClearLsb(BlueOf(v1)) + d[5]));
    grid.WritePixel(p2.x, p2.y,
                    ComposeColor(ClearLsb(RedOf(v2)) + d[6], ClearLsb(GreenOf(v2)) + d[7],
                                 BlueOf(v2)));
}

std::uint8_t ReadSlotCode(const PixelGrid& grid, std::int64_t slot)
{
    std::array<std::uint8_t, PixelsPerChar> carriers{};
    grid.ReadCarrierBits(PixelsPerChar * slot, PixelsPerChar, carriers.data());
    return SlotCode(carriers.data());
}

std::int64_t CapacityInChars(int width, int height)
{
    if (width <= 0 || height <= 0) {
        return 0;
    }
    const std::int64_t slots = std::int64_t{width} * height / PixelsPerChar;
    const auto markers = static_cast<std::int64_t>(StartMarker.size() + EndMarker.size());
    return std::max<std::int64_t>(0, slots - markers);
}

HideOutcome CheckHide(std::u16string_view text, int width, int height)
{
    if (auto unstorable = UnstorableCharacters(text); !unstorable.empty()) {
        return {HideStatus::UnstorableCharacters, 0, std::move(unstorable)};
    }
    if (EndsEarly(text)) {
        return {HideStatus::ContainsEndMarker, 0, {}};
    }
    const auto markers = static_cast<std::int64_t>(StartMarker.size() + EndMarker.size());
    const std::int64_t needed = PixelsPerChar * (static_cast<std::int64_t>(text.size()) + markers);
    const std::int64_t pixels = width > 0 && height > 0 ? std::int64_t{width} * height : 0;
    if (needed > pixels) {
        return {HideStatus::DoesNotFit, needed - pixels, {}};
    }
    return {HideStatus::Hidden, 0, {}};
}

std::u16string FramedOver(std::u16string_view text, const ReadOutcome& old)
{
    std::u16string framed = FramedMessage(text);
    if (old.status != ReadStatus::Found) {
        return framed;
    }
    const std::size_t oldSlots = StartMarker.size() + old.text.size() + EndMarker.size();
    if (oldSlots <= framed.size()) {
        return framed;
    }
    // Random codes rather than a fixed one, which would show where the old message ended.
    // Each draw gives four codes.
    static_assert(std::random_device::max() == 0xFFFFFFFFu);
    std::random_device random;
    framed.reserve(oldSlots);
    while (framed.size() < oldSlots) {
        for (unsigned bits = random(), k = 0; k < 4 && framed.size() < oldSlots; ++k, bits >>= 8) {
            framed += CharOfCode(static_cast<std::uint8_t>(bits)).front();
        }
    }
    return framed;
}

HideOutcome HideText(PixelGrid& grid, std::u16string_view text)
{
    HideOutcome outcome = CheckHide(text, grid.ImageWidth(), grid.ImageHeight());
    if (outcome.status == HideStatus::Hidden) {
        const std::u16string framed = FramedOver(text, ReadText(grid));
        for (std::size_t i = 0; i < framed.size(); ++i) {
            StoreCharInSlot(grid, static_cast<std::int64_t>(i), framed[i]);
        }
    }
    return outcome;
}

namespace {

// Rows top .. bottom - 1 of another grid: the others, which may not be decoded yet, are never
// read (they read as black) and never written.
class RowsOfGrid final : public PixelGrid
{
public:
    RowsOfGrid(PixelGrid& grid, int top, int bottom) : grid_(grid), top_(top), bottom_(bottom) {}

    int ImageWidth() const override { return grid_.ImageWidth(); }
    int ImageHeight() const override { return grid_.ImageHeight(); }
    ColorValue ReadPixel(int x, int y) const override
    {
        return Inside(y) ? grid_.ReadPixel(x, y) : 0;
    }
    void WritePixel(int x, int y, ColorValue color) override
    {
        if (Inside(y)) {
            grid_.WritePixel(x, y, color);
        }
    }

private:
    bool Inside(int y) const { return y >= top_ && y < bottom_; }

    PixelGrid& grid_;
    int top_;
    int bottom_;
};

} // namespace

void StoreFramedRows(PixelGrid& grid, std::u16string_view framed, int top, int bottom)
{
    const std::int64_t height = grid.ImageHeight();
    const std::int64_t end = PixelsPerChar * static_cast<std::int64_t>(framed.size());
    RowsOfGrid rows(grid, top, bottom);
    // Column by column, the slots with a pixel between the band's first and last row.
    for (std::int64_t column = 0; column * height < end && top < bottom; ++column) {
        const std::int64_t first = column * height + top;
        const std::int64_t last = std::min(column * height + bottom, end) - 1;
        for (std::int64_t slot = first / PixelsPerChar; slot <= last / PixelsPerChar; ++slot) {
            StoreCharInSlot(rows, slot, framed[static_cast<std::size_t>(slot)]);
        }
    }
}

namespace {

// Whether the first codes of a scan (fewer than the start marker's) already settle it: they
// begin neither the start marker nor an end marker that could be complete by the 13th code
// (one that begins at code 0, 1 or 2), so that no pixel further on can change the outcome.
bool CannotHoldAMessage(std::string_view codes, std::string_view startCodes,
                        std::string_view endCodes)
{
    if (startCodes.starts_with(codes)) {
        return false;
    }
    for (std::size_t at = 0; at + endCodes.size() <= startCodes.size(); ++at) {
        if (codes.size() <= at || endCodes.starts_with(codes.substr(at))) {
            return false;
        }
    }
    return true;
}

} // namespace

ReadOutcome ReadText(const PixelGrid& grid)
{
    const int width = grid.ImageWidth();
    const int height = grid.ImageHeight();
    const std::int64_t pixels = width > 0 && height > 0 ? std::int64_t{width} * height : 0;

    // Until the start test the pixels come a slot at a time, and the scan ends as soon as
    // what it read can begin no message: a photo that holds none is mostly settled by its
    // first few pixels. Then they come in reads of growing size, each half as large as all
    // before it: a short message costs a few small reads, a long scan few large ones, and no
    // read goes further past the message's end than half the way the scan had come before it.
    static const std::string startCodes = CodesOf(StartMarker);
    static const std::string endCodes = CodesOf(EndMarker);
    const ReadOutcome withoutMessage = {
        pixels > StartTestPixel ? ReadStatus::NoStartMarker : ReadStatus::TooSmall, {}};
    std::string codes; // one per slot: the start marker's, then the message's
    std::vector<std::uint8_t> strip; // CarrierBits of the pixels just read
    std::int64_t next = 0; // the first pixel not read yet
    while (next < pixels) {
        if (next == StartTestPixel) { // 13 codes read: exactly the start marker's length
            if (codes != startCodes) {
                return {ReadStatus::NoStartMarker, {}};
            }
            codes.clear();
        }
        const std::int64_t half = next / 2 / PixelsPerChar * PixelsPerChar;
        const std::int64_t wanted = next < StartTestPixel
                                        ? PixelsPerChar
                                        : std::clamp(half, StartTestPixel, MostPixelsPerRead);
        const std::int64_t count = std::min(wanted, pixels - next);
        strip.resize(static_cast<std::size_t>(count));
        grid.ReadCarrierBits(next, count, strip.data());
        next += count;

        const std::size_t old = codes.size();
        codes.resize(old + static_cast<std::size_t>(count / PixelsPerChar));
        for (std::size_t k = old, i = 0; k < codes.size(); ++k, i += PixelsPerChar) {
            codes[k] = static_cast<char>(SlotCode(strip.data() + i));
        }
        // The first end marker that ends among the new codes, the earliest being the one the
        // scan would have stopped at, slot by slot.
        const std::size_t end = codes.find(endCodes, old - std::min(old, endCodes.size() - 1));
        if (end != std::string::npos) {
            codes.resize(end);
            return {ReadStatus::Found, TextOfCodes(codes)};
        }
        if (next < StartTestPixel && CannotHoldAMessage(codes, startCodes, endCodes)) {
            return withoutMessage;
        }
    }
    return {pixels > StartTestPixel ? ReadStatus::NoEndMarker : ReadStatus::TooSmall, {}};
}

std::string TextToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00);
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::optional<std::u16string> DecodeUtf8(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        int length = 0;
        char32_t cp = 0;
        char32_t least = 0; // the smallest code point of that length: shorter is overlong
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) {
            length = 2, cp = lead & 0x1Fu, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, cp = lead & 0x0Fu, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, cp = lead & 0x07u, least = 0x10000;
        } else {
            return std::nullopt;
        }
        if (utf8.size() - i < static_cast<std::size_t>(length)) {
            return std::nullopt;
        }
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            cp = cp << 6 | (next & 0x3Fu);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return std::nullopt;
        }
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += static_cast<std::size_t>(length);
    }
    return out;
}

std::string NameCharacters(std::u32string_view characters, std::size_t most)
{
    std::string out;
    const std::size_t shown = std::min(characters.size(), most);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += "\u201C";
        AppendUtf8(out, characters[i]);
        std::array<char, 16> code{};
        std::snprintf(code.data(), code.size(), "\u201D (U+%04X)",
                      static_cast<unsigned>(characters[i]));
        out += code.data();
    }
    if (characters.size() > shown) {
        out += " and " + std::to_string(characters.size() - shown) + " more";
    }
    return out;
}

std::string DescribeHideOutcome(const HideOutcome& outcome)
{
    switch (outcome.status) {
    case HideStatus::Hidden: return "The message is hidden in the picture.";
    case HideStatus::DoesNotFit: {
        // Characters over, not pixels: the last one counts even when it partly fits.
        const std::int64_t over = (outcome.shortfall + PixelsPerChar - 1) / PixelsPerChar;
        return "Text is " + std::to_string(over) + (over == 1 ? " character" : " characters") +
               " longer than this picture can store!";
    }
    case HideStatus::UnstorableCharacters:
        return "The text contains characters that cannot be hidden in a picture: " +
               NameCharacters(outcome.unstorable) +
               ". Only the characters of the Western European (Windows-1252) set can be "
               "stored. Replace or remove them and try again.";
    case HideStatus::ContainsEndMarker:
        return "The text contains the words \u201C" + std::string("end message") +
               "\u201D, or ends with the first part of them, and those words mark the end of a "
               "hidden message: it would read back cut off where they begin. Change those words "
               "and try again.";
    }
    return {};
}

std::string DescribeReadOutcome(const ReadOutcome& outcome)
{
    switch (outcome.status) {
    case ReadStatus::Found: return "The picture holds a hidden message.";
    case ReadStatus::NoStartMarker:
    case ReadStatus::TooSmall: return "This image has no secret message!";
    case ReadStatus::NoEndMarker:
        return "The hidden message is incomplete: its end marker is missing.";
    }
    return {};
}

} // namespace lumenveil
