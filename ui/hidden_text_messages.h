#pragma once

#include "codec/hidden_text.h"
#include "picture/picture_format.h"

#include <QString>

class QTextDocument;

#include <optional>
#include <string>
#include <string_view>

namespace lumenveil::ui {

// A message box to show: prompt, style value and title (empty: the application title).
struct MessageReport
{
    QString prompt;
    int style = 0;
    QString title;
};

// The text box's text exactly as typed, line breaks as "\n". Unlike the box's plain text it
// keeps a no-break space, which the code page can store, as it is.
[[nodiscard]] QString BoxText(const QTextDocument& document);

// The text box's text as it is hidden. A Windows text box holds a line break as CR LF, and
// so do the messages hidden by other copies of the program: each "\n" becomes "\r\n".
[[nodiscard]] std::u16string TextToHide(const QString& boxText);

// A hidden text as the text box shows it: "\r\n" and a lone "\r" become "\n".
[[nodiscard]] QString TextToShow(std::u16string_view hiddenText);

// What to tell the user after hiding; nothing when the text was hidden.
[[nodiscard]] std::optional<MessageReport> ReportHideOutcome(const HideOutcome& outcome);

// What to tell the user after reading; nothing when a message was found. `loadedFrom` is
// the kind of file the picture came from: a JPEG gets a line that says why it holds no
// message.
[[nodiscard]] std::optional<MessageReport> ReportReadOutcome(const ReadOutcome& outcome,
                                                             PictureKind loadedFrom);

// Loads the file just saved under `path` afresh and reads its message. Nothing when the
// message read back is `hidden`; otherwise what to tell the user, naming the file.
[[nodiscard]] std::optional<MessageReport> CheckSavedMessage(const QString& path,
                                                             std::u16string_view hidden);

} // namespace lumenveil::ui
