#include "app/functions.h"

#include "ui/message_box.h"
#include "ui/program_names.h"

namespace lumenveil::app {

QString WithTrailingSeparator(const QString& folder, QChar separator)
{
    if (folder.endsWith(separator)) {
        return folder;
    }
    return folder + separator;
}

QString AppFolder(StartupPlatform& platform)
{
    return WithTrailingSeparator(platform.ProgramFolder(), FolderSeparator);
}

StartupOutcome Main(StartupPlatform& platform)
{
    // The initialisation is a courtesy to the system: nothing it does, or fails to do, may
    // stop the program.
    try {
        platform.InitCommonControls();
    } catch (...) {
    }

    const QString commonDialog = QString::fromLatin1(CommonDialogFile);
    const QString manifest = QString::fromLatin1(ManifestFile);
    // Both look-ups run, whatever the first one finds.
    const QString firstFound = platform.ListDirectory(AppFolder(platform) + commonDialog);
    const QString secondFound = platform.ListDirectory(AppFolder(platform) + manifest);

    // Exact comparison: a name that differs in letter case counts as missing.
    const bool commonDialogThere = firstFound.compare(commonDialog, Qt::CaseSensitive) == 0;
    const bool manifestThere = secondFound.compare(manifest, Qt::CaseSensitive) == 0;
    if (commonDialogThere && manifestThere) {
        platform.ShowMainWindow();
        return StartupOutcome::Running;
    }

    const QString title = QString::fromLatin1(ui::ProgramTitle);
    const int style = ui::MsgOkOnly | ui::MsgCritical;
    if (!commonDialogThere) {
        platform.ShowMessage(QString::fromLatin1(CommonDialogMissing), style, title);
        return StartupOutcome::CommonDialogMissing;
    }
    platform.ShowMessage(QString::fromLatin1(ManifestMissing), style, title);
    return StartupOutcome::ManifestMissing;
}

} // namespace lumenveil::app
