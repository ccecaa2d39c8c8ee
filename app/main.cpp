#include "app/desktop_platform.h"
#include "app/functions.h"
#include "ui/frm_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#include <shellapi.h>
#endif

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

// The picture named on the command line, or an empty string. On Windows argv is in the ANSI
// code page, which cannot hold most names: the name comes from the wide command line.
QString PictureArgument(int argc, char* argv[])
{
#ifdef Q_OS_WIN
    static_cast<void>(argc);
    static_cast<void>(argv);
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const QString name = wide != nullptr && count > 1 ? QString::fromWCharArray(wide[1]) : QString();
    ::LocalFree(wide);
    return name;
#else
    return argc > 1 ? QFile::decodeName(argv[1]) : QString();
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
    if (const QString named = PictureArgument(argc, argv); !named.isEmpty()) {
        const QString picture = QFileInfo(named).absoluteFilePath();
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
