#include "cli/cli_commands.h"

#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "lumenveil_version.h"
#include "picture/bitmap_save.h"
#include "picture/bitmap_writer.h"
#include "picture/byte_source.h"
#include "picture/decoding_grid.h"
#include "picture/picture_surface.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <optional>

#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

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

constexpr std::string_view StandardInput = "-";

std::string Quoted(std::string_view text) { return "\u201C" + std::string(text) + "\u201D"; }

// What the command line asked for.
struct Options
{
    std::optional<std::string> text;
    std::optional<std::string> file;
    bool help = false;
    bool version = false;
    std::vector<std::string> positional;
};

// Standard output with every write checked; the first failure is kept for the end.
class Output
{
public:
    explicit Output(std::FILE* stream) : stream_(stream) {}

    void Write(std::string_view bytes)
    {
        errno = 0;
        if (error_ == 0 && std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
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

#ifdef _WIN32
    [[nodiscard]] int Descriptor() const { return ::_fileno(stream_); }
    // A console, not any character device: _isatty also says yes for NUL.
    [[nodiscard]] bool IsTerminal() const
    {
        DWORD mode = 0;
        return ::GetConsoleMode(reinterpret_cast<HANDLE>(::_get_osfhandle(Descriptor())), &mode) != 0;
    }
#else
    [[nodiscard]] int Descriptor() const { return ::fileno(stream_); }
    [[nodiscard]] bool IsTerminal() const { return ::isatty(Descriptor()) == 1; }
#endif

private:
    std::FILE* stream_;
    int error_ = 0;
};

void Print(std::FILE* stream, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

int Complain(std::FILE* err, std::string_view message, int status)
{
    Print(err, "lumenveil-cli: " + std::string(message) + "\n");
    return status;
}

int UsageError(std::FILE* err, std::string_view message)
{
    Complain(err, message, ExitFailure);
    Print(err, "Try 'lumenveil-cli --help' for more information.\n");
    return ExitFailure;
}

// `bytes` for the user: printable ASCII as it is, every other byte as \xNN.
std::string ShowBytes(std::string_view bytes)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            shown += "\\x";
            shown += Digits[byte >> 4];
            shown += Digits[byte & 15];
        }
    }
    return shown;
}

