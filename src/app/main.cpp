#include "BuildConfig.h"
#include "app/ConsoleApp.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstring>
#include <memory>

namespace {

// --help and --version answer without a display, like any command-line program.
bool AsksForTextOnly(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

void SetNames()
{
    QCoreApplication::setApplicationName(QStringLiteral("kivora-console"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KIVORA_VERSION));
}

} // namespace

int main(int argc, char** argv)
{
    if (AsksForTextOnly(argc, argv)) {
        QCoreApplication textOnly(argc, argv);
        SetNames();
        return kivora::app::ParseCommandLine(QCoreApplication::arguments()).exitCode;
    }

    QApplication application(argc, argv);
    SetNames();
    kivora::app::ConfigureApplication();

    const kivora::app::CommandLine commandLine = kivora::app::ParseCommandLine(QApplication::arguments());
    if (commandLine.exitNow)
        return commandLine.exitCode;
    kivora::app::CConsoleApp app;
    return app.InitInstance(commandLine);
}
