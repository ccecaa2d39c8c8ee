#include "cli/cli_commands.h"

#include "codec/hidden_text.h"
#include "picture/bitmap_file_grid.h"
#include "picture/picture_surface.h"

#include <QCommandLineParser>
#include <QFile>
#include <QStringDecoder>

#include <optional>

namespace lumenveil::cli {

namespace {

constexpr char Usage[] =
    "Usage: lumenveil-cli COMMAND [OPTIONS] ...\n"
    "Hides a text message in a picture, or reads it back.\n"
    "\n"
    "Commands:\n"
    "  hide PICTURE OUTPUT [--text TEXT | --file FILE]\n"
    "      Hides a message in PICTURE (BMP, JPEG, GIF or PNG) and writes the result to\n"
    "      OUTPUT as a 24-bit Windows bitmap, whatever OUTPUT's extension. The message\n"
    "      comes from --text, from a UTF-8 text file named by --file, or else from\n"
    "      standard input.\n"
    "  reveal PICTURE...\n"
    "      Prints the message hidden in each PICTURE (UTF-8) to standard output. With\n"
    "      several pictures each message stands under a line \"==> PICTURE <==\".\n"
    "  capacity PICTURE\n"
    "      Prints how many characters of text PICTURE can hold.\n"
    "\n"
    "Options:\n"
    "  -t, --text TEXT   the message to hide\n"
    "  -f, --file FILE   read the message to hide from FILE (UTF-8)\n"
    "  -h, --help        show this help and exit\n"
    "  -v, --version     show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  a picture holds no complete message, or the text does not fit in the picture\n"
    "     or has characters that cannot be stored\n"
    "  2  a usage error, or a file that cannot be read or written\n";

// Writes UTF-8 text to a C stream.
void Print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

int Complain(std::FILE* err, const QString& message, int status)
{
    Print(err, QStringLiteral("lumenveil-cli: %1\n").arg(message));
    return status;
}

int UsageError(std::FILE* err, const QString& message)
{
    Complain(err, message, ExitFailure);
    Print(err, QStringLiteral("Try 'lumenveil-cli --help' for more information.\n"));
    return ExitFailure;
}

QString FromUtf16(const std::u16string& text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string ToUtf16(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

std::optional<QString> DecodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    if (text.startsWith(QChar(0xFEFF))) { // a byte-order mark is not part of the message
        text.remove(0, 1);
    }
    return text;
}

QByteArray ReadAll(std::FILE* in)
{
    QByteArray bytes;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        bytes.append(buffer, static_cast<qsizetype>(got));
    }
    return bytes;
}

bool Load(PictureSurface& surface, const QString& path, std::FILE* err)
{
    const PictureResult result = surface.LoadImageFile(path);
    if (!result.ok()) {
        Complain(err, DescribePictureResult(result, path), ExitFailure);
    }
    return result.ok();
}

int Hide(const QCommandLineParser& parser, const QStringList& args, std::FILE* in,
         std::FILE* err)
{
    if (args.size() != 2) {
        return UsageError(err, QStringLiteral("hide takes a PICTURE and an OUTPUT file"));
    }
    if (parser.isSet("text") && parser.isSet("file")) {
        return UsageError(err, QStringLiteral("give the message with --text or --file, not both"));
    }

    QString source = QStringLiteral("standard input");
    QByteArray bytes;
    if (parser.isSet("text")) {
        bytes = parser.value("text").toUtf8();
    } else if (parser.isSet("file")) {
        source = parser.value("file");
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly)) {
            return Complain(err,
                            QStringLiteral("cannot read the message file \u201C%1\u201D: %2")
                                .arg(source, file.errorString()),
                            ExitFailure);
        }
        bytes = file.readAll();
    } else {
        bytes = ReadAll(in);
    }
    const std::optional<QString> text = DecodeUtf8(bytes);
    if (!text) {
        return Complain(err,
                        QStringLiteral("the message from %1 is not valid UTF-8 text").arg(source),
                        ExitFailure);
    }

