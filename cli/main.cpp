#include "cli/cli_commands.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    return lumenveil::cli::Run(QCoreApplication::arguments(), stdin, stdout, stderr);
}
