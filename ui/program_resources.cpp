#include "ui/program_resources.h"

// Q_INIT_RESOURCE names a function of the global namespace, so it is called from there.
static void RegisterResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace lumenveil::ui {

void InitProgramResources()
{
    static const bool registered = [] {
        RegisterResources();
        return true;
    }();
    static_cast<void>(registered);
}

QIcon ProgramIcon()
{
    InitProgramResources();
    QIcon icon;
    for (const int size : {16, 32, 48, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/lumenveil-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace lumenveil::ui
