#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace lumenveil::ui {

// Option flags of the file dialog, as bit values.
inline constexpr int DialogHideReadOnly = 0x4;     // no read-only check box
inline constexpr int DialogPathMustExist = 0x800;  // only a file in an existing folder
inline constexpr int DialogFileMustExist = 0x1000; // only an existing file (Open only)

enum class FileDialogMode
{
    Open,
    Save,
};

// What the dialog shows and what it answered last.
struct FileDialogProperties
{
    int flags = 0;
    // Pairs of a description and its patterns, all separated by "|"; the patterns of one
    // entry separated by ";": "Bitmap Files (*.bmp)|*.bmp|JPEG Files|*.jpg;*.jpeg".
    QString filter;
    QString title;
    // The file chosen last, in either mode; the next dialog starts with it.
    QString fileName;
};

// The file dialog: one object serves the Open and the Save dialog and keeps its properties
// from one use to the next.
class FileDialog
{
public:
    virtual ~FileDialog() = default;

    [[nodiscard]] FileDialogProperties& Properties() { return properties_; }
    [[nodiscard]] const FileDialogProperties& Properties() const { return properties_; }

    // Shows the dialog modal to `owner`. True when the user chose a file, whose name is then
    // in Properties().fileName; a cancelled dialog returns false and changes nothing.
    bool ShowOpen(QWidget* owner) { return Show(FileDialogMode::Open, owner); }
    bool ShowSave(QWidget* owner) { return Show(FileDialogMode::Save, owner); }

protected:
    // Asks the user for a file; nothing when the dialog is cancelled.
    [[nodiscard]] virtual std::optional<QString>
    Ask(FileDialogMode mode, const FileDialogProperties& properties, QWidget* owner) = 0;

private:
    bool Show(FileDialogMode mode, QWidget* owner);

    FileDialogProperties properties_;
};

// The name the Save dialog proposes after `chosen` (the file chosen last, usually the picture
// loaded): its extension changed to ".bmp", or ".bmp" added where it has none. A name already
// ending in ".bmp", in any letter case, stays as it is.
[[nodiscard]] QString ProposedBitmapName(const QString& chosen);

// The name a picture is saved under: `typed` with ".bmp" added unless it ends in ".bmp", in
// any letter case, already.
[[nodiscard]] QString WithBitmapExtension(const QString& typed);

// The filter's entries as QFileDialog name filters: "Bitmap Files (*.bmp) (*.bmp)". The
// description is kept whole; the patterns follow it in the parentheses QFileDialog reads. A
// description without patterns matches every file.
[[nodiscard]] QStringList QtNameFilters(const QString& filter);

// The file dialog on QFileDialog. The Save dialog accepts a new name whatever the flags say
// and does not ask about replacing an existing file: its caller does.
class QtFileDialog final : public FileDialog
{
public:
    // `nativeDialogs` false uses Qt's own dialog, as tests need.
    explicit QtFileDialog(bool nativeDialogs = true) : nativeDialogs_(nativeDialogs) {}

protected:
    [[nodiscard]] std::optional<QString>
    Ask(FileDialogMode mode, const FileDialogProperties& properties, QWidget* owner) override;

private:
    bool nativeDialogs_;
};

} // namespace lumenveil::ui
