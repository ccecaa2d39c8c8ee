#include "app/desktop_platform.h"
#include "app/functions.h"

#include <QApplication>

#include <cstdio>

namespace {

// Whether the window can have a screen. On Linux and the other X11 and Wayland systems a
// session names its display in DISPLAY or WAYLAND_DISPLAY; QT_QPA_PLATFORM names another way
// (offscreen, vnc, ...). Elsewhere the system's own window system is always there.
bool HasGraphicalSession()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    return true;
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    // Said before Qt tries to connect and suggests reinstalling the program.
    if (!HasGraphicalSession()) {
        std::fputs("lumenveil: the window program needs a graphical session (DISPLAY or "
                   "WAYLAND_DISPLAY); lumenveil-cli hides and reveals messages without one.\n",
                   stderr);
        return 1;
    }

    // Arguments on the command line change nothing: Qt sees the program name only.
    int programNameOnly = argc > 0 ? 1 : 0;
    QApplication application(programNameOnly, argv);
    QApplication::setApplicationName(QStringLiteral("Lumenveil"));

    lumenveil::app::DesktopPlatform platform;
    if (lumenveil::app::Main(platform) != lumenveil::app::StartupOutcome::Running) {
        return 0;
    }
    return QApplication::exec();
}
