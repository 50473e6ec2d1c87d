// The ZIP layer's reading side on arbitrary archive bytes, used as a restore uses it: count
// the entries, then open each in turn, skip directories and read the others whole. An
// archive found whole lets every entry open, named, and read, so a restore never stops half-way
// on it; and its files open under names that differ, letter case aside, so none replaces
// another on the calculator.
#include "FuzzInput.h"

#include "link/ZipArchive.h"

#include <QSet>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// The archive lives in memory; its path reopens that memory like a file on disk.
class MemoryFile
{
public:
    MemoryFile()
        : descriptor(memfd_create("archive", 0))
        , path(QStringLiteral("/proc/self/fd/%1").arg(descriptor))
    {
        fuzz::require(descriptor >= 0, "a memory file for the archive");
    }
    ~MemoryFile() { close(descriptor); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void fill(const uint8_t* data, size_t size)
    {
        fuzz::require(ftruncate(descriptor, 0) == 0 && pwrite(descriptor, data, size, 0) == ssize_t(size),
                      "the archive bytes written");
    }

    const int descriptor;
    const QString path;
};

void readAll(ZipArchive& archive)
{
    const int entries = archive.count();
    fuzz::require(entries >= 0, "an archive that opens has a count");
    QSet<QString> files;
    for (int index = 0; index < entries; ++index) {
        const bool opened = archive.openEntry(index);
        const std::optional<bool> directory = archive.isDirectory();
        fuzz::require(directory.has_value() == opened, "an open entry is a directory or not");
        fuzz::require(opened || !archive.isWhole(), "every entry of a whole archive opens");
        fuzz::require(!opened || !archive.entryName().isEmpty() || !archive.isWhole(),
                      "every entry of a whole archive has a name");
        if (directory == false) {
            fuzz::require(archive.readEntry() || !archive.isWhole(), "every entry of a whole archive reads");
            const QString name = QString::fromUtf8(archive.entryName()).toUpper();
            fuzz::require(!files.contains(name) || !archive.isWhole(),
                          "the files of a whole archive have distinct names");
            files.insert(name);
        }
        archive.closeEntry();
        fuzz::require(!archive.isDirectory() && archive.entryName().isEmpty(), "a closed entry is gone");
        fuzz::require(!archive.openEntry(index), "entries open in ascending order only");
    }
    fuzz::require(!archive.openEntry(entries), "no entry past the count");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MemoryFile file;
    file.fill(data, size);
    if (std::unique_ptr<ZipArchive> archive = ZipArchive::openForReading(file.path))
        readAll(*archive);
    return 0;
}
