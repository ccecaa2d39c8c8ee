#include "ui/hidden_text_messages.h"

#include "ui/message_box.h"
#include "ui/program_names.h"

namespace lumenveil::ui {

namespace {

constexpr char JpegExplanation[] =
    "This picture was opened from a JPEG file. Saving a picture as JPEG destroys a hidden "
    "message, so open the bitmap (.bmp) file that Lumenveil saved instead.";

} // namespace

std::u16string TextToHide(const QString& boxText)
{
    QString text = boxText;
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

QString TextToShow(std::u16string_view hiddenText)
{
    QString text = QString::fromUtf16(hiddenText.data(), static_cast<qsizetype>(hiddenText.size()));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

std::optional<MessageReport> ReportHideOutcome(const HideOutcome& outcome)
{
    const QString prompt = QString::fromStdString(DescribeHideOutcome(outcome));
    switch (outcome.status) {
    case HideStatus::Hidden:
        return std::nullopt;
    case HideStatus::DoesNotFit:
        // This box has always been shown without a title, so it bears "Lumenveil".
        return MessageReport{prompt, MsgOkOnly | MsgCritical, QString()};
    case HideStatus::UnstorableCharacters:
    case HideStatus::ContainsEndMarker:
        return MessageReport{prompt, MsgOkOnly | MsgCritical, QString::fromLatin1(ProgramTitle)};
    }
    return std::nullopt;
}

std::optional<MessageReport> ReportReadOutcome(const ReadOutcome& outcome, PictureKind loadedFrom)
{
    if (outcome.status == ReadStatus::Found) {
        return std::nullopt;
    }
    QString prompt = QString::fromStdString(DescribeReadOutcome(outcome));
    if (loadedFrom == PictureKind::Jpeg) {
        prompt += QStringLiteral("\n\n") + QString::fromLatin1(JpegExplanation);
    }
    return MessageReport{prompt, MsgOkOnly | MsgExclamation, QString::fromLatin1(ProgramTitle)};
}

} // namespace lumenveil::ui
