#pragma once

#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/shell.h"

#include <QString>

class QWidget;

namespace lumenveil::ui {

// The About window, opened modal from the Help menu.
class AboutWindow
{
public:
    virtual ~AboutWindow() = default;

    // Shows the window modal and returns when it has been closed.
    virtual void ShowModal(QWidget* owner) = 0;
};

// What the main window needs of the platform besides its own widgets. The objects belong to
// whoever builds the window and outlive it.
struct WindowToolkit
{
    MessageBoxes& messages;
    FileDialog& dialog;           // `Dialog1`: the Open and the Save dialog
    Shell& shell;                 // opens the help page
    AboutWindow* about = nullptr; // Help > About does nothing while there is none
    QString programFolder;        // where "help.htm" lies, ending in a separator
};

} // namespace lumenveil::ui