// `message` (UTF-8) as a terminal is to get it: every control character but the line break and
// the tab shown as `cat -v` shows it, ^[ for ESC, ^? for DEL, M-^] for U+009D, since a
// terminal obeys them and a message could otherwise set its title, write to the clipboard or
// send it keys. The C1 controls U+0080 .. U+009F arrive as C2 80 .. C2 9F; a C2 byte is never
// anything but the lead of a pair in the valid UTF-8 TextToUtf8 gives.
std::string VisibleOnTerminal(std::string_view message)
{
    std::string shown;
    shown.reserve(message.size());
    for (std::size_t i = 0; i < message.size(); ++i) {
        const auto byte = static_cast<unsigned char>(message[i]);
        const auto next = i + 1 < message.size() ? static_cast<unsigned char>(message[i + 1]) : 0;
        if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
            shown += '^';
            shown += static_cast<char>(byte ^ 0x40);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            shown += "M-^";
            shown += static_cast<char>((next & 0x7F) ^ 0x40);
            ++i;
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}

// Reads `file` until its end, but never more than `limit` bytes: a source may have no end.
// False with the reason in LastSystemError() where a read fails.
bool ReadAtMost(const ReadFile& file, std::int64_t limit, std::string& bytes)
{
    constexpr std::int64_t Piece = std::int64_t{1} << 20;
    while (static_cast<std::int64_t>(bytes.size()) < limit) {
        const auto before = static_cast<std::int64_t>(bytes.size());
        const std::int64_t wanted = std::min(limit - before, Piece);
        bytes.resize(static_cast<std::size_t>(before + wanted));
        const std::int64_t got = file.Read(-1, bytes.data() + before, wanted);
        bytes.resize(static_cast<std::size_t>(before + std::max<std::int64_t>(got, 0)));
        if (got <= 0) {
            return got == 0;
        }
    }
    return true;
}

std::string PictureName(std::string_view picture)
{
    return picture == StandardInput ? std::string("standard input") : DisplayName(picture);
}

// The picture `path` ("-": standard input), opened once, or why not, said on `err`.
std::unique_ptr<ByteSource> OpenPicture(std::string_view path, int in, std::FILE* err,
                                        const DecodeLimits& limits)
{
    std::unique_ptr<ByteSource> source;
    PictureResult opened;
    if (path == StandardInput) {
        ReadFile stream;
        stream.Borrow(in);
        opened = ReadWholeStream(stream, limits.streamBytes, source);
    } else {
        opened = OpenPictureSource(NativeNameFromUtf8(path), limits.streamBytes, source);
    }
    if (!opened.ok()) {
        Complain(err, DescribePictureResult(opened, PictureName(path)), ExitFailure);
        return nullptr;
    }
    return source;
}

// Loads `source` (the picture `path`) into `surface`, telling `sink` of the rows, or says why
// not; when the sink stopped the load, the sink knows why.
bool Load(PictureSurface& surface, ByteSource& source, std::string_view path, std::FILE* err,
          const DecodeLimits& limits, RowSink* sink = nullptr)
{
    const PictureResult result = surface.LoadImageSource(source, sink, limits);
    if (!result.ok() && result.status != PictureStatus::Stopped) {
        Complain(err, DescribePictureResult(result, PictureName(path)), ExitFailure);
    }
    return result.ok();
}

// Writes the bitmap of `surface` to standard output, which need not be able to seek.
int SaveToOutput(const PictureSurface& surface, Output& out, std::FILE* err)
{
    if (out.IsTerminal()) {
        return Complain(err,
                        "will not write a bitmap to a terminal: send standard output to a file "
                        "or a pipe",
                        ExitFailure);
    }
    std::string reason;
    if (const int error = out.Finish(); error != 0) {
        reason = SystemErrorText(error);
    }
    const int fd = out.Descriptor();
    std::int64_t next = 0;
    BitmapRowWriter writer(surface.ImageWidth(), surface.ImageHeight(),
                           [&](std::int64_t offset, std::vector<char>&& bytes) {
                               if (offset != next) {
                                   return false; // rows are written in their order
                               }
                               const char* at = bytes.data();
                               std::size_t left = bytes.size();
                               while (left > 0) {
#ifdef _WIN32
                                   const auto written = ::_write(
                                       fd, at, static_cast<unsigned>(std::min<std::size_t>(left, 1u << 30)));
#else
                                   const auto written = ::write(fd, at, left);
#endif
                                   if (written < 0 && errno == EINTR) {
                                       continue;
                                   }
                                   if (written <= 0) {
                                       reason = SystemErrorText(written == 0 ? ENOSPC : errno);
                                       return false;
                                   }
                                   at += written;
                                   left -= static_cast<std::size_t>(written);
                               }
                               next += static_cast<std::int64_t>(bytes.size());
                               return true;
                           });
    auto& pixels = const_cast<PixelBuffer&>(surface.Pixels());
    if (reason.empty() && !(writer.WriteHeaders() && writer.WriteRows(pixels.All()))) {
        if (writer.OutOfMemory()) {
            reason = "not enough memory to write it";
        }
    }
    if (!reason.empty()) {
        return Complain(err, "cannot write to standard output: " + reason, ExitFailure);
    }
    return ExitOk;
}

// Whether OUTPUT names the very file the picture comes from: writing the bitmap there would
// take the only copy of a photo that is no bitmap.
bool IsSameFile(const ByteSource& source, std::string_view output)
{
    const ReadFile* file = source.File();
    if (file == nullptr) {
        return false;
    }
#ifdef _WIN32
    // A file is its volume and its index there; opening with no access right reads them even
    // of a file that another program holds open.
    const auto picture = reinterpret_cast<HANDLE>(::_get_osfhandle(file->Descriptor()));
    const HANDLE target = ::CreateFileW(NativeNameFromUtf8(output).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (picture == INVALID_HANDLE_VALUE || target == INVALID_HANDLE_VALUE) {
        if (target != INVALID_HANDLE_VALUE) {
            ::CloseHandle(target);
        }
        return false;
    }
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    const bool known = ::GetFileInformationByHandle(picture, &a) != 0 &&
                       ::GetFileInformationByHandle(target, &b) != 0;
    ::CloseHandle(target);
    return known && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
#else
    struct stat picture {};
    struct stat target {};
    const std::string name(output);
    return ::fstat(file->Descriptor(), &picture) == 0 && ::stat(name.c_str(), &target) == 0 &&
           picture.st_dev == target.st_dev && picture.st_ino == target.st_ino;
#endif
}

// Hides the message in each band of rows as the picture is decoded and, unless the result goes
// to standard output, hands the band to the save at once, so that the disk writes while the
// decoder works. The message is read and checked as soon as the picture's size is known: what
// the picture can hold bounds what is read of it. `old` is the message the picture carries,
// whose slots past the new message are overwritten.
class HidingSink final : public RowSink
{
public:
    HidingSink(const Options& options, int in, std::string picture, BitmapFileSave* save,
               ReadOutcome old)
        : options_(options), in_(in), picture_(std::move(picture)), save_(save),
          old_(std::move(old))
    {}

    bool Begin(int width, int height) override
    {
        std::optional<std::u16string> message = ReadMessage(CapacityInChars(width, height));
        if (!message) {
            return false;
        }
        const HideOutcome outcome = CheckHide(*message, width, height);
        if (outcome.status != HideStatus::Hidden) {
            return Refuse(picture_ + ": " + DescribeHideOutcome(outcome), ExitNoMessage);
        }
        try {
            framed_ = FramedOver(*message, old_);
            old_ = {ReadStatus::NoStartMarker, {}}; // its text is needed no more
        } catch (const std::bad_alloc&) {
            return Refuse("not enough memory for the message", ExitFailure);
        }
        return save_ == nullptr || Saved(save_->Begin(width, height));
    }

    bool RowsDone(const RowBand& band) override
    {
        BandGrid grid(band);
        StoreFramedRows(grid, framed_, band.top, band.bottom);
        return save_ == nullptr || Saved(save_->WriteRows(band));
    }

    // Rows that went to the file are needed no more; standard output takes the whole picture.
    bool KeepPicture() const override { return save_ == nullptr; }

    // Why the sink stopped the load: a complaint about the message with its exit status, or
    // the save's failure; neither when it did not.
    [[nodiscard]] const std::string& Complaint() const { return complaint_; }
    [[nodiscard]] int Status() const { return status_; }
    [[nodiscard]] const PictureResult& SaveFailure() const { return saveFailure_; }

private:
    // The message from --text, --file or standard input, at most what `capacity` characters can
    // take, without a byte-order mark; nothing when it cannot be had (the complaint says why).
    std::optional<std::u16string> ReadMessage(std::int64_t capacity)
    {
        std::string source = "standard input";
        std::string bytes;
        try {
            if (options_.text) {
                bytes = *options_.text;
            } else if (!ReadMessageBytes(capacity, source, bytes)) {
                return std::nullopt;
            }
            std::optional<std::u16string> text = DecodeUtf8(bytes);
            if (!text) {
                Refuse("the message from " + source + " is not valid UTF-8 text", ExitFailure);
                return std::nullopt;
            }
            if (text->starts_with(u'\uFEFF')) { // a byte-order mark is not part of the message
                text->erase(0, 1);
            }
            return text;
        } catch (const std::bad_alloc&) {
            Refuse("not enough memory for the message from " + source, ExitFailure);
            return std::nullopt;
        }
    }

    bool ReadMessageBytes(std::int64_t capacity, std::string& source, std::string& bytes)
    {
        ReadFile file;
        PictureResult opened;
        if (options_.file) {
            source = Quoted(DisplayName(*options_.file));
            opened = file.Open(NativeNameFromUtf8(*options_.file));
            if (opened.status == PictureStatus::NotFound) {
                opened.reason = SystemErrorText(ENOENT);
            }
        } else {
            file.Borrow(in_);
        }
        // A character takes at most 4 bytes and a byte-order mark 3: a source that gives more
        // than that cannot fit, and is not read further (it may have no end: /dev/zero).
        const std::int64_t limit = 4 * capacity + 3 + 1;
        if (opened.ok() && !ReadAtMost(file, limit, bytes)) {
            opened.reason = LastSystemError();
            opened.status = PictureStatus::NotReadable;
        }
        if (!opened.ok()) {
            Refuse(std::string("cannot read the message ") + (options_.file ? "file " : "from ") +
                       source + ": " + opened.reason,
                   ExitFailure);
            return false;
        }
        if (static_cast<std::int64_t>(bytes.size()) == limit) {
            Refuse(picture_ + ": the message from " + source +
                       " is too long: this picture can store at most " + std::to_string(capacity) +
                       (capacity == 1 ? " character." : " characters."),
                   ExitNoMessage);
            return false;
        }
        return true;
    }

    bool Refuse(std::string complaint, int status)
    {
        complaint_ = std::move(complaint);
        status_ = status;
        return false;
    }

    bool Saved(PictureResult result)
    {
        saveFailure_ = std::move(result);
        return saveFailure_.ok();
    }

    const Options& options_;
    int in_;
    std::string picture_;
    BitmapFileSave* save_;
    ReadOutcome old_;
    std::u16string framed_;
    std::string complaint_;
    int status_ = ExitOk;
    PictureResult saveFailure_;
};

int Hide(const Options& options, int in, Output& out, std::FILE* err, const DecodeLimits& limits)
{
    const std::vector<std::string>& args = options.positional;
    if (args.size() != 2) {
        return UsageError(err, "hide takes a PICTURE and an OUTPUT file");
    }
    if (options.text && options.file) {
        return UsageError(err, "give the message with --text or --file, not both");
    }
    const std::string& picture = args[0];
    const std::string& output = args[1];
    if (picture == StandardInput && !options.text && !options.file) {
        return UsageError(err, "the picture comes from standard input, so give the message "
                               "with --text or --file");
    }
    std::unique_ptr<ByteSource> source = OpenPicture(picture, in, err, limits);
    if (!source) {
        return ExitFailure;
    }
    if (output != StandardInput && IsSameFile(*source, output) &&
        SniffSource(*source) != PictureKind::Bitmap) {
        return Complain(err,
                        Quoted(DisplayName(output)) + " is the picture " +
                            Quoted(DisplayName(picture)) +
                            " itself: writing the bitmap there would replace the only copy of "
                            "it; give another OUTPUT",
                        ExitFailure);
    }

    // A save that is never committed leaves no trace, and an existing OUTPUT as it was.
    std::optional<BitmapFileSave> save;
    if (output != StandardInput) {
        save.emplace(NativeNameFromUtf8(output));
    }
    // The rows are stored as they are decoded, so what is to be overwritten of a message the
    // picture carries must be known before the first of them. Where this read fails, the load
    // below fails as well and says why; should it not, the picture counts as one without.
    ReadOutcome old;
    if (!ReadTextOfPicture(*source, limits, old).ok()) {
        old = {ReadStatus::NoStartMarker, {}};
    }
    HidingSink sink(options, in, DisplayName(picture), save ? &*save : nullptr, std::move(old));
    PictureSurface surface;
    const bool loaded = Load(surface, *source, picture, err, limits, &sink);
    if (!sink.Complaint().empty()) {
        return Complain(err, sink.Complaint(), sink.Status());
    }
    PictureResult saved = sink.SaveFailure();
    if (saved.ok() && !loaded) {
        return ExitFailure;
    }
    if (!save) {
        return SaveToOutput(surface, out, err);
    }
    // Closed first: Windows replaces no file that is open, and OUTPUT may be the picture.
    source.reset();
    if (saved.ok()) {
        saved = save->Commit();
    }
    if (!saved.ok()) {
        return Complain(err, DescribePictureResult(saved, DisplayName(output)), ExitFailure);
    }
    return ExitOk;
}

int Reveal(const std::vector<std::string>& pictures, int in, Output& out, std::FILE* err,
           const DecodeLimits& limits)
{
    if (pictures.empty()) {
        return UsageError(err, "reveal takes at least one PICTURE");
    }
    int status = ExitOk;
    bool first = true;
    const bool terminal = out.IsTerminal();
    for (const std::string& picture : pictures) {
        const std::unique_ptr<ByteSource> source = OpenPicture(picture, in, err, limits);
        if (!source) {
            status = ExitFailure;
            continue;
        }
        // Only as much of the picture is decoded as the scan reads.
        ReadOutcome outcome;
        if (const PictureResult read = ReadTextOfPicture(*source, limits, outcome); !read.ok()) {
            Complain(err, DescribePictureResult(read, PictureName(picture)), ExitFailure);
            status = ExitFailure;
            continue;
        }
        if (outcome.status != ReadStatus::Found) {
            Complain(err, DisplayName(picture) + ": " + DescribeReadOutcome(outcome),
                     ExitNoMessage);
            status = std::max<int>(status, ExitNoMessage);
            continue;
        }
        // A terminal is shown its control characters rather than made to obey them; elsewhere
        // the bytes are exactly the message's.
        std::string message = TextToUtf8(outcome.text);
        if (terminal) {
            message = VisibleOnTerminal(message);
        }
        if (pictures.size() == 1) {
            out.Write(message);
            // On a terminal a message that does not end a line gets one, so that the prompt
            // starts one.
            if (terminal && !message.ends_with('\n')) {
                out.Write("\n");
            }
            continue;
        }
        out.Write(std::string(first ? "" : "\n") + "==> " + DisplayName(picture) + " <==\n");
        out.Write(message);
        out.Write("\n");
        first = false;
    }
    return status;
}

int Capacity(const std::vector<std::string>& args, int in, Output& out, std::FILE* err,
             const DecodeLimits& limits)
{
    if (args.size() != 1) {
        return UsageError(err, "capacity takes one PICTURE");
    }
    // The picture's size is all that counts, and its headers give it.
    const std::unique_ptr<ByteSource> source = OpenPicture(args[0], in, err, limits);
    if (!source) {
        return ExitFailure;
    }
    PictureHeader header;
    if (const PictureResult read = ReadPictureHeader(*source, limits, header); !read.ok()) {
        return Complain(err, DescribePictureResult(read, PictureName(args[0])), ExitFailure);
    }
    out.Write(std::to_string(CapacityInChars(header.width, header.height)) + "\n");
    return ExitOk;
}

// Reads the options and the positional arguments; a complaint, or nothing when all is well.
std::string Parse(const std::vector<std::string>& args, Options& options)
{
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyPositional || arg == StandardInput || !arg.starts_with('-')) {
            options.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        const std::string name = arg.substr(0, arg.find('='));
        std::optional<std::string>* valued = nullptr;
        if (name == "-t" || name == "--text") {
            valued = &options.text;
        } else if (name == "-f" || name == "--file") {
            valued = &options.file;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        } else if (arg == "-v" || arg == "--version") {
            options.version = true;
            continue;
        } else {
            return "unknown option '" + arg + "'";
        }
        if (name.starts_with("--") && name != arg) {
            *valued = arg.substr(name.size() + 1); // --text=VALUE
        } else if (name == arg && i + 1 < args.size()) {
            *valued = args[++i];
        } else {
            return name == arg ? "option '" + arg + "' needs a value"
                               : "unknown option '" + arg + "'";
        }
    }
    return {};
}

int Dispatch(const Options& options, int in, Output& out, std::FILE* err)
{
    if (options.help) {
        out.Write(Usage);
        return ExitOk;
    }
    if (options.version) {
        out.Write("lumenveil-cli " LUMENVEIL_VERSION "\n");
        return ExitOk;
    }
    std::vector<std::string> args = options.positional;
    if (args.empty()) {
        return UsageError(err, "no command given");
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command != "hide" && (options.text || options.file)) {
        return UsageError(err, "--text and --file belong to the hide command");
    }
    const DecodeLimits limits;
    if (command == "hide") {
        Options rest = options;
        rest.positional = args;
        return Hide(rest, in, out, err, limits);
    }
    if (command == "reveal") {
        return Reveal(args, in, out, err, limits);
    }
    if (command == "capacity") {
        return Capacity(args, in, out, err, limits);
    }
    return UsageError(err, "unknown command " + Quoted(command));
}

} // namespace

int Run(const std::vector<std::string>& arguments, int in, std::FILE* out, std::FILE* err)
{
    // Names are used exactly as given or not at all: one that is not UTF-8 cannot be carried
    // to the system unchanged, and a changed one would name another file.
    const std::vector<std::string> args(arguments.begin() + std::min<std::size_t>(1, arguments.size()),
                                        arguments.end());
    for (const std::string& arg : args) {
        if (!DecodeUtf8(arg)) {
            return Complain(err,
                            Quoted(ShowBytes(arg)) +
                                " is not valid UTF-8: lumenveil-cli takes file names and text "
                                "in UTF-8 only; rename the file",
                            ExitFailure);
        }
    }
    Options options;
    if (const std::string problem = Parse(args, options); !problem.empty()) {
        return UsageError(err, problem);
    }
    Output output(out);
    int status = ExitFailure;
    try {
        status = Dispatch(options, in, output, err);
    } catch (const std::bad_alloc&) {
        status = Complain(err, "not enough memory to go on", ExitFailure);
    }
    if (const int error = output.Finish(); error != 0) {
        return Complain(err, "cannot write to standard output: " + SystemErrorText(error),
                        ExitFailure);
    }
    return status;
}

} // namespace lumenveil::cli
