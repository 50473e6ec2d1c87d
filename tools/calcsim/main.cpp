// tavicalc-sim: simulated calculators for manual runs, demos and screenshots.
//
//   tavicalc-sim [--name NAME] [--files DIR]
//       opens one simulated calculator on a pseudo-terminal, prints the device path and
//       answers until it is killed.
//   tavicalc-sim --plug N [--name NAME]... [--files DIR]... -- COMMAND [ARGUMENTS...]
//       plugs N simulated calculators into a private virtual USB bus (ttyACM0, ...) and runs
//       the command there. The k-th --name and --files go to the k-th calculator; the
//       calculators after the last one given take the last value.

#include "CalcSimulator.h"
#include "VirtualUsbBus.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <memory>
#include <vector>

using namespace calcsim;

namespace {

const QString plugOption = QStringLiteral("plug");
const QString nameOption = QStringLiteral("name");
const QString filesOption = QStringLiteral("files");
constexpr int usageError = 2;

void printLine(std::FILE* stream, const QString& text)
{
    std::fputs(qPrintable(text + '\n'), stream);
    std::fflush(stream);
}

void defineOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral("Simulated TaviCalc calculators."));
    parser.addHelpOption();
    parser.addOption({plugOption, QStringLiteral("Plug <n> calculators and run the command given after --."),
        QStringLiteral("n")});
    parser.addOption({nameOption, QStringLiteral("The next calculator's name."), QStringLiteral("name")});
    parser.addOption({filesOption, QStringLiteral("Fill the next calculator with the files of <dir>."),
        QStringLiteral("dir")});
    parser.addPositionalArgument(QStringLiteral("command"),
        QStringLiteral("With --plug: the command to run."), QStringLiteral("[-- command [arguments...]]"));
}

// The regular files of a folder, by name, under their own names.
FileList filesOf(const QString& folder)
{
    FileList files;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& entry : entries) {
        QFile file(entry.filePath());
        if (file.open(QIODevice::ReadOnly))
            files.append({entry.fileName().toUtf8(), file.readAll()});
    }
    return files;
}

// The option's value for the index-th calculator, or an empty text when it was not given.
QString valueFor(const QCommandLineParser& parser, const QString& option, int index)
{
    const QStringList values = parser.values(option);
    return values.isEmpty() ? QString() : values.at(qMin(index, values.size() - 1));
}

void configure(CalcSimulator& sim, const QCommandLineParser& parser, int index)
{
    const QString name = valueFor(parser, nameOption, index);
    const QString folder = valueFor(parser, filesOption, index);
    if (!name.isEmpty())
        sim.setName(name);
    if (!folder.isEmpty())
        sim.setFiles(filesOf(folder));
}

int serveOne(const QCommandLineParser& parser, QCoreApplication& app)
{
    CalcSimulator sim;
    if (sim.devicePath().isEmpty())
        return EXIT_FAILURE;
    configure(sim, parser, 0);
    printLine(stdout, sim.devicePath());
    return app.exec();
}

int plugAndRun(const QCommandLineParser& parser, int count)
{
    std::vector<std::unique_ptr<CalcSimulator>> calculators;
    for (int index = 0; index < count; ++index) {
        calculators.push_back(std::make_unique<CalcSimulator>());
        CalcSimulator& sim = *calculators.back();
        configure(sim, parser, index);
        const QString port = VirtualUsbBus::plug(sim.devicePath());
        if (port.isEmpty()) {
            printLine(stderr, QStringLiteral("tavicalc-sim: cannot plug a calculator"));
            return EXIT_FAILURE;
        }
        printLine(stderr,
            QStringLiteral("tavicalc-sim: %1 is \"%2\" on %3").arg(port, sim.name(), sim.devicePath()));
    }
    QStringList command = parser.positionalArguments();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(-1) && process.error() == QProcess::FailedToStart) {
        printLine(stderr, QStringLiteral("tavicalc-sim: %1").arg(process.errorString()));
        return EXIT_FAILURE;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : EXIT_FAILURE;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    QCommandLineParser parser;
    defineOptions(parser);
    if (!parser.parse(arguments)) {
        printLine(stderr, parser.errorText());
        return usageError;
    }
    if (!parser.isSet(plugOption)) {
        QCoreApplication app(argc, argv);
        if (parser.isSet(QStringLiteral("help")))
            parser.showHelp();
        return serveOne(parser, app);
    }
    bool isNumber = false;
    const int count = parser.value(plugOption).toInt(&isNumber);
    if (!isNumber || count < 1 || parser.positionalArguments().isEmpty()) {
        printLine(stderr,
            QStringLiteral("tavicalc-sim: --plug needs a count of at least 1 and a command after --"));
        return usageError;
    }
    // The namespace must be entered while the process has a single thread.
    QString why;
    if (!VirtualUsbBus::isolate(&why)) {
        printLine(stderr, QStringLiteral("tavicalc-sim: cannot set up the virtual USB bus: %1").arg(why));
        return EXIT_FAILURE;
    }
    QCoreApplication app(argc, argv);
    return plugAndRun(parser, count);
}
