#pragma once

namespace lumenveil::ui {

// The main window's caption and the title of the program's message boxes.
inline constexpr char ProgramTitle[] = "Lumenveil v1.1";

// The title a message box bears when it is shown without one of its own.
inline constexpr char ApplicationTitle[] = "Lumenveil";

} // namespace lumenveil::ui
