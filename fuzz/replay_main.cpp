// Replays fuzz inputs through a target's entry function without libFuzzer, so that any
// compiler builds it: every file of the seed corpus by default, or the files and folders
// named on the command line (a crash file that a fuzzing run left behind, for one).
#include "FuzzInput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

// libFuzzer calls a target's set-up, when it has one, before the first input.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

QStringList inputFiles(const QStringList& paths)
{
    QStringList files;
    for (const QString& path : paths) {
        if (!QFileInfo(path).isDir()) {
            files.append(path);
            continue;
        }
        const QDir dir(path);
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
            files.append(dir.filePath(name));
    }
    return files;
}

bool replay(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::printf("replaying %s (%d bytes)\n", qPrintable(path), int(bytes.size()));
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    QStringList paths;
    for (int i = 1; i < argc; ++i)
        paths.append(QString::fromLocal8Bit(argv[i]));
    if (paths.isEmpty())
        paths.append(QStringLiteral(TAVILINK_CORPUS));
    const QStringList files = inputFiles(paths);
    int replayed = 0;
    for (const QString& path : files)
        replayed += replay(path) ? 1 : 0;
    std::printf("replayed %d of %d inputs\n", replayed, int(files.size()));
    // A corpus that holds nothing proves nothing.
    return replayed > 0 && replayed == files.size() ? EXIT_SUCCESS : EXIT_FAILURE;
}
