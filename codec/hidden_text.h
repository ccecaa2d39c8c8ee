#pragma once

#include "codec/pixel_grid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumenveil {

enum class HideStatus
{
    Hidden,               // the framed message is in the picture
    DoesNotFit,           // the picture has too few pixels; nothing was touched
    UnstorableCharacters, // the text has characters without a code; nothing was touched
    ContainsEndMarker,    // the text would read back cut off at an end marker of its own
};

struct HideOutcome
{
    HideStatus status = HideStatus::Hidden;
    std::int64_t shortfall = 0;  // DoesNotFit: pixels missing, 3 * L - W * H (the user is told
                                 // of characters: this divided by 3, rounded up)
    std::u32string unstorable;   // UnstorableCharacters: each offending character once, in order
};

enum class ReadStatus
{
    Found,         // the text between the markers
    NoStartMarker, // the first 13 characters are not the start marker
    NoEndMarker,   // a start marker, but the pixels ran out before an end marker
    TooSmall,      // fewer than 40 pixels: the start test was never reached
};

struct ReadOutcome
{
    ReadStatus status = ReadStatus::Found;
    std::u16string text; // Found: the hidden text
};

// Stores one character at slot `slot` (pixels 3 * slot .. 3 * slot + 2): its code's eight
// digits go into the lowest bits of the carrier components; the slot must lie inside the grid.
void StoreCharInSlot(PixelGrid& grid, std::int64_t slot, char16_t ch);

// The code (0..255) that slot `slot` carries.
[[nodiscard]] std::uint8_t ReadSlotCode(const PixelGrid& grid, std::int64_t slot);

// Characters of text a picture of width x height pixels can hold, markers counted out.
[[nodiscard]] std::int64_t CapacityInChars(int width, int height);

// What hiding `text` stores, slot by slot, in a picture where ReadText found `old`: the framed
// text, then, where the old framed message reaches further, a character of a random code (from
// std::random_device) for each of its slots past the new one, so that no part of the old
// message can be read any more. A picture without a message gets the framed text alone.
[[nodiscard]] std::u16string FramedOver(std::u16string_view text, const ReadOutcome& old);

// Hides `text`, framed by the markers, in the first 3 * L pixels of `grid`, and overwrites
// what is left of a longer message the grid carried (see FramedOver). The text is checked
// first: when the outcome is not Hidden, no pixel has been read or written.
[[nodiscard]] HideOutcome HideText(PixelGrid& grid, std::u16string_view text);

// What HideText would make of `text` in a picture of width x height pixels, without touching one.
[[nodiscard]] HideOutcome CheckHide(std::u16string_view text, int width, int height);

// Stores the slots of `framed` (a checked text with its markers, as FramedOver gives it) that
// have a pixel in rows top .. bottom - 1 of `grid`, writing no pixel outside those rows. Called
// for every band of rows of a picture, in any order, as its rows are decoded, it leaves the
// pixels that storing each slot of `framed` in turn leaves, as HideText does.
void StoreFramedRows(PixelGrid& grid, std::u16string_view framed, int top, int bottom);

// Scans `grid` column by column and returns the text between the start marker and the first
// end marker. The grid is only read, and only as far as the message reaches.
[[nodiscard]] ReadOutcome ReadText(const PixelGrid& grid);

// A sentence for the user, UTF-8, that says what an outcome means.
[[nodiscard]] std::string DescribeHideOutcome(const HideOutcome& outcome);
[[nodiscard]] std::string DescribeReadOutcome(const ReadOutcome& outcome);

// `text` in UTF-8; a surrogate without its partner becomes U+FFFD.
[[nodiscard]] std::string TextToUtf8(std::u16string_view text);

// `utf8` as UTF-16; nothing where it is not valid UTF-8 (a stray or overlong sequence, a
// surrogate, a code point past U+10FFFF). A byte-order mark is kept as the character it is.
[[nodiscard]] std::optional<std::u16string> DecodeUtf8(std::string_view utf8);

// "“Ā” (U+0100), “😀” (U+1F600)": the characters named for the user, UTF-8, at most `most`
// of them followed by how many more there are.
[[nodiscard]] std::string NameCharacters(std::u32string_view characters, std::size_t most = 8);

} // namespace lumenveil
