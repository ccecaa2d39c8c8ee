#pragma once

#include <QIcon>

namespace lumenveil::ui {

// Makes the program's embedded files available under ":/": the icon (:/icons/), the About
// artwork (:/artwork/about.jpg) and the hand cursor (:/cursors/hand.png). The files live in a
// static library, whose resources the linker would otherwise leave out. Calls after the
// first do nothing.
void InitProgramResources();

// The program icon at 16, 32, 48, 128 and 256 pixels.
[[nodiscard]] QIcon ProgramIcon();

} // namespace lumenveil::ui
