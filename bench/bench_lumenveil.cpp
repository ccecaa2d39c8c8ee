// Measures Lumenveil against its speed targets, each as a ratio measured in this one run: the
// machine is shared and noisy, so absolute times drift by a third from run to run while a
// ratio of two programs timed in turn holds. Whole processes run in interleaved rounds (each
// program once per round, the order turning from round to round, the disk at rest before
// each); a ratio is the median of the rounds' ratios. Prints Markdown tables. Pictures are
// generated here, never committed.
//
//   build/bench/bench_lumenveil [--quick] [--only PART] [--also OTHER-LUMENVEIL-CLI]
//
// --also times another build of lumenveil-cli (one from before a change, say) in the same
// rounds, so that what a change gains is measured in the same run as well.

#include "cli/cli_commands.h"
#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "picture/bitmap_writer.h"
#include "picture/picture_surface.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace lumenveil;

namespace {

lumenveil::NativeName Native(const QString& path) { return QFile::encodeName(path).toStdString(); }

} // namespace

namespace {

int g_rounds = 5;
std::string g_also; // another lumenveil-cli to time beside ours, or empty

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Median seconds of `runs` calls.
double Time(const std::function<void()>& work, int runs)
{
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        seconds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    return Median(seconds);
}

// A photo-like picture: smooth gradients and fine noise, so JPEG sizes are realistic.
QImage Photo(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = 12345;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int noise = static_cast<int>(state & 7) - 4;
            row[x] = qRgb(std::clamp(x * 255 / width + noise, 0, 255),
                          std::clamp(y * 255 / height + noise, 0, 255),
                          std::clamp(((x + y) / 7) % 256 + noise, 0, 255));
        }
    }
    return image;
}

bool WriteBmp(const QImage& image, const QString& path)
{
    return image.save(path, "BMP"); // 24 bits a pixel for an RGB32 image
}

bool WriteJpeg(const QImage& image, const QString& path)
{
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    return writer.write(image);
}

// The JPEG at `path` again with an EXIF block that says "turn a quarter clockwise" (6).
bool WriteRotatedCopy(const QString& path, const QString& rotated)
{
    QFile in(path);
    QFile out(rotated);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray jpeg = in.readAll();
    const QByteArray exif = QByteArray::fromHex("FFE10022 457869660000 4D4D002A00000008 0001"
                                                "0112 0003 00000001 00060000 00000000");
    return out.write(jpeg.left(2) + exif + jpeg.mid(2)) == jpeg.size() + exif.size();
}

