#include "cli/cli_commands.h"
#include "picture/picture_surface.h"

#include <QCoreApplication>

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
    qInstallMessageHandler(QuietMessages);
    QCoreApplication app(argc, argv);
    lumenveil::LimitDecoderAllocations();
    return lumenveil::cli::Run(QCoreApplication::arguments(), stdin, stdout, stderr);
}
