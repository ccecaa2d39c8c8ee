#pragma once

#include <QString>

class QWidget;

namespace lumenveil::ui {

class MessageBoxes;
class Shell;

// Shows the help page `path` in a window of our own, for a system that has no program to open
// it: a text browser in which the page's own links work. The window belongs to `owner`'s
// window, and showing the page again raises the one already open. Returns false, having shown
// nothing, when the page cannot be read; `reason` then says why.
bool ShowHelpWindow(QWidget* owner, const QString& path, QString& reason);

// Hands `file` (a web address, or a page's name in `directory`) to the shell, as Help Topics
// and the About window's link do. Where the system cannot open it, a page of our own is shown
// in ShowHelpWindow, and where that fails too, or the address is on the web, a message box
// names it.
void OpenPage(Shell& shell, MessageBoxes& boxes, QWidget* owner, const QString& operation,
              const QString& file, const QString& directory, int showCommand);

} // namespace lumenveil::ui