std::u16string Text(int length)
{
    std::u16string text;
    const std::u16string_view words = u"the quick brown fox jumps over the lazy dog. ";
    while (static_cast<int>(text.size()) < length) {
        text += words;
    }
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// A 24-bit bitmap of a photo-like picture whose first slots hold `stored`, one character a
// slot, markers and all as given.
bool WriteCarrier(int width, int height, std::u16string_view stored, const QString& path)
{
    if (!WriteBmp(Photo(width, height), path)) {
        return false;
    }
    PictureSurface surface;
    if (!surface.LoadImageFile(Native(path)).ok()) {
        return false;
    }
    for (std::size_t i = 0; i < stored.size(); ++i) {
        StoreCharInSlot(surface, static_cast<std::int64_t>(i), stored[i]);
    }
    return surface.SaveBitmapFile(Native(path)).ok();
}

struct Command
{
    std::string name;
    std::vector<std::string> argv;
    std::string output = "/dev/null"; // where its standard output goes
    int status = 0;                   // the exit status of a run that went as it should
    bool memory = false;              // whether its peak memory is wanted
};

// What the rounds measured of one command.
struct Runs
{
    std::vector<double> seconds;
    long peakKiB = 0;
    bool failed = false;

    [[nodiscard]] double Seconds() const { return Median(seconds); }
    [[nodiscard]] double PeakMB() const { return peakKiB * 1024 / 1e6; }
};

// Runs a program to its end; wall time, peak resident memory, and whether it succeeded. It is
// started with posix_spawn, which does not copy this process's memory map as fork would: that
// copy grows with the pictures this process holds and would weigh on the shortest programs.
// But a child of posix_spawn shares this process's memory until it starts its program and
// counts this process's peak as its own, so a command whose memory is wanted is forked.
void Spawn(const Command& command, Runs& runs)
{
    std::fflush(stdout); // or a forked child would print what is still buffered
    std::vector<char*> args;
    for (const std::string& a : command.argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, command.output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = -1;
    if (!command.memory) {
        if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
            pid = -1;
        }
    } else if ((pid = fork()) == 0) {
        if (std::freopen(command.output.c_str(), "wb", stdout) == nullptr ||
            std::freopen("/dev/null", "wb", stderr) == nullptr) {
            _exit(127);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid > 0) {
        wait4(pid, &status, 0, &usage);
    }
    runs.seconds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    posix_spawn_file_actions_destroy(&actions);
    runs.peakKiB = std::max(runs.peakKiB, usage.ru_maxrss);
    runs.failed = runs.failed || pid <= 0 || !WIFEXITED(status) ||
                  WEXITSTATUS(status) != command.status;
}

// Each command once a round, the first of a round turning: the page cache and the disk see
// every program in every place. Before each one the disk is brought to rest (untimed), so that
// no program waits for the writes of the one before: djpeg leaves its bitmap to be written
// after it ends, and a save's sync would otherwise wait behind it.
std::vector<Runs> Interleave(const std::vector<Command>& commands, int rounds)
{
    std::vector<Runs> runs(commands.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const std::size_t k = (i + static_cast<std::size_t>(round)) % commands.size();
            ::sync();
            Spawn(commands[k], runs[k]);
        }
    }
    for (std::size_t k = 0; k < commands.size(); ++k) {
        if (runs[k].failed) {
            std::printf("\n**%s failed in some round; its figures mean nothing.**\n",
                        commands[k].name.c_str());
        }
    }
    return runs;
}

// The median over the rounds of a's time over b's.
double Ratio(const Runs& a, const Runs& b)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(a.seconds.size(), b.seconds.size()); ++i) {
        ratios.push_back(a.seconds[i] / b.seconds[i]);
    }
    return Median(ratios);
}

const char* Verdict(bool met) { return met ? "met" : "**not met**"; }

// The lumenveil-cli builds to time: ours, and the other one where --also names it.
std::vector<std::pair<std::string, std::string>> Clis()
{
    std::vector<std::pair<std::string, std::string>> clis = {{"lumenveil-cli", LUMENVEIL_CLI_PATH}};
    if (!g_also.empty()) {
        clis.emplace_back("other lumenveil-cli", g_also);
    }
    return clis;
}

void CodecPerCharacter(const QTemporaryDir& dir)
{
    std::printf("\n### Hiding and reading on the surface (ns per character)\n\n");
    std::printf("| characters | hide | read |\n|---:|---:|---:|\n");
    // 2000 x 1600 holds 1,066,642 characters.
    const QString path = dir.filePath("codec.bmp");
    WriteBmp(Photo(2000, 1600), path);
    PictureSurface surface;
    if (!surface.LoadImageFile(Native(path)).ok()) {
        return;
    }
    for (int length : {1000, 100000, 1000000}) {
        const std::u16string text = Text(length);
        const double hide = Time([&] { (void)HideText(surface, text); }, g_rounds);
        const double read = Time([&] { (void)ReadText(surface); }, g_rounds);
        const double chars = length + 24.0;
        std::printf("| %d | %.1f | %.1f |\n", length, hide * 1e9 / chars, read * 1e9 / chars);
    }
}

