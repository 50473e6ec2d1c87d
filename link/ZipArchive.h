#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

struct archive;

// A ZIP archive as the backup writes and the restore reads it, over libarchive. It is
// opened either for writing or for reading, and at most one entry is open at a time.
// Entry names are UTF-8 bytes.
class ZipArchive
{
public:
    static constexpr int maxLevel = 9;
    // No calculator file comes near this; a larger entry (a crafted archive that inflates
    // without end) is unreadable rather than exhausting memory.
    static constexpr int largestEntry = 64 * 1024 * 1024;

    // A new archive at the path; whatever stood there is removed first, so a link left at
    // the path is never written through. Level 0 stores, levels 1 to 9 deflate. None when
    // the file cannot be created or the level is out of range.
    static std::unique_ptr<ZipArchive> openForWriting(const QString& path, int level);
    // None when the path is no regular file (it is opened once, without waiting, and read
    // through that descriptor alone) or does not open as a ZIP archive. Opening reads it
    // through once.
    static std::unique_ptr<ZipArchive> openForReading(const QString& path);
    // Closes the archive and its file; one being written gets its central directory.
    ~ZipArchive();

    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Writing: starts a streamed entry with the current time; backslashes in the name
    // become slashes. An empty name is refused.
    bool openEntry(const QByteArray& name);
    bool write(const QByteArray& bytes);
    // Finishes the entry being written, or leaves the one being read.
    void closeEntry();
    // Writing: writes the central directory and the end record; false when any of the
    // archive did not reach the file (written bytes wait in blocks until then).
    bool finish();

    // Reading: the number of entries, and each entry by index, in ascending order.
    int count() const;
    // Whether every entry can be read as what the central directory says it is: the
    // directory lists the entries (or the archive is one of no entries), its end announces
    // as many as were found (a ZIP64 end agreeing with the plain one), each record names its
    // entry (not empty, no NUL) as its local header does, with the same method, CRC and sizes
    // (where the header holds them) and Unicode Path (where both hold one), each entry is a
    // file or a folder as its name says, a folder holds no data, and each entry inflates to
    // its end within largestEntry with its CRC and sizes right. And whether every file can be
    // sent under its name as the reader reports it: not empty, valid UTF-8, and no two names
    // the same, letter case aside.
    bool isWhole() const;
    bool openEntry(int index);
    // Whether the open entry names a directory; none when no entry is open.
    std::optional<bool> isDirectory() const;
    // The whole content of the open entry; none when it cannot be read or exceeds
    // largestEntry.
    std::optional<QByteArray> readEntry();
    // The open entry's name; empty when none is open.
    QByteArray entryName() const;
    // The names of the entries from the index on that are files, not folders, as opening read
    // them: no entry is opened for them.
    QList<QByteArray> fileNamesFrom(int index) const;

private:
    explicit ZipArchive(bool writing);

    const bool writing;
    archive* handle = nullptr;
    // The archive's file: created for writing, or the regular file opened for reading.
    QFile file;
    QList<QByteArray> names;
    bool whole = false;
    int position = -1;
    std::optional<QByteArray> openName;
};
