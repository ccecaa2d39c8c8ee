#pragma once

#include "picture/picture_surface.h"
#include "ui/toolkit.h"

#include <QMainWindow>

class QAction;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace lumenveil::ui {

class CapacityLabel;
class PictureBox;

// The main window: the picture in its viewing frame with two scroll bars, the command
// buttons, the message text box and the File and Help menus. It owns the picture surface.
//
// Controls and menu entries carry their names as object names, so that tests and tools find
// them: cmdLoadImage, cmdGetEmbeddedText, cmdEmbedText, txtText, Picture1, Picture2,
// VScroll1, HScroll1, cmdExit, lblCapacity, mnuFile, mnuFileLoadImage, ...
//
// Beside its controls it takes pictures dropped on it (PictureDrop) and the mouse wheel over
// the picture (WheelScroll).
class frmMain final : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmMain(const WindowToolkit& toolkit, QWidget* parent = nullptr);
    ~frmMain() override;

    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Marks the window busy: 1 appends " (Working...)" to the caption as it is and shows the
    // wait cursor, 0 restores the caption "Lumenveil v1.1" and the cursor; other values do
    // nothing.
    void SetBusy(int flag);

    // Shows a message box modal to this window and returns the answer (1, 6 or 7). Without
    // a title the box bears "Lumenveil". The wait cursor gives way to the arrow while the box
    // waits for the user, and comes back after.
    int ShowMessage(const QString& prompt, int style, const QString& title = {});

    // Places the picture in the frame and sets up both scroll bars for its size.
    void ArrangePicture();

    // Hides the text of txtText in the picture and repaints it once. Returns whether the
    // text was hidden; when it was not, the user has been told why and the picture is as it
    // was.
    bool WriteHiddenText();

    // Reads the hidden message into txtText, as one edit that Undo takes back, or tells the
    // user why there is none; txtText keeps its text then.
    void ReadHiddenText();

    // Loads the picture in `path` as Load Image does once its dialog has answered: on success
    // the text box is emptied and enabled, the view arranged, the commands enabled, and the
    // Save dialog will start from this file's name; on failure a box says why and nothing
    // changes. Load Image, a drop and the command line all come here.
    void OpenPicture(const QString& path);

    // The picture being worked on.
    [[nodiscard]] const PictureSurface& Surface() const { return surface_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The close box, and close() from the exit commands: asks first while text is at stake.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void Form_Load();
    [[nodiscard]] bool IsMenuShortcut(const QKeyEvent& key) const;
    // Text typed or changed since the last load, successful save or Get Embedded Text.
    [[nodiscard]] bool TextAtStake() const;
    [[nodiscard]] bool AskExit();
    void ShowCapacity();
    // Enables each command as the window's state allows: Get Embedded Text, the text box and
    // the menu's Embed once a picture is loaded, the Embed button once text is typed too.
    void UpdateCommands();

    void cmdLoadImage_Click();
    void cmdGetEmbeddedText_Click();
    void cmdEmbedText_Click();
    void cmdExit_Click();
    void mnuFileExit_Click();
    void mnuHelpHelpTopics_Click();
    void mnuHelpAbout_Click();
    void tmrSecretText_Timer();
    void HScroll1_Change();
    void VScroll1_Change();

    WindowToolkit toolkit_;
    FileDialog& Dialog1;
    PictureSurface surface_;
    int waitCursors_ = 0;        // override cursors set by SetBusy and not yet restored
    bool exitConfirmed_ = false; // the exit question was answered Yes: close without asking

    QPushButton* cmdLoadImage = nullptr;
    QPushButton* cmdGetEmbeddedText = nullptr;
    QPushButton* cmdEmbedText = nullptr;
    QPlainTextEdit* txtText = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture2 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QPushButton* cmdExit = nullptr;
    CapacityLabel* lblCapacity = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuFileLoadImage = nullptr;
    QAction* mnuFileGetEmbeddedText = nullptr;
    QAction* mnuFileEmbedText = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpHelpTopics = nullptr;
    QAction* mnuHelpAbout = nullptr;
};

} // namespace lumenveil::ui