void LoadAndSave(const QTemporaryDir& dir)
{
    std::printf("\n### Load and save (median of %d)\n\n", g_rounds);
    std::printf("| picture | file | load s | load MP/s | load MB/s | save s | save MB/s | "
                "load + hide 10,000 + save vs load + save |\n"
                "|---|---:|---:|---:|---:|---:|---:|---:|\n");
    const std::u16string text = Text(10000);
    for (const auto& [width, height] : {std::pair{4000, 3000}, std::pair{6000, 4000}}) {
        const QImage photo = Photo(width, height);
        const double megapixels = width * height / 1e6;
        for (const char* kind : {"jpeg", "bmp"}) {
            const QString in = dir.filePath(QString("in.%1").arg(kind));
            if (!(QString(kind) == "bmp" ? WriteBmp(photo, in) : WriteJpeg(photo, in))) {
                continue;
            }
            const double fileMB = QFile(in).size() / 1e6;
            const QString out = dir.filePath("out.bmp");
            PictureSurface surface;
            const double load = Time([&] { (void)surface.LoadImageFile(Native(in)); }, g_rounds);
            const double save = Time([&] { (void)surface.SaveBitmapFile(Native(out)); }, g_rounds);
            const double outMB = QFile(out).size() / 1e6;
            const double plain = Time(
                [&] {
                    PictureSurface s;
                    (void)s.LoadImageFile(Native(in));
                    (void)s.SaveBitmapFile(Native(out));
                },
                g_rounds);
            const double withCodec = Time(
                [&] {
                    PictureSurface s;
                    (void)s.LoadImageFile(Native(in));
                    (void)HideText(s, text);
                    (void)s.SaveBitmapFile(Native(out));
                },
                g_rounds);
            std::printf("| %.0f MP %s | %.1f MB | %.3f | %.1f | %.1f | %.3f | %.1f | %+.1f%% |\n",
                        megapixels, kind, fileMB, load, megapixels / load, fileMB / load, save,
                        outMB / save, (withCodec / plain - 1) * 100);
            std::fflush(stdout);
        }
    }
}

// lumenveil-cli hide of 10,000 characters against djpeg -bmp on the same JPEG, and the peak
// memory of each hide against 1.1 x the decoded picture + 20 MB.
void HideAgainstDjpeg(const QTemporaryDir& dir)
{
    // The disk's own pace weighs on every save, so the rounds are many.
    const int rounds = 2 * g_rounds - 1;
    std::printf("\n### lumenveil-cli hide of 10,000 characters against djpeg -bmp "
                "(medians of %d rounds)\n\n",
                rounds);
    const QString message = dir.filePath("message.txt");
    QFile file(message);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.write(QString::fromStdU16String(Text(10000)).toUtf8())) {
        return;
    }
    file.close();

    std::printf("| picture | program | seconds | / djpeg -bmp (at most 0.80) | peak memory | "
                "limit: 1.1 x decoded + 20 MB |\n|---|---|---:|---:|---:|---:|\n");
    struct Picture
    {
        const char* name;
        int width;
        int height;
        bool rotated;
    };
    for (const Picture& p : {Picture{"24 MP JPEG", 6000, 4000, false},
                             Picture{"24 MP JPEG, EXIF orientation 6", 6000, 4000, true},
                             Picture{"100 MP JPEG", 10000, 10000, false}}) {
        const QString jpeg = dir.filePath("photo.jpg");
        if (!WriteJpeg(Photo(p.width, p.height), jpeg) ||
            (p.rotated && !WriteRotatedCopy(jpeg, dir.filePath("rotated.jpg")))) {
            std::printf("| %s | could not be written |\n", p.name);
            continue;
        }
        const std::string in = (p.rotated ? dir.filePath("rotated.jpg") : jpeg).toStdString();
        std::vector<Command> commands = {{"djpeg -bmp",
                                          {"djpeg", "-bmp", in},
                                          dir.filePath("djpeg.bmp").toStdString(),
                                          0,
                                          true}};
        for (const auto& [name, path] : Clis()) {
            commands.push_back({name,
                                {path, "hide", in, dir.filePath("out.bmp").toStdString(), "--file",
                                 message.toStdString()},
                                "/dev/null",
                                0,
                                true});
        }
        const std::vector<Runs> runs = Interleave(commands, rounds);
        const double decodedMB = 4.0 * p.width * p.height / 1e6;
        const double limitMB = 1.1 * decodedMB + 20;
        std::printf("| %s | djpeg -bmp | %.3f | | %.0f MB | |\n", p.name, runs[0].Seconds(),
                    runs[0].PeakMB());
        for (std::size_t k = 1; k < runs.size(); ++k) {
            const double ratio = Ratio(runs[k], runs[0]);
            // A turned picture has a memory limit but no speed target: it cannot be written
            // before its last band is decoded.
            const char* speed = p.rotated ? "no target" : Verdict(ratio <= 0.80);
            std::printf("| %s | %s | %.3f | %.2f x, %s | %.0f MB | %.0f MB, %s |\n", p.name,
                        commands[k].name.c_str(), runs[k].Seconds(), ratio, speed,
                        runs[k].PeakMB(), limitMB, Verdict(runs[k].PeakMB() <= limitMB));
        }
        QFile::remove(dir.filePath("out.bmp"));
        QFile::remove(dir.filePath("djpeg.bmp"));
    }
}

