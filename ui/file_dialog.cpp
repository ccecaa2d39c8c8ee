#include "ui/file_dialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace lumenveil::ui {

bool FileDialog::Show(FileDialogMode mode, QWidget* owner)
{
    std::optional<QString> chosen = Ask(mode, properties_, owner);
    if (!chosen) {
        return false;
    }
    properties_.fileName = std::move(*chosen);
    return true;
}

namespace {

constexpr char BitmapExtension[] = ".bmp";

bool EndsInBitmapExtension(const QString& name)
{
    return name.endsWith(QLatin1String(BitmapExtension), Qt::CaseInsensitive);
}

} // namespace

QString ProposedBitmapName(const QString& chosen)
{
    if (chosen.isEmpty() || EndsInBitmapExtension(chosen)) {
        return chosen;
    }
    // The extension is what follows the last dot of the file's own name; a name that starts
    // with its only dot (".profile") has none.
    const QString name = QFileInfo(chosen).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? chosen.chopped(name.size() - dot) : chosen;
    return base + QLatin1String(BitmapExtension);
}

QString WithBitmapExtension(const QString& typed)
{
    return EndsInBitmapExtension(typed) ? typed : typed + QLatin1String(BitmapExtension);
}

QStringList QtNameFilters(const QString& filter)
{
    QStringList filters;
    if (filter.isEmpty()) {
        return filters;
    }
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString patterns = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns.isEmpty()) {
            patterns = QStringLiteral("*");
        }
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters;
}

std::optional<QString> QtFileDialog::Ask(FileDialogMode mode,
                                         const FileDialogProperties& properties, QWidget* owner)
{
    QFileDialog dialog(owner, properties.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog, !nativeDialogs_);
    // Show each entry's own description, which already names its patterns.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    const QStringList filters = QtNameFilters(properties.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
    }

    if (mode == FileDialogMode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode((properties.flags & DialogFileMustExist) != 0 ? QFileDialog::ExistingFile
                                                                         : QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The main window asks before it replaces a file, through its own message box.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    }

    if (!properties.fileName.isEmpty()) {
        const QFileInfo last(properties.fileName);
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }

    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.constFirst();
}

} // namespace lumenveil::ui
