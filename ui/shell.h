#pragma once

#include <QString>

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
    // call. Returns at once; the outcome is not reported, and nothing happens for a file that
    // does not exist.
    virtual void Open(QWidget* owner, const QString& operation, const QString& file,
                      const QString& parameters, const QString& directory, int showCommand) = 0;
};

// The shell on QDesktopServices.
class QtShell final : public Shell
{
public:
    void Open(QWidget* owner, const QString& operation, const QString& file,
              const QString& parameters, const QString& directory, int showCommand) override;
};

} // namespace lumenveil::ui