// Run in this process as lumenveil-cli runs it, without starting a process: what a command
// costs beyond the program's start.
double InProcess(const QList<QByteArray>& arguments, int runs)
{
    std::FILE* sink = std::fopen("/dev/null", "w");
    std::vector<std::string> all{"lumenveil-cli"};
    for (const QByteArray& argument : arguments) {
        all.push_back(argument.toStdString());
    }
    const double seconds = Time([&] { (void)cli::Run(all, 0, sink, sink); }, runs);
    std::fclose(sink);
    return seconds;
}

// reveal of a short message from 24-bit bitmaps against cat of the file.
void RevealAgainstCat(const QTemporaryDir& dir)
{
    std::printf("\n### reveal of a short message from a 24-bit bitmap against cat FILE > "
                "/dev/null (medians of %d rounds)\n\n",
                3 * g_rounds);
    std::printf("| bitmap | file | cat | program | reveal, whole process | / cat (at most 0.2) | "
                "reveal in the program, its start left out | / cat |\n"
                "|---|---:|---:|---|---:|---:|---:|---:|\n");
    for (const auto& [width, height] : {std::pair{4000, 3000}, std::pair{10000, 10000}}) {
        const QString path = dir.filePath("carrier.bmp");
        const std::u16string message = FramedMessage(u"meet at noon");
        if (!WriteCarrier(width, height, message, path)) {
            std::printf("| %d x %d | could not be written |\n", width, height);
            continue;
        }
        std::vector<Command> commands = {{"cat", {"cat", path.toStdString()}}};
        for (const auto& [name, cli] : Clis()) {
            commands.push_back({name, {cli, "reveal", path.toStdString()}});
        }
        const std::vector<Runs> runs = Interleave(commands, 3 * g_rounds);
        const double inProcess = InProcess({"reveal", QFile::encodeName(path)}, 3 * g_rounds);
        const double cat = runs[0].Seconds();
        for (std::size_t k = 1; k < runs.size(); ++k) {
            const double ratio = Ratio(runs[k], runs[0]);
            std::printf("| %.0f MP | %.0f MB | %.4f s | %s | %.4f s | %.2f x, %s |",
                        width * height / 1e6, QFile(path).size() / 1e6, cat,
                        commands[k].name.c_str(), runs[k].Seconds(), ratio,
                        Verdict(ratio <= 0.2));
            if (k == 1) { // ours
                std::printf(" %.5f s | %.3f x |\n", inProcess, inProcess / cat);
            } else {
                std::printf(" | |\n");
            }
        }
        QFile::remove(path);
    }
}

