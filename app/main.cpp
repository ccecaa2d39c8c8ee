#include "app/desktop_platform.h"
#include "app/functions.h"
#include "ui/frm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QFile>
#include <QFileInfo>

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

    // Qt sees the program name only, so that no argument is taken for one of Qt's own options.
    int programNameOnly = argc > 0 ? 1 : 0;
    QApplication application(programNameOnly, argv);
    QApplication::setApplicationName(QStringLiteral("Lumenveil"));

    lumenveil::app::DesktopPlatform platform;
    if (lumenveil::app::Main(platform) != lumenveil::app::StartupOutcome::Running) {
        return 0;
    }
    // `lumenveil PICTURE`: the picture opens in the window, once the window is up, so that an
    // error box about it stands over the window.
    if (argc > 1) {
        const QString picture = QFileInfo(QFile::decodeName(argv[1])).absoluteFilePath();
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* main = qobject_cast<lumenveil::ui::frmMain*>(window)) {
                QMetaObject::invokeMethod(
                    main,
                    [main, picture] {
                        // Drawn first, so that the window is not left blank for as long as a
                        // large picture loads.
                        QElapsedTimer waited;
                        waited.start();
                        while (main->windowHandle() != nullptr &&
                               !main->windowHandle()->isExposed() && waited.elapsed() < 2000) {
                            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
                        }
                        main->OpenPicture(picture);
                    },
                    Qt::QueuedConnection);
            }
        }
    }
    return QApplication::exec();
}
