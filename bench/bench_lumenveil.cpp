// Measures hiding and reading, loading and saving, and lumenveil-cli against djpeg.
// Prints Markdown tables; every figure is the median of several runs.
//
//   build/bench/bench_lumenveil [--quick]

#include "codec/hidden_text.h"
#include "codec/message_layout.h"
#include "picture/bitmap_writer.h"
#include "picture/picture_surface.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace lumenveil;

namespace {

int g_runs = 5;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median seconds of `runs` calls.
double Time(const std::function<void()>& work, int runs = g_runs)
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
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && WriteBitmap(file, image);
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

struct ProcessRun
{
    double seconds = 0;
    long maxRssKiB = 0;
    int status = -1;
};

// Runs a program, its standard output sent to `output`; wall time and peak resident memory.
ProcessRun Spawn(const std::vector<std::string>& argv, const char* output)
{
    std::fflush(stdout); // or the child would print what is still buffered
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        if (output != nullptr) {
            if (std::freopen(output, "wb", stdout) == nullptr) {
                _exit(127);
            }
        }
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {static_cast<double>(timer.nsecsElapsed()) / 1e9, usage.ru_maxrss,
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

void CodecPerCharacter(const QTemporaryDir& dir)
{
    std::printf("\n### Hiding and reading on the surface (ns per character)\n\n");
    std::printf("| characters | hide | read |\n|---:|---:|---:|\n");
    // 2000 x 1600 holds 1,066,642 characters.
    const QString path = dir.filePath("codec.bmp");
    WriteBmp(Photo(2000, 1600), path);
    PictureSurface surface;
    if (!surface.LoadImageFile(path).ok()) {
        return;
    }
    for (int length : {1000, 100000, 1000000}) {
        const std::u16string text = Text(length);
        const double hide = Time([&] { (void)HideText(surface, text); });
        const double read = Time([&] { (void)ReadText(surface); });
        const double chars = length + 24.0;
        std::printf("| %d | %.1f | %.1f |\n", length, hide * 1e9 / chars, read * 1e9 / chars);
    }
}

void LoadAndSave(const QTemporaryDir& dir)
{
    std::printf("\n### Load and save (median of %d)\n\n", g_runs);
    std::printf("| picture | file | load s | load MP/s | load MB/s | save s | save MB/s | "
                "load + hide 10,000 + save vs load + save |\n"
                "|---|---:|---:|---:|---:|---:|---:|---:|\n");
    const std::u16string text = Text(10000);
    for (const auto& [width, height] : {std::pair{4000, 3000}, std::pair{6000, 4000}}) {
        const QImage photo = Photo(width, height);
        const double megapixels = width * height / 1e6;
        for (const char* kind : {"jpeg", "bmp"}) {
            const QString in = dir.filePath(QString("in.%1").arg(kind));
            if (QString(kind) == "bmp") {
                WriteBmp(photo, in);
            } else {
                QImageWriter writer(in, kind);
                writer.setQuality(90);
                writer.write(photo);
            }
            const double fileMB = QFile(in).size() / 1e6;
            const QString out = dir.filePath("out.bmp");
            PictureSurface surface;
            const double load = Time([&] { (void)surface.LoadImageFile(in); });
            const double save = Time([&] { (void)surface.SaveBitmapFile(out); });
            const double outMB = QFile(out).size() / 1e6;
            const double plain = Time([&] {
                PictureSurface s;
                (void)s.LoadImageFile(in);
                (void)s.SaveBitmapFile(out);
            });
            const double withCodec = Time([&] {
                PictureSurface s;
                (void)s.LoadImageFile(in);
                (void)HideText(s, text);
                (void)s.SaveBitmapFile(out);
            });
            std::printf("| %.0f MP %s | %.1f MB | %.3f | %.1f | %.1f | %.3f | %.1f | %+.1f%% |\n",
                        megapixels, kind, fileMB, load, megapixels / load, fileMB / load, save,
                        outMB / save, (withCodec / plain - 1) * 100);
            std::fflush(stdout);
        }
    }
}

void CliAgainstDjpeg(const QTemporaryDir& dir)
{
    std::printf("\n### lumenveil-cli hide, 10,000 characters into a 24 MP JPEG (median of %d)\n\n",
                g_runs);
    const QString jpeg = dir.filePath("photo24.jpg");
    QImageWriter writer(jpeg, "jpeg");
    writer.setQuality(90);
    writer.write(Photo(6000, 4000));
    const QString message = dir.filePath("message.txt");
    QFile file(message);
    if (file.open(QIODevice::WriteOnly)) {
        const std::u16string text = Text(10000);
        file.write(QString::fromStdU16String(text).toUtf8());
        file.close();
    }

    std::vector<double> cli;
    std::vector<double> djpeg;
    long cliRss = 0;
    long djpegRss = 0;
    for (int i = 0; i < g_runs; ++i) {
        const ProcessRun c = Spawn({LUMENVEIL_CLI_PATH, "hide", jpeg.toStdString(),
                                    dir.filePath("cli.bmp").toStdString(), "--file",
                                    message.toStdString()},
                                   nullptr);
        const ProcessRun d = Spawn({"djpeg", "-bmp", jpeg.toStdString()},
                                   dir.filePath("djpeg.bmp").toLocal8Bit().constData());
        if (c.status != 0 || d.status != 0) {
            std::printf("a run failed (lumenveil-cli %d, djpeg %d)\n", c.status, d.status);
            return;
        }
        cli.push_back(c.seconds);
        djpeg.push_back(d.seconds);
        cliRss = std::max(cliRss, c.maxRssKiB);
        djpegRss = std::max(djpegRss, d.maxRssKiB);
    }
    const double decodedMB = 6000.0 * 4000 * 4 / 1e6;
    std::printf("| program | seconds | peak memory |\n|---|---:|---:|\n");
    std::printf("| lumenveil-cli hide | %.3f | %.0f MB |\n", Median(cli), cliRss / 1e3);
    std::printf("| djpeg -bmp | %.3f | %.0f MB |\n", Median(djpeg), djpegRss / 1e3);
    std::printf("\nlumenveil-cli / djpeg: %.2f x (target at most 1.3 x); peak memory %.0f MB "
                "against a limit of 1.5 x %.0f MB + 40 MB = %.0f MB\n",
                Median(cli) / Median(djpeg), cliRss / 1e3, decodedMB, 1.5 * decodedMB + 40);
}

void ReadFromHugePicture(const QTemporaryDir& dir)
{
    std::printf("\n### Reading a short message from a 100 MP picture\n\n");
    const QString path = dir.filePath("huge.bmp");
    {
        QImage image(10000, 10000, QImage::Format_RGB32);
        image.fill(qRgb(90, 120, 150));
        WriteBmp(image, path);
    }
    PictureSurface surface;
    const double load = Time([&] { (void)surface.LoadImageFile(path); }, 1);
    (void)HideText(surface, u"meet at noon");
    const double read = Time([&] { (void)ReadText(surface); }, 9);
    std::printf("load %.2f s; reading the message %.1f microseconds\n", load, read * 1e6);
    QFile::remove(path);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().contains("--quick")) {
        g_runs = 3;
    }
    QTemporaryDir dir;
    std::printf("## Lumenveil benchmarks\n");
    CodecPerCharacter(dir);
    LoadAndSave(dir);
    CliAgainstDjpeg(dir);
    ReadFromHugePicture(dir);
    return 0;
}
