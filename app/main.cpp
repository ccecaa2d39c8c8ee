#include "app/desktop_platform.h"
#include "app/functions.h"
#include "ui/frm_main.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

int main(int argc, char* argv[])
{
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
                    main, [main, picture] { main->OpenPicture(picture); }, Qt::QueuedConnection);
            }
        }
    }
    return QApplication::exec();
}
