#pragma once

// Fakes of the window toolkit that answer at once, so that no test waits for a user. Each
// can note what it was asked in a journal shared by all of them, in the order asked:
// "open dialog", "save dialog", "message: PROMPT", "shell: FILE", "about".

#include "ui/toolkit.h"

#include <QApplication>
#include <QCursor>
#include <QList>
#include <QStringList>
#include <QWidget>

#include <optional>

namespace lumenveil::test {

// Records every message box and answers from a script; without one, OK boxes answer OK and
// Yes/No boxes answer No.
class FakeMessageBoxes final : public ui::MessageBoxes
{
public:
    struct Shown
    {
        ui::MessageBoxRequest request;
        QString ownerCaption; // the owner window's caption while the box was open
        bool waitCursor = false;
    };

    int Show(const ui::MessageBoxRequest& request, QWidget* owner) override
    {
        const QCursor* cursor = QApplication::overrideCursor();
        if (journal != nullptr) {
            journal->append(QStringLiteral("message: ") + request.prompt);
        }
        shown.append({request, owner != nullptr ? owner->window()->windowTitle() : QString(),
                      cursor != nullptr && cursor->shape() == Qt::WaitCursor});
        if (!answers.isEmpty()) {
            return answers.takeFirst();
        }
        return request.buttons == ui::MessageButtons::Ok ? ui::AnswerOk : ui::AnswerNo;
    }

    QList<Shown> shown;
    QList<int> answers;
    QStringList* journal = nullptr;
};

// Records what each dialog was shown with and answers from a script; without one it is
// cancelled.
class FakeFileDialog final : public ui::FileDialog
{
public:
    struct Asked
    {
        ui::FileDialogMode mode;
        ui::FileDialogProperties properties;
    };

    QList<Asked> asked;
    QList<std::optional<QString>> answers;
    QStringList* journal = nullptr;

protected:
    std::optional<QString> Ask(ui::FileDialogMode mode, const ui::FileDialogProperties& properties,
                               QWidget* /*owner*/) override
    {
        asked.append({mode, properties});
        if (journal != nullptr) {
            journal->append(mode == ui::FileDialogMode::Open ? QStringLiteral("open dialog")
                                                             : QStringLiteral("save dialog"));
        }
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
};

class FakeShell final : public ui::Shell
{
public:
    struct Call
    {
        QString operation;
        QString file;
        QString parameters;
        QString directory;
        int showCommand = 0;
    };

    void Open(QWidget* /*owner*/, const QString& operation, const QString& file,
              const QString& parameters, const QString& directory, int showCommand) override
    {
        calls.append({operation, file, parameters, directory, showCommand});
        if (journal != nullptr) {
            journal->append(QStringLiteral("shell: ") + file);
        }
    }

    QList<Call> calls;
    QStringList* journal = nullptr;
};

class FakeAboutWindow final : public ui::AboutWindow
{
public:
    void ShowModal(QWidget* /*owner*/) override
    {
        ++shown;
        if (journal != nullptr) {
            journal->append(QStringLiteral("about"));
        }
    }

    int shown = 0;
    QStringList* journal = nullptr;
};

} // namespace lumenveil::test
