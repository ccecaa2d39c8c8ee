#pragma once

#include <QString>

namespace lumenveil::app {

// The directory listing of one path with attribute mask 0: the name of the plain file that
// `path` names, exactly as its folder stores it and without the folder part, or an empty
// string when there is none. A folder, a hidden file (a dot file outside Windows), a system
// file (on Unix a device, pipe, socket or broken link) and a name with wildcards do not match.
// Where the file system ignores letter case the stored spelling is returned, which may
// differ from the one asked for.
[[nodiscard]] QString ListDirectory(const QString& path);

} // namespace lumenveil::app
