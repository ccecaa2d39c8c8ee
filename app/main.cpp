#include "app/desktop_platform.h"
#include "app/functions.h"
#include "picture/picture_surface.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Arguments on the command line change nothing: Qt sees the program name only.
    int programNameOnly = argc > 0 ? 1 : 0;
    QApplication application(programNameOnly, argv);
    QApplication::setApplicationName(QStringLiteral("Lumenveil"));
    lumenveil::LimitDecoderAllocations();

    lumenveil::app::DesktopPlatform platform;
    if (lumenveil::app::Main(platform) != lumenveil::app::StartupOutcome::Running) {
        return 0;
    }
    return QApplication::exec();
}
