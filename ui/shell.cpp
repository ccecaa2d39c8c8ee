#include "ui/shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace lumenveil::ui {

void QtShell::Open(QWidget* /*owner*/, const QString& /*operation*/, const QString& file,
                   const QString& /*parameters*/, const QString& directory, int /*showCommand*/)
{
    // Qt's desktop services know only "open" and choose the window state themselves.
    if (file.contains(QLatin1String("://"))) {
        QDesktopServices::openUrl(QUrl(file));
        return;
    }
    const QString path = QDir(directory).absoluteFilePath(file);
    if (!QFileInfo(path).isFile()) {
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace lumenveil::ui
