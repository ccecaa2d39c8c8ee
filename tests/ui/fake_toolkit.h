#pragma once

#include "ui/toolkit.h"

#include <QApplication>
#include <QWidget>

namespace lumenveil::test {

// The window toolkit on fakes that answer at once, so that no test waits for a user. Every
// request is noted in `journal`, one line each, in the order asked:
//   "open dialog", "save dialog", "about", "shell OPERATION FILE [PARAMETERS] in FOLDER show N",
//   "[waiting ][busy ]ICON BUTTONS [TITLE]: PROMPT" for a message box. BUTTONS is "ok",
//   "YES/no" or "yes/NO", the default in capitals; "busy" says that the owner's caption ended
//   in " (Working...)", "waiting" that the wait cursor was on while the box was open.
class FakeToolkit final : public ui::MessageBoxes,
                          public ui::FileDialog,
                          public ui::Shell,
                          public ui::AboutWindow
{
public:
    QStringList journal;
    QList<int> replies; // the message boxes' answers, in turn; then OK, or No
    QStringList files;  // the file dialogs' answers, in turn: a name, or "<enter>" for the
                        // name the dialog starts with; then cancelled

    int Show(const ui::MessageBoxRequest& request, QWidget* owner) override
    {
        const QString icon =
            QString("none stop question exclamation information").split(' ')[int(request.icon)];
        const QCursor* cursor = QApplication::overrideCursor();
        const bool waiting = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
        const bool busy = owner != nullptr &&
                          owner->window()->windowTitle().endsWith(QLatin1String(" (Working...)"));
        const bool ok = request.buttons == ui::MessageButtons::Ok;
        const char* buttons = ok ? "ok" : request.secondButtonIsDefault ? "yes/NO" : "YES/no";
        journal << QStringLiteral("%1%2%3 %4 [%5]: %6")
                       .arg(QLatin1String(waiting ? "waiting " : ""),
                            QLatin1String(busy ? "busy " : ""), icon, QLatin1String(buttons),
                            request.title, request.prompt);
        return !replies.isEmpty() ? replies.takeFirst() : ok ? ui::AnswerOk : ui::AnswerNo;
    }

    bool shellFails = false; // whether the shell reports that it could not open a file

    void Open(QWidget* /*owner*/, const QString& operation, const QString& file,
              const QString& parameters, const QString& directory, int showCommand,
              const std::function<void()>& failed) override
    {
        journal << QStringLiteral("shell %1 %2 [%3] in %4 show %5")
                       .arg(operation, file, parameters, directory)
                       .arg(showCommand);
        if (shellFails && failed) {
            failed();
        }
    }

    void ShowModal(QWidget* /*owner*/) override { journal << QStringLiteral("about"); }

protected:
    std::optional<QString> Ask(ui::FileDialogMode mode, const ui::FileDialogProperties& properties,
                               QWidget* /*owner*/) override
    {
        journal << (mode == ui::FileDialogMode::Open ? "open dialog" : "save dialog");
        if (files.isEmpty()) {
            return std::nullopt;
        }
        const QString answer = files.takeFirst();
        return answer == QLatin1String("<enter>") ? properties.fileName : answer;
    }
};

} // namespace lumenveil::test
