#include "cli/cli_commands.h"

#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "lumenveil_version.h"
#include "picture/bitmap_file_grid.h"
#include "picture/bitmap_save.h"
#include "picture/bitmap_writer.h"
#include "picture/picture_format.h"
#include "picture/picture_surface.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

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
    "      Prints the message hidden in PICTURE to standard output: exactly its text in\n"
    "      UTF-8, with a newline added only on a terminal. With several pictures each\n"
    "      message stands under a line \"==> PICTURE <==\" and ends with a newline.\n"
    "  capacity PICTURE\n"
    "      Prints how many characters of text PICTURE can hold.\n"
    "\n"
    "A PICTURE of - is read from standard input; an OUTPUT of - is written to standard\n"
    "output. File names and text are taken in UTF-8.\n"
    "\n"
    "Options:\n"
    "  -t, --text TEXT   the message to hide\n"
    "  -f, --file FILE   read the message to hide from FILE (UTF-8)\n"
    "  -h, --help        show this help and exit\n"
    "  -v, --version     show the version and exit\n"
    "  --                no options after this: a name that begins with - is a file\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  a picture holds no complete message, or the text does not fit in the picture\n"
    "     or has characters that cannot be stored\n"
    "  2  a usage error, or a file that cannot be read or written\n";

// What the command line asked for.
struct Options
{
    std::optional<QString> text;
    std::optional<QString> file;
    bool help = false;
    bool version = false;
    QStringList positional;
};

// Standard output with every write checked; the first failure is kept for the end.
class Output
{
public:
    explicit Output(std::FILE* stream) : stream_(stream) {}

    void Write(const QByteArray& bytes)
    {
        const auto size = static_cast<std::size_t>(bytes.size());
        errno = 0;
        if (error_ == 0 && std::fwrite(bytes.constData(), 1, size, stream_) != size) {
            error_ = errno != 0 ? errno : EIO;
        }
    }

    // Flushes what is left; the system's error from any write or the flush, 0 when all went out.
    [[nodiscard]] int Finish()
    {
        errno = 0;
        if (std::fflush(stream_) != 0 && error_ == 0) {
            error_ = errno != 0 ? errno : EIO;
        }
        return error_;
    }

    [[nodiscard]] bool IsTerminal() const { return ::isatty(::fileno(stream_)) == 1; }
    [[nodiscard]] int Descriptor() const { return ::fileno(stream_); }

private:
    std::FILE* stream_;
    int error_ = 0;
};

// Qt's PNG reader leaves libpng's own error handler in place, which prints "libpng error: ..."
// straight to standard error, and our own message says what went wrong: while a picture is
// decoded, standard error leads nowhere.
class QuietDecoders
{
public:
    QuietDecoders() : saved_(::dup(STDERR_FILENO))
    {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) {
            std::fflush(stderr);
            ::dup2(null, STDERR_FILENO);
        }
        if (null >= 0) {
            ::close(null);
        }
    }
    ~QuietDecoders()
    {
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    QuietDecoders(const QuietDecoders&) = delete;
    QuietDecoders& operator=(const QuietDecoders&) = delete;

private:
    int saved_;
};

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

