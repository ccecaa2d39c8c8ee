// Any pixels, scanned for a hidden message. Whatever the scan finds must hide and read back
// unchanged in a fresh picture, and it never holds the end marker.

#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "fuzz_grid.h"

#include <cstdlib>

using namespace lumenveil;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::InputGrid grid(data, size);
    const ReadOutcome outcome = ReadText(grid);
    if (outcome.status != ReadStatus::Found) {
        if (!outcome.text.empty()) {
            std::abort();
        }
        return 0;
    }
    if (outcome.text.find(EndMarker) != std::u16string::npos) {
        std::abort();
    }

    const int side = 2 + static_cast<int>(outcome.text.size());
    fuzz::InputGrid fresh(side, 3 * 26 / side + 3);
    const HideOutcome hidden = HideText(fresh, outcome.text);
    if (hidden.status != HideStatus::Hidden) {
        std::abort(); // every character read back has a code, so it can be hidden again
    }
    const ReadOutcome again = ReadText(fresh);
    if (again.status != ReadStatus::Found || again.text != outcome.text) {
        std::abort();
    }
    return 0;
}
