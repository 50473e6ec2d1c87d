// tavicalc-sim: simulated calculators for manual runs, demos and screenshots.
//
//   tavicalc-sim [--name NAME] [--files DIR]
//       opens one simulated calculator on a pseudo-terminal, prints the device path and
//       answers until it is killed.

#include "CalcSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

using namespace calcsim;

namespace {

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
    parser.addOption({nameOption, QStringLiteral("The calculator's name."), QStringLiteral("name")});
    parser.addOption(
        {filesOption, QStringLiteral("Fill the calculator with the files of <dir>."), QStringLiteral("dir")});
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

void configure(CalcSimulator& sim, const QCommandLineParser& parser)
{
    if (parser.isSet(nameOption))
        sim.setName(parser.value(nameOption));
    if (parser.isSet(filesOption))
        sim.setFiles(filesOf(parser.value(filesOption)));
}

int serveOne(const QCommandLineParser& parser, QCoreApplication& app)
{
    CalcSimulator sim;
    if (sim.devicePath().isEmpty())
        return EXIT_FAILURE;
    configure(sim, parser);
    printLine(stdout, sim.devicePath());
    return app.exec();
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
    QCoreApplication app(argc, argv);
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp();
    return serveOne(parser, app);
}
