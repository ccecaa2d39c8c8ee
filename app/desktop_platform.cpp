#include "app/desktop_platform.h"

#include "app/directory_listing.h"
#include "app/functions.h"
#include "ui/frm_main.h"

#include <QCoreApplication>
#include <QDir>

#ifdef Q_OS_WIN
#include <QLibrary>

#include <windows.h>

#include <vector>
#endif

namespace lumenveil::app {

DesktopPlatform::DesktopPlatform() = default;
DesktopPlatform::~DesktopPlatform() = default;

void DesktopPlatform::InitCommonControls()
{
#ifdef Q_OS_WIN
    // INITCOMMONCONTROLSEX: the record's size in bytes and ICC_USEREX_CLASSES.
    struct InitCommonControlsRecord
    {
        quint32 dwSize;
        quint32 dwICC;
    };
    using InitCommonControlsExFunction = int(__stdcall*)(const InitCommonControlsRecord*);

    // Looked up at run time, so that a system without the function simply goes on.
    QLibrary comctl32(QStringLiteral("comctl32"));
    const auto initCommonControlsEx =
        reinterpret_cast<InitCommonControlsExFunction>(comctl32.resolve("InitCommonControlsEx"));
    if (initCommonControlsEx != nullptr) {
        const InitCommonControlsRecord record{8, 0x200};
        static_cast<void>(initCommonControlsEx(&record));
    }
#endif
}

QString DesktopPlatform::ProgramFolder()
{
#ifdef Q_OS_WIN
    // The program file's own name, as the system loaded it; a long path takes a larger buffer.
    std::vector<wchar_t> name(MAX_PATH);
    while (name.size() <= 1 << 16) {
        const DWORD length = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            break;
        }
        if (length < name.size()) {
            const QString file = QString::fromWCharArray(name.data(), static_cast<int>(length));
            const qsizetype cut = file.lastIndexOf(QLatin1Char('\\'));
            // "C:\Lumenveil v1.1.exe" lies in "C:\", which keeps its separator.
            return cut <= 0 ? file : file.left(cut == 2 && file.at(1) == QLatin1Char(':') ? 3 : cut);
        }
        name.resize(name.size() * 2);
    }
#endif
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString DesktopPlatform::ListDirectory(const QString& path)
{
    return app::ListDirectory(path);
}

int DesktopPlatform::ShowMessage(const QString& prompt, int style, const QString& title)
{
    return ui::ShowMessage(messages_, nullptr, prompt, style, title);
}

void DesktopPlatform::ShowMainWindow()
{
    const QString folder = AppFolder(*this);
    about_ = std::make_unique<SplashAboutWindow>(
        shell_, WebsiteAddress(QStringLiteral(LUMENVEIL_WEBSITE_URL), folder));
    const ui::WindowToolkit toolkit{messages_, dialog_, shell_, about_.get(), folder};
    window_ = std::make_unique<ui::frmMain>(toolkit);
    window_->show();
}

} // namespace lumenveil::app
