#include "app/directory_listing.h"

#include <QDir>
#include <QFileInfo>

namespace lumenveil::app {

QString ListDirectory(const QString& path)
{
    const QFileInfo target(path);
    const QString wanted = target.fileName();
    if (wanted.isEmpty() || wanted.contains(QLatin1Char('*')) ||
        wanted.contains(QLatin1Char('?'))) {
        return {};
    }

    // Without QDir::Hidden and QDir::System, hidden and system files stay out of the list.
    const QStringList names = target.dir().entryList(QDir::Files | QDir::NoDotAndDotDot);
    if (names.contains(wanted, Qt::CaseSensitive)) {
        return wanted;
    }
#ifdef Q_OS_WIN
    // The same file under another spelling of its name.
    for (const QString& name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
            return name;
        }
    }
#endif
    return {};
}

} // namespace lumenveil::app
