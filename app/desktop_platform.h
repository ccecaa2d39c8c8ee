#pragma once

#include "app/frm_splash.h"
#include "app/startup_platform.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/shell.h"

#include <memory>

namespace lumenveil::ui {
class frmMain;
}

namespace lumenveil::app {

// Start-up on the real system: Qt's widgets and dialogs, the real program folder and file
// system. Owns the main window once it is shown, and the toolkit objects it uses.
class DesktopPlatform final : public StartupPlatform
{
public:
    DesktopPlatform();
    ~DesktopPlatform() override;

    DesktopPlatform(const DesktopPlatform&) = delete;
    DesktopPlatform& operator=(const DesktopPlatform&) = delete;

    void InitCommonControls() override;
    [[nodiscard]] QString ProgramFolder() override;
    [[nodiscard]] QString ListDirectory(const QString& path) override;
    int ShowMessage(const QString& prompt, int style, const QString& title) override;
    void ShowMainWindow() override;

private:
    ui::QtMessageBoxes messages_;
    ui::QtFileDialog dialog_;
    ui::QtShell shell_;
    std::unique_ptr<SplashAboutWindow> about_;
    std::unique_ptr<ui::frmMain> window_;
};

} // namespace lumenveil::app
