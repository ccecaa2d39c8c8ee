#pragma once

#include "lumenveil_version.h"

namespace lumenveil::ui {

// The main window's caption and the title of the program's message boxes.
inline constexpr char ProgramTitle[] = LUMENVEIL_TITLE;

// The title a message box bears when it is shown without one of its own.
inline constexpr char ApplicationTitle[] = LUMENVEIL_NAME;

} // namespace lumenveil::ui
