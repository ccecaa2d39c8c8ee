#pragma once

#include <QString>

namespace lumenveil::app {

// What start-up needs of the platform, behind one interface so that start-up can be tested
// with a fake.
class StartupPlatform
{
public:
    virtual ~StartupPlatform() = default;

    // Initialises the common controls (on Windows InitCommonControlsEx with the record
    // {dwSize 8, dwICC 0x200}, looked up at run time). Its outcome is of no interest.
    virtual void InitCommonControls() = 0;

    // The folder of the running program file, without a trailing separator except at the
    // root of a file system or drive.
    [[nodiscard]] virtual QString ProgramFolder() = 0;

    // The directory listing of one path with attribute mask 0: the name of the plain file
    // `path` names, as the folder stores it, or an empty string. Folders and hidden or
    // system files do not count.
    [[nodiscard]] virtual QString ListDirectory(const QString& path) = 0;

    // Shows a modal message box with no owner window; returns the answer.
    virtual int ShowMessage(const QString& prompt, int style, const QString& title) = 0;

    // Creates the main window and shows it modeless.
    virtual void ShowMainWindow() = 0;
};

} // namespace lumenveil::app