// The full scan of a bitmap with a start marker and no end marker against loading it whole,
// both in this process: the scan reads the file once, the load decodes it once.
void FullScanAgainstLoad(const QTemporaryDir& dir)
{
    std::printf("\n### reveal without an end marker (the full scan) against loading the "
                "picture, of a 12 MP 24-bit bitmap (medians of %d rounds)\n\n",
                2 * g_rounds);
    const QString path = dir.filePath("unended.bmp");
    if (!WriteCarrier(4000, 3000, u"start messagehello", path)) {
        return;
    }
    std::printf("| reveal, in the program | load | reveal / load (at most 1.3) |\n"
                "|---:|---:|---:|\n");
    const double reveal = InProcess({"reveal", QFile::encodeName(path)}, 2 * g_rounds);
    const double load = Time(
        [&] {
            PictureSurface surface;
            (void)surface.LoadImageFile(Native(path));
        },
        2 * g_rounds);
    std::printf("| %.3f s | %.3f s | %.2f x, %s |\n", reveal, load, reveal / load,
                Verdict(reveal <= 1.3 * load));
    QFile::remove(path);
}

// The peak resident memory of one run of `argv`, in MB, measured by GNU time: its own child
// starts from that small program's memory, not from this one's, which a child of this
// process would count as its own. Negative where it cannot be measured.
double PeakMB(const std::vector<std::string>& argv, int status)
{
    const QString report = QDir::temp().filePath("lumenveil-bench-peak.txt");
    Command measured{"peak", {"/usr/bin/time", "-f", "%M", "-o", report.toStdString()}};
    measured.argv.insert(measured.argv.end(), argv.begin(), argv.end());
    measured.status = status;
    Runs runs;
    Spawn(measured, runs);
    QFile file(report);
    const bool read = file.open(QIODevice::ReadOnly);
    // The figure is the last line; a line before it tells of a status other than 0.
    const double kib = read ? file.readAll().trimmed().split('\n').last().toDouble() : -1;
    QFile::remove(report);
    return runs.failed || kib <= 0 ? -1 : kib * 1024 / 1e6;
}

// Writes the 24 MP photo as a JPEG, a PNG, a non-interlaced GIF (by Python's PIL) and a 24-bit
// bitmap; the names of those written.
std::vector<std::pair<std::string, QString>> WriteEveryKind(const QTemporaryDir& dir, int width,
                                                            int height)
{
    const QImage photo = Photo(width, height);
    std::vector<std::pair<std::string, QString>> written;
    const QString jpeg = dir.filePath("photo.jpg");
    const QString png = dir.filePath("photo.png");
    const QString bmp = dir.filePath("photo.bmp");
    const QString gif = dir.filePath("photo.gif");
    if (WriteJpeg(photo, jpeg)) {
        written.emplace_back("JPEG", jpeg);
    }
    if (photo.save(png, "png")) {
        written.emplace_back("PNG", png);
    }
    QProcess pil;
    pil.start("/usr/bin/python3",
              {"-c",
               "import sys; from PIL import Image; Image.MAX_IMAGE_PIXELS = None; "
               "Image.open(sys.argv[1]).quantize(256).save(sys.argv[2], interlace=False)",
               png, gif});
    if (pil.waitForFinished(600000) && pil.exitCode() == 0 && QFile::exists(gif)) {
        written.emplace_back("GIF", gif);
    }
    if (WriteBmp(photo, bmp)) {
        written.emplace_back("BMP", bmp);
    }
    return written;
}

