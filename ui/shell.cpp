#include "ui/shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#include <shellapi.h>
#endif

namespace lumenveil::ui {

#ifdef Q_OS_WIN

void QtShell::Open(QWidget* owner, const QString& operation, const QString& file,
                   const QString& parameters, const QString& directory, int showCommand,
                   const std::function<void()>& failed)
{
    // The shell's own call, as it is asked for. Above 32 means that it started the program
    // that opens the file; the others are its error codes (no such file, no program for it).
    const auto window = owner != nullptr ? reinterpret_cast<HWND>(owner->window()->winId()) : nullptr;
    const QString target =
        file.contains(QLatin1String("://")) ? file : QDir::toNativeSeparators(file);
    const QString folder = QDir::toNativeSeparators(directory);
    const auto wide = [](const QString& text) {
        return text.isEmpty() ? nullptr : reinterpret_cast<const wchar_t*>(text.utf16());
    };
    const auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
        window, wide(operation), wide(target), wide(parameters), wide(folder), showCommand));
    if (result <= 32 && failed) {
        failed();
    }
}

#else

void QtShell::Open(QWidget* /*owner*/, const QString& /*operation*/, const QString& file,
                   const QString& /*parameters*/, const QString& directory, int /*showCommand*/,
                   const std::function<void()>& failed)
{
    const auto fail = [failed] {
        if (failed) {
            failed();
        }
    };
    // The desktop knows only "open" and chooses the window state itself.
    QUrl url(file);
    if (!file.contains(QLatin1String("://"))) {
        const QString path = QDir(directory).absoluteFilePath(file);
        if (!QFileInfo(path).isFile()) {
            return fail();
        }
        url = QUrl::fromLocalFile(path);
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    // Qt's own desktop services report only whether xdg-open could be started, not whether it
    // found a browser; its exit status says that. It ends once it has handed the file on, or
    // with the browser it started, which may be long after: the outcome comes by a signal.
    auto* opener = new QProcess;
    opener->setProgram(QStringLiteral("xdg-open"));
    opener->setArguments({url.toString(QUrl::FullyEncoded)});
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::errorOccurred, opener,
                     [opener, fail](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             fail();
                             opener->deleteLater();
                         }
                     });
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, fail](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0) {
                             fail();
                         }
                         opener->deleteLater();
                     });
    opener->start();
#else
    if (!QDesktopServices::openUrl(url)) {
        fail();
    }
#endif
}

#endif

} // namespace lumenveil::ui
