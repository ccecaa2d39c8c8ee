#include "ui/help_window.h"

#include "ui/message_box.h"
#include "ui/program_names.h"
#include "ui/shell.h"

#include <QDir>
#include <QPointer>

#include <QDialog>
#include <QFile>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace lumenveil::ui {

bool ShowHelpWindow(QWidget* owner, const QString& path, QString& reason)
{
    QFile page(path);
    if (!page.open(QIODevice::ReadOnly)) {
        reason = page.errorString();
        return false;
    }
    page.close();
    QWidget* top = owner != nullptr ? owner->window() : nullptr;
    auto* window = top != nullptr ? top->findChild<QDialog*>(QStringLiteral("HelpWindow"),
                                                             Qt::FindDirectChildrenOnly)
                                  : nullptr;
    if (window == nullptr) {
        window = new QDialog(top, Qt::Window);
        window->setObjectName(QStringLiteral("HelpWindow"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(QString::fromLatin1(ProgramTitle) + QStringLiteral(" - Help"));
        auto* browser = new QTextBrowser(window);
        browser->setObjectName(QStringLiteral("HelpBrowser"));
        browser->setOpenLinks(true);
        browser->setOpenExternalLinks(false);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser);
        window->resize(640, 520);
    }
    auto* browser = window->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
    browser->setSource(QUrl::fromLocalFile(path));
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}

void OpenPage(Shell& shell, MessageBoxes& boxes, QWidget* owner, const QString& operation,
              const QString& file, const QString& directory, int showCommand)
{
    const bool onTheWeb = file.contains(QLatin1String("://")) && !file.startsWith("file:");
    const QString path = file.startsWith(QLatin1String("file:"))
                             ? QUrl(file).toLocalFile()
                             : QDir(directory).absoluteFilePath(file);
    const QPointer<QWidget> window = owner;
    shell.Open(owner, operation, file, QString(), directory, showCommand,
               [&boxes, window, onTheWeb, file, path] {
                   if (window.isNull()) {
                       return; // closed while the system tried
                   }
                   QString reason = QStringLiteral("no program on this system opens it");
                   if (!onTheWeb && ShowHelpWindow(window, path, reason)) {
                       return;
                   }
                   const QString named = onTheWeb ? file : QDir::toNativeSeparators(path);
                   ShowMessage(boxes, window,
                               QStringLiteral("\u201C%1\u201D could not be opened: %2.")
                                   .arg(named, reason),
                               MsgOkOnly | MsgExclamation, QString::fromLatin1(ProgramTitle));
               });
}

} // namespace lumenveil::ui