std::u16string ToUtf16(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

std::optional<QString> DecodeUtf8(const QByteArray& bytes)
{
    // A leading byte-order mark is kept: in a name it is part of the name.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

// `bytes` for the user: printable ASCII as it is, every other byte as \xNN.
QString ShowBytes(const QByteArray& bytes)
{
    QString shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte >= 0x20 && byte < 0x7F
                     ? QString(QLatin1Char(c))
                     : QStringLiteral("\\x") +
                           QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    }
    return shown;
}

// Reads `device` until its end, but never more than `limit` bytes: a source may have no end.
bool ReadAtMost(QIODevice& device, qint64 limit, QByteArray& bytes)
{
    constexpr qint64 Piece = qint64{1} << 20;
    while (bytes.size() < limit) {
        const qsizetype before = bytes.size();
        const qint64 wanted = std::min(limit - before, Piece);
        bytes.resize(before + wanted);
        const qint64 got = device.read(bytes.data() + before, wanted);
        bytes.resize(before + std::max<qint64>(got, 0));
        if (got <= 0) {
            return got == 0;
        }
    }
    return true;
}

// Loads `path` ("-": standard input) into `surface`, telling `sink` of the rows, or says why
// not; when the sink stopped the load, the sink knows why.
bool Load(PictureSurface& surface, const QString& path, std::FILE* in, std::FILE* err,
          RowSink* sink = nullptr)
{
    PictureResult result;
    {
        const QuietDecoders quiet;
        QFile stream;
        if (path != QLatin1String("-")) {
            result = surface.LoadImageFile(path, sink);
        } else if (stream.open(::fileno(in), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            result = surface.LoadImageStream(stream, sink);
        } else {
            result = PictureResult{PictureStatus::NotReadable, stream.errorString()};
        }
    }
    if (!result.ok() && result.status != PictureStatus::Stopped) {
        const QString name = path == QLatin1String("-") ? QStringLiteral("standard input") : path;
        Complain(err, DescribePictureResult(result, name), ExitFailure);
    }
    return result.ok();
}

// Writes the bitmap of `surface` to standard output.
int SaveToOutput(const PictureSurface& surface, const Output& out, std::FILE* err)
{
    if (out.IsTerminal()) {
        return Complain(err,
                        QStringLiteral("will not write a bitmap to a terminal: send standard "
                                       "output to a file or a pipe"),
                        ExitFailure);
    }
    QFile stream;
    errno = 0;
    if (!stream.open(out.Descriptor(), QIODevice::WriteOnly | QIODevice::Unbuffered,
                     QFileDevice::DontCloseHandle) ||
        !WriteBitmap(stream, surface.Image()) || !stream.flush()) {
        const QString reason =
            stream.error() != QFileDevice::NoError ? stream.errorString() : qt_error_string(errno);
        return Complain(err, QStringLiteral("cannot write to standard output: %1").arg(reason),
                        ExitFailure);
    }
    return ExitOk;
}

// Hides the message in each band of rows as the picture is decoded and, unless the result goes
// to standard output, hands the band to the save at once, so that the disk writes while the
// decoder works. The message is read and checked as soon as the picture's size is known: what
// the picture can hold bounds what is read of it.
class HidingSink final : public RowSink
{
public:
    HidingSink(const Options& options, std::FILE* in, const QString& picture,
               BitmapFileSave* save)
        : options_(options), in_(in), picture_(picture), save_(save)
    {}

    bool Begin(int width, int height) override
    {
        const std::optional<QString> text = ReadMessage(CapacityInChars(width, height));
        if (!text) {
            return false;
        }
        const std::u16string message = ToUtf16(*text);
        const HideOutcome outcome = CheckHide(message, width, height);
        if (outcome.status != HideStatus::Hidden) {
            return Refuse(QStringLiteral("%1: %2").arg(
                              picture_, QString::fromStdString(DescribeHideOutcome(outcome))),
                          ExitNoMessage);
        }
        framed_ = FramedMessage(message);
        height_ = height;
        return save_ == nullptr || Saved(save_->Begin(width, height));
    }

    bool RowsDone(QImage& image, int top, int bottom, int imageTop) override
    {
        ImageGrid grid(image, imageTop, height_);
        StoreFramedRows(grid, framed_, top, bottom);
        return save_ == nullptr || Saved(save_->WriteRows(image, top, bottom, imageTop));
    }

    // Rows that went to the file are needed no more; standard output takes the whole picture.
    bool KeepPicture() const override { return save_ == nullptr; }

    // Why the sink stopped the load: a complaint about the message with its exit status, or
    // the save's failure; neither when it did not.
    [[nodiscard]] const QString& Complaint() const { return complaint_; }
    [[nodiscard]] int Status() const { return status_; }
    [[nodiscard]] const PictureResult& SaveFailure() const { return saveFailure_; }

private:
    // The message from --text, --file or standard input, at most what `capacity` characters can
    // take, without a byte-order mark; nothing when it cannot be had (the complaint says why).
    std::optional<QString> ReadMessage(std::int64_t capacity)
    {
        QString source = QStringLiteral("standard input");
        QByteArray bytes;
        if (options_.text) {
            bytes = options_.text->toUtf8();
        } else {
            QFile file;
            bool read = false;
            if (options_.file) {
                source = QStringLiteral("\u201C%1\u201D").arg(*options_.file);
                file.setFileName(*options_.file);
                read = file.open(QIODevice::ReadOnly);
            } else {
                read = file.open(::fileno(in_), QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
            }
            // A character takes at most 4 bytes and a byte-order mark 3: a source that gives
            // more than that cannot fit, and is not read further (it may have no end: /dev/zero).
            const qint64 limit = 4 * capacity + 3 + 1;
            if (!read || !ReadAtMost(file, limit, bytes)) {
                Refuse(QStringLiteral("cannot read the message %1 %2: %3")
                           .arg(options_.file ? "file" : "from", source, file.errorString()),
                       ExitFailure);
                return std::nullopt;
            }
            if (bytes.size() == limit) {
                Refuse(QStringLiteral("%1: the message from %2 is too long: this picture can "
                                      "store at most %3 characters.")
                           .arg(picture_, source)
                           .arg(capacity),
                       ExitNoMessage);
                return std::nullopt;
            }
        }
        std::optional<QString> text = DecodeUtf8(bytes);
        if (!text) {
            Refuse(QStringLiteral("the message from %1 is not valid UTF-8 text").arg(source),
                   ExitFailure);
            return std::nullopt;
        }
        if (text->startsWith(QChar(0xFEFF))) { // a byte-order mark is not part of the message
            text->remove(0, 1);
        }
        return text;
    }

    bool Refuse(const QString& complaint, int status)
    {
        complaint_ = complaint;
        status_ = status;
        return false;
    }

    bool Saved(PictureResult result)
    {
        saveFailure_ = std::move(result);
        return saveFailure_.ok();
    }

    const Options& options_;
    std::FILE* in_;
    const QString& picture_;
    BitmapFileSave* save_;
    std::u16string framed_;
    int height_ = 0;
    QString complaint_;
    int status_ = ExitOk;
    PictureResult saveFailure_;
};

int Hide(const Options& options, std::FILE* in, const Output& out, std::FILE* err)
{
    const QStringList& args = options.positional;
    if (args.size() != 2) {
        return UsageError(err, QStringLiteral("hide takes a PICTURE and an OUTPUT file"));
    }
    if (options.text && options.file) {
        return UsageError(err, QStringLiteral("give the message with --text or --file, not both"));
    }
    const QString& picture = args[0];
    const QString& output = args[1];
    if (picture == QLatin1String("-") && !options.text && !options.file) {
        return UsageError(err, QStringLiteral("the picture comes from standard input, so give "
                                              "the message with --text or --file"));
    }

    // A save that is never committed leaves no trace, and an existing OUTPUT as it was.
    std::optional<BitmapFileSave> save;
    if (output != QLatin1String("-")) {
        save.emplace(output);
    }
    HidingSink sink(options, in, picture, save ? &*save : nullptr);
    PictureSurface surface;
    const bool loaded = Load(surface, picture, in, err, &sink);
    if (!sink.Complaint().isEmpty()) {
        return Complain(err, sink.Complaint(), sink.Status());
    }
    PictureResult saved = sink.SaveFailure();
    if (saved.ok() && !loaded) {
        return ExitFailure;
    }
    if (!save) {
        return SaveToOutput(surface, out, err);
    }
    if (saved.ok()) {
        saved = save->Commit();
    }
    if (!saved.ok()) {
        return Complain(err, DescribePictureResult(saved, output), ExitFailure);
    }
    return ExitOk;
}

// What follows a message printed alone: nothing, so that the bytes are exactly the message's,
// except on a terminal when the message does not end a line, so that the prompt starts one.
QByteArray AfterMessage(const QByteArray& message, bool terminal)
{
    return terminal && !message.endsWith('\n') ? QByteArray("\n") : QByteArray();
}

int Reveal(const QStringList& pictures, std::FILE* in, Output& out, std::FILE* err)
{
    if (pictures.isEmpty()) {
        return UsageError(err, QStringLiteral("reveal takes at least one PICTURE"));
    }
    int status = ExitOk;
    bool first = true;
    for (const QString& picture : pictures) {
        // A plain 24-bit bitmap is read lazily, only as far as the message goes; "-" is
        // standard input, even where a file has that name.
        std::optional<ReadOutcome> lazily =
            picture != QLatin1String("-") ? ReadTextLazily(NativePath(picture)) : std::nullopt;
        PictureSurface surface;
        if (!lazily && !Load(surface, picture, in, err)) {
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
        const QByteArray message = QByteArray::fromStdString(TextToUtf8(outcome.text));
        if (pictures.size() == 1) {
            out.Write(message + AfterMessage(message, out.IsTerminal()));
            continue;
        }
        out.Write(QStringLiteral("%1==> %2 <==\n").arg(first ? "" : "\n", picture).toUtf8());
        out.Write(message + '\n');
        first = false;
    }
    return status;
}

int Capacity(const QStringList& args, std::FILE* in, Output& out, std::FILE* err)
{
    if (args.size() != 1) {
        return UsageError(err, QStringLiteral("capacity takes one PICTURE"));
    }
    PictureSurface surface;
    if (!Load(surface, args[0], in, err)) {
        return ExitFailure;
    }
    out.Write(QByteArray::number(CapacityInChars(surface.ImageWidth(), surface.ImageHeight())) +
              '\n');
    return ExitOk;
}

// Reads the options and the positional arguments; a complaint, or nothing when all is well.
QString Parse(const QStringList& args, Options& options)
{
    bool onlyPositional = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (onlyPositional || arg == QLatin1String("-") || !arg.startsWith('-')) {
            options.positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            onlyPositional = true;
            continue;
        }
        const QString name = arg.section('=', 0, 0);
        std::optional<QString>* valued = nullptr;
        if (name == QLatin1String("-t") || name == QLatin1String("--text")) {
            valued = &options.text;
        } else if (name == QLatin1String("-f") || name == QLatin1String("--file")) {
            valued = &options.file;
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            options.help = true;
            continue;
        } else if (arg == QLatin1String("-v") || arg == QLatin1String("--version")) {
            options.version = true;
            continue;
        } else {
            return QStringLiteral("unknown option '%1'").arg(arg);
        }
        if (name.startsWith(QLatin1String("--")) && name != arg) {
            *valued = arg.section('=', 1); // --text=VALUE
        } else if (name == arg && i + 1 < args.size()) {
            *valued = args[++i];
        } else {
            return name == arg ? QStringLiteral("option '%1' needs a value").arg(arg)
                               : QStringLiteral("unknown option '%1'").arg(arg);
        }
    }
    return {};
}

int Dispatch(const Options& options, std::FILE* in, Output& out, std::FILE* err)
{
    if (options.help) {
        out.Write(Usage);
        return ExitOk;
    }
    if (options.version) {
        out.Write("lumenveil-cli " LUMENVEIL_VERSION "\n");
        return ExitOk;
    }
    QStringList args = options.positional;
    if (args.isEmpty()) {
        return UsageError(err, QStringLiteral("no command given"));
    }
    const QString command = args.takeFirst();
    if (command != QLatin1String("hide") && (options.text || options.file)) {
        return UsageError(err, QStringLiteral("--text and --file belong to the hide command"));
    }
    Options rest = options;
    rest.positional = args;
    if (command == QLatin1String("hide")) {
        return Hide(rest, in, out, err);
    }
    if (command == QLatin1String("reveal")) {
        return Reveal(args, in, out, err);
    }
    if (command == QLatin1String("capacity")) {
        return Capacity(args, in, out, err);
    }
    return UsageError(err, QStringLiteral("unknown command \u201C%1\u201D").arg(command));
}

} // namespace

int Run(const QList<QByteArray>& arguments, std::FILE* in, std::FILE* out, std::FILE* err)
{
    // Names are used exactly as given or not at all: one that is not UTF-8 cannot be carried
    // to the system unchanged, and a changed one would name another file.
    QStringList args;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const std::optional<QString> arg = DecodeUtf8(arguments[i]);
        if (!arg) {
            return Complain(err,
                            QStringLiteral("\u201C%1\u201D is not valid UTF-8: lumenveil-cli "
                                           "takes file names and text in UTF-8 only; rename "
                                           "the file")
                                .arg(ShowBytes(arguments[i])),
                            ExitFailure);
        }
        args.append(*arg);
    }
    Options options;
    if (const QString problem = Parse(args, options); !problem.isEmpty()) {
        return UsageError(err, problem);
    }
    Output output(out);
    const int status = Dispatch(options, in, output, err);
    if (const int error = output.Finish(); error != 0) {
        return Complain(
            err, QStringLiteral("cannot write to standard output: %1").arg(qt_error_string(error)),
            ExitFailure);
    }
    return status;
}

} // namespace lumenveil::cli
