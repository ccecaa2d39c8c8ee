#pragma once

#include "app/startup_platform.h"
#include "lumenveil_version.h"

#include <QChar>
#include <QString>

namespace lumenveil::app {

// The companion files that must lie beside the program file.
inline constexpr char CommonDialogFile[] = "COMDLG32.OCX";
inline constexpr char ManifestFile[] = LUMENVEIL_MANIFEST_NAME;

inline constexpr char CommonDialogMissing[] = "COMDLG32.OCX missing.";
inline constexpr char ManifestMissing[] = "Manifest file missing.";

// The separator AppFolder ends the program folder with.
#ifdef Q_OS_WIN
inline constexpr QChar FolderSeparator = QLatin1Char('\\');
#else
inline constexpr QChar FolderSeparator = QLatin1Char('/');
#endif

// `folder` ending in exactly one `separator`: one is appended unless the folder already ends
// in one, as a root ("D:\", "/") does.
[[nodiscard]] QString WithTrailingSeparator(const QString& folder, QChar separator);

// The program folder, ending in FolderSeparator. Asks the platform afresh at each call.
[[nodiscard]] QString AppFolder(StartupPlatform& platform);

enum class StartupOutcome
{
    Running,             // the main window is open
    CommonDialogMissing, // "COMDLG32.OCX missing." was shown; no window was created
    ManifestMissing,     // "Manifest file missing." was shown; no window was created
};

// Start-up: initialises the common controls, checks that both companion files lie in the
// program folder under their exact names, then shows the main window, or shows one message
// box naming the first missing file. The program ends unless the outcome is Running.
[[nodiscard]] StartupOutcome Main(StartupPlatform& platform);

} // namespace lumenveil::app
