#pragma once

#include "ui/shell.h"
#include "ui/toolkit.h"

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace lumenveil::app {

// The About window: a borderless 460 x 200 window that shows the program's artwork and
// nothing else. A rectangle over the artwork's lower right is a link (hand cursor) that opens
// the program's web page and leaves the window open; a click anywhere else, Esc, Enter or
// Space closes it.
//
// Controls, top of the stacking order first, with their names as object names:
// cmdEscape (the cancel button, moved out of sight when the window loads; it holds the
// focus), lblWebsite (the invisible link) and imgSplash (the artwork).
class frmSplash final : public QDialog
{
    Q_OBJECT

public:
    // `website` is the address lblWebsite opens through `shell`. The window is centred on
    // `owner`, or on the screen when there is none.
    frmSplash(ui::Shell& shell, QString website, QWidget* owner = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void imgSplash_Click();
    void cmdEscape_Click();
    void lblWebsite_Click();

    ui::Shell& shell_;
    QString website_;

    QPushButton* cmdEscape = nullptr;
    QLabel* lblWebsite = nullptr;
    QLabel* imgSplash = nullptr;
};

// Help > About: each opening builds a new frmSplash, shows it modal and destroys it when it
// closes.
class SplashAboutWindow final : public ui::AboutWindow
{
public:
    SplashAboutWindow(ui::Shell& shell, QString website)
        : shell_(shell), website_(std::move(website))
    {}

    void ShowModal(QWidget* owner) override;

private:
    ui::Shell& shell_;
    QString website_;
};

// The web page's address. A full address ("https://...", "file:///...") is kept; anything
// else names a file in `programFolder` and becomes that file's file:// address, so that the
// bundled help page can stand in for the web page.
[[nodiscard]] QString WebsiteAddress(const QString& configured, const QString& programFolder);

} // namespace lumenveil::app