    PictureSurface surface;
    const QString& picture = args[0];
    const QString& output = args[1];
    if (!Load(surface, picture, err)) {
        return ExitFailure;
    }
    const HideOutcome outcome = HideText(surface, ToUtf16(*text));
    if (outcome.status != HideStatus::Hidden) {
        return Complain(err,
                        QStringLiteral("%1: %2").arg(
                            picture, QString::fromStdString(DescribeHideOutcome(outcome))),
                        ExitNoMessage);
    }
    const PictureResult saved = surface.SaveBitmapFile(output);
    if (!saved.ok()) {
        return Complain(err, DescribePictureResult(saved, output), ExitFailure);
    }
    return ExitOk;
}

int Reveal(const QStringList& pictures, std::FILE* out, std::FILE* err)
{
    if (pictures.isEmpty()) {
        return UsageError(err, QStringLiteral("reveal takes at least one PICTURE"));
    }
    int status = ExitOk;
    bool first = true;
    for (const QString& picture : pictures) {
        // A plain 24-bit bitmap is read lazily, only as far as the message goes.
        std::optional<ReadOutcome> lazily = ReadTextLazily(picture);
        PictureSurface surface;
        if (!lazily && !Load(surface, picture, err)) {
            status = ExitFailure;
            continue;
        }
        const ReadOutcome outcome = lazily ? std::move(*lazily) : ReadText(surface);
        if (outcome.status != ReadStatus::Found) {
            Complain(err,
                     QStringLiteral("%1: %2").arg(
                         picture, QString::fromStdString(DescribeReadOutcome(outcome))),
                     ExitNoMessage);
            status = std::max<int>(status, ExitNoMessage);
            continue;
        }
        if (pictures.size() > 1) {
            Print(out, QStringLiteral("%1==> %2 <==\n").arg(first ? "" : "\n", picture));
        }
        first = false;
        Print(out, FromUtf16(outcome.text) + QLatin1Char('\n'));
    }
    std::fflush(out);
    return status;
}

int Capacity(const QStringList& args, std::FILE* out, std::FILE* err)
{
    if (args.size() != 1) {
        return UsageError(err, QStringLiteral("capacity takes one PICTURE"));
    }
    PictureSurface surface;
    if (!Load(surface, args[0], err)) {
        return ExitFailure;
    }
    Print(out, QString::number(CapacityInChars(surface.ImageWidth(), surface.ImageHeight())) +
                   QLatin1Char('\n'));
    return ExitOk;
}

} // namespace

int Run(const QStringList& arguments, std::FILE* in, std::FILE* out, std::FILE* err)
{
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOption({{"t", "text"}, "The message to hide.", "TEXT"});
    parser.addOption({{"f", "file"}, "Read the message from FILE.", "FILE"});
    parser.addOption({{"h", "help"}, "Show the help."});
    parser.addOption({{"v", "version"}, "Show the version."});
    if (!parser.parse(arguments)) {
        return UsageError(err, parser.errorText());
    }
    if (parser.isSet("help")) {
        Print(out, QString::fromLatin1(Usage));
        return ExitOk;
    }
    if (parser.isSet("version")) {
        Print(out, QStringLiteral("lumenveil-cli " LUMENVEIL_VERSION "\n"));
        return ExitOk;
    }

    QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        return UsageError(err, QStringLiteral("no command given"));
    }
    const QString command = args.takeFirst();
    if (command != QLatin1String("hide") && (parser.isSet("text") || parser.isSet("file"))) {
        return UsageError(err, QStringLiteral("--text and --file belong to the hide command"));
    }
    if (command == QLatin1String("hide")) {
        return Hide(parser, args, in, err);
    }
    if (command == QLatin1String("reveal")) {
        return Reveal(args, out, err);
    }
    if (command == QLatin1String("capacity")) {
        return Capacity(args, out, err);
    }
    return UsageError(err, QStringLiteral("unknown command \u201C%1\u201D").arg(command));
}

} // namespace lumenveil::cli
