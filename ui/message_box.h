#pragma once

#include <QString>

class QWidget;

namespace lumenveil::ui {

// Style values of a message box: one value of each group, added together.
inline constexpr int MsgOkOnly = 0;             // buttons: OK
inline constexpr int MsgYesNo = 0x4;            // buttons: Yes and No
inline constexpr int MsgCritical = 0x10;        // icon: stop
inline constexpr int MsgQuestion = 0x20;        // icon: question
inline constexpr int MsgExclamation = 0x30;     // icon: exclamation
inline constexpr int MsgInformation = 0x40;     // icon: information
inline constexpr int MsgDefaultButton2 = 0x100; // the second button is the default

// The answer: the button the user pressed.
inline constexpr int AnswerOk = 1;
inline constexpr int AnswerYes = 6;
inline constexpr int AnswerNo = 7;

enum class MessageIcon
{
    None,
    Stop,
    Question,
    Exclamation,
    Information,
};

enum class MessageButtons
{
    Ok,
    YesNo,
};

// A message box as it is to be shown, decoded from a style value.
struct MessageBoxRequest
{
    QString prompt;
    QString title;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    bool secondButtonIsDefault = false;
};

// Decodes `style`. Button values other than Yes/No give a single OK button and unknown icon
// values no icon, so a box always has a way out. A box without a title bears "Lumenveil".
[[nodiscard]] MessageBoxRequest DescribeMessageBox(const QString& prompt, int style,
                                                   const QString& title);

// The modal message box of the platform.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;

    // Shows the box modal to `owner` (or to the whole program when null) and returns when the
    // user has answered: AnswerOk, AnswerYes or AnswerNo.
    virtual int Show(const MessageBoxRequest& request, QWidget* owner) = 0;
};

// Shows `prompt` with `style` and returns the answer; a box without a title bears
// "Lumenveil".
int ShowMessage(MessageBoxes& boxes, QWidget* owner, const QString& prompt, int style,
                const QString& title = {});

// Message boxes on QMessageBox. Closing a Yes/No box without a button answers No.
class QtMessageBoxes final : public MessageBoxes
{
public:
    int Show(const MessageBoxRequest& request, QWidget* owner) override;
};

} // namespace lumenveil::ui