// capacity, and reveal of a picture without a message, of a 24 MP picture of each kind against
// djpeg -outfile /dev/null of the same picture as a JPEG (a plain decode), with their peak
// memory; and how long the program takes to start, against a static C program.
void ReadingWhatIsNeeded(const QTemporaryDir& dir)
{
    constexpr int Width = 6000;
    constexpr int Height = 4000;
    const int rounds = 4 * g_rounds + 1;
    std::printf("\n### capacity and reveal without a message of a 24 MP picture against djpeg "
                "-outfile /dev/null of the JPEG (medians of %d rounds)\n\n",
                rounds);
    const std::vector<std::pair<std::string, QString>> pictures =
        WriteEveryKind(dir, Width, Height);
    if (pictures.empty() || pictures.front().first != "JPEG") {
        std::printf("The pictures could not be written.\n");
        return;
    }
    const std::string jpeg = pictures.front().second.toStdString();
    std::vector<Command> commands = {{"djpeg", {"djpeg", "-outfile", "/dev/null", jpeg}}};
    for (const auto& [cli, path] : Clis()) {
        for (const auto& [kind, file] : pictures) {
            for (const char* command : {"capacity", "reveal"}) {
                commands.push_back({cli + " " + command + " " + kind,
                                    {path, command, file.toStdString()},
                                    "/dev/null",
                                    std::string(command) == "reveal" ? 1 : 0});
            }
        }
    }
    const std::vector<Runs> runs = Interleave(commands, rounds);
    std::printf("| program | command | picture | seconds | / djpeg (at most 0.05) | peak memory "
                "(at most 20 MB) |\n|---|---|---|---:|---:|---:|\n");
    std::printf("| djpeg -outfile /dev/null | | JPEG | %.4f | 1 | %.0f MB |\n", runs[0].Seconds(),
                PeakMB(commands[0].argv, 0));
    for (std::size_t k = 1; k < runs.size(); ++k) {
        const Command& command = commands[k];
        const double ratio = Ratio(runs[k], runs[0]);
        const double peak = PeakMB(command.argv, command.status);
        const bool ours = command.argv[0] == LUMENVEIL_CLI_PATH;
        std::printf("| %s | %s | %s | %.4f | %.3f x%s | %.1f MB%s |\n",
                    ours ? "lumenveil-cli" : "other lumenveil-cli", command.argv[1].c_str(),
                    pictures[(k - 1) / 2 % pictures.size()].first.c_str(), runs[k].Seconds(),
                    ratio, ours ? (std::string(", ") + Verdict(ratio <= 0.05)).c_str() : "", peak,
                    ours ? (std::string(", ") + Verdict(peak >= 0 && peak <= 20)).c_str() : "");
    }
    for (const auto& picture : pictures) {
        QFile::remove(picture.second);
    }

    // The start: nothing is read but what the command needs, and no toolkit is loaded.
    const QString tiny = dir.filePath("tiny.png");
    Photo(8, 8).save(tiny, "png");
    std::vector<Command> starts = {{"static C program (ldconfig --version)",
                                    {"/sbin/ldconfig", "--version"}},
                                   {"dynamic C program (true)", {"true"}}};
    for (const auto& [cli, path] : Clis()) {
        starts.push_back({cli + " --version", {path, "--version"}});
        starts.push_back({cli + " capacity of an 8 x 8 PNG", {path, "capacity", tiny.toStdString()}});
    }
    const int startRounds = 20 * g_rounds + 1;
    const std::vector<Runs> started = Interleave(starts, startRounds);
    std::printf("\n### Starting (medians of %d rounds)\n\n| program | milliseconds | / static C "
                "program | peak memory |\n|---|---:|---:|---:|\n",
                startRounds);
    for (std::size_t k = 0; k < started.size(); ++k) {
        std::printf("| %s | %.2f | %.2f x | %.1f MB |\n", starts[k].name.c_str(),
                    started[k].Seconds() * 1e3, Ratio(started[k], started[0]),
                    PeakMB(starts[k].argv, 0));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.contains("--quick")) {
        g_rounds = 3;
    }
    if (const qsizetype at = arguments.indexOf("--also"); at > 0 && at + 1 < arguments.size()) {
        g_also = arguments[at + 1].toStdString();
    }
    // --only NAME runs one part: codec, load, hide, reveal, scan or needs.
    const qsizetype only = arguments.indexOf("--only");
    const QString part = only > 0 && only + 1 < arguments.size() ? arguments[only + 1] : QString();
    const auto wanted = [&](const char* name) { return part.isEmpty() || part == name; };
    QTemporaryDir dir;
    std::printf("## Lumenveil benchmarks\n");
    if (wanted("codec")) {
        CodecPerCharacter(dir);
    }
    if (wanted("load")) {
        LoadAndSave(dir);
    }
    if (wanted("hide")) {
        HideAgainstDjpeg(dir);
    }
    if (wanted("reveal")) {
        RevealAgainstCat(dir);
    }
    if (wanted("scan")) {
        FullScanAgainstLoad(dir);
    }
    if (wanted("needs")) {
        ReadingWhatIsNeeded(dir);
    }
    return 0;
}
