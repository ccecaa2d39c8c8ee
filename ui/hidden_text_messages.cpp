#include "ui/hidden_text_messages.h"

#include "picture/bitmap_file_grid.h"
#include "picture/picture_surface.h"
#include "ui/picture_bridge.h"
#include "ui/message_box.h"
#include "ui/program_names.h"

#include <QDir>
#include <QTextDocument>

namespace lumenveil::ui {

namespace {

constexpr char JpegExplanation[] =
    "This picture was opened from a JPEG file. Saving a picture as JPEG destroys a hidden "
    "message, so open the bitmap (.bmp) file that Lumenveil saved instead.";

constexpr char SavedWithoutMessage[] =
    "The picture was saved as \u201C%1\u201D, but reading it back did not give the hidden "
    "message. %2\n\nKeep your text and save it again under another name or in another "
    "folder.";
constexpr char DifferentMessage[] = "The message read back differs from the text that was hidden.";

} // namespace

QString BoxText(const QTextDocument& document)
{
    // The raw text holds a paragraph separator between blocks and a line separator for a
    // line break inside one; nothing else differs from what was typed.
    QString text = document.toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

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

std::optional<MessageReport> CheckSavedMessage(const QString& path, std::u16string_view hidden)
{
    // Only the message's pixels are read from the new bitmap, not the whole picture again;
    // a file the lazy read does not take is loaded whole, as the user would load it.
    std::unique_ptr<ByteSource> source;
    PictureResult loaded = OpenPictureSource(NativePath(path), MaxPictureFileBytes, source);
    std::optional<ReadOutcome> outcome;
    if (loaded.ok()) {
        outcome = ReadTextLazily(*source);
    }
    if (loaded.ok() && !outcome) {
        PictureSurface saved;
        loaded = saved.LoadImageSource(*source);
        if (loaded.ok()) {
            outcome = ReadText(saved);
        }
    }
    QString problem;
    if (!loaded.ok()) {
        problem = DescribePicture(loaded, path);
    } else if (outcome->status != ReadStatus::Found) {
        problem = QString::fromStdString(DescribeReadOutcome(*outcome));
    } else if (outcome->text != hidden) {
        problem = QString::fromLatin1(DifferentMessage);
    } else {
        return std::nullopt;
    }
    return MessageReport{
        QString::fromUtf8(SavedWithoutMessage).arg(QDir::toNativeSeparators(path), problem),
        MsgOkOnly | MsgCritical, QString::fromLatin1(ProgramTitle)};
}

} // namespace lumenveil::ui
