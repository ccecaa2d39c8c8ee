#include "cli/cli_commands.h"
#include "picture/picture_surface.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// The decoders' own warnings ("Corrupt JPEG data: ...") would interleave with our output; every
// failure reaches the user through our own message, so only serious ones pass.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

} // namespace

int main(int argc, char* argv[])
{
#ifdef Q_OS_WIN
    // Messages and bitmaps pass through standard input and output byte for byte: no CR LF
    // translation, and Ctrl+Z is not the end of the input.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    qInstallMessageHandler(QuietMessages);
    QCoreApplication app(argc, argv);
    lumenveil::LimitDecoderAllocations();
    // The bytes as given: a name that is not UTF-8 would not survive a trip through QString.
    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QByteArray(argv[i]));
    }
    return lumenveil::cli::Run(arguments, stdin, stdout, stderr);
}
