#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace lumenveil::ui {

// Show commands of the shell's open operation.
inline constexpr int ShowNormal = 1;
inline constexpr int ShowAsIs = 5;

// The system shell: hands a document or a web address to the program that opens it.
class Shell
{
public:
    virtual ~Shell() = default;

    // Opens `file`, a web address or a file name; a relative name is looked for in
    // `directory`. `operation`, `parameters` and `showCommand` are those of the shell's open
    // call. Returns at once. Where the system cannot open it (a file that does not exist, no
    // program for it), `failed` is called, then or later from the event loop.
    virtual void Open(QWidget* owner, const QString& operation, const QString& file,
                      const QString& parameters, const QString& directory, int showCommand,
                      const std::function<void()>& failed = {}) = 0;
};

// The shell of the desktop: on Windows ShellExecute; on Linux and the other X11 and Wayland
// systems xdg-open, whose exit status says whether it found a program for the file; elsewhere
// QDesktopServices.
class QtShell final : public Shell
{
public:
    void Open(QWidget* owner, const QString& operation, const QString& file,
              const QString& parameters, const QString& directory, int showCommand,
              const std::function<void()>& failed = {}) override;
};

} // namespace lumenveil::ui
