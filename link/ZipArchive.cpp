#include "link/ZipArchive.h"

#include <QDateTime>
#include <QtEndian>

#include <archive.h>
#include <archive_entry.h>

#include <locale.h>
#ifdef Q_OS_MACOS
#include <xlocale.h>
#endif

namespace {

constexpr char formatName[] = "zip";
constexpr char deflate[] = "deflate";
constexpr char store[] = "store";
constexpr int filePermissions = 0644;
constexpr size_t readBlockSize = 64 * 1024;
constexpr int writeBlockSize = 64 * 1024;
constexpr char utf8LocaleName[] = "C.UTF-8";
// The end of the central directory: its record, with the entry count and the length of the
// comment that follows it; when the count does not fit there, the ZIP64 locator just before
// the record gives the offset of the ZIP64 record, which holds the count.
constexpr char endRecordSignature[] = "PK\x05\x06";
constexpr int endRecordCountAt = 10;
constexpr int endRecordCommentLengthAt = 20;
constexpr int endRecordSize = 22;
constexpr int maxCommentSize = 0xFFFF;
constexpr quint16 countInZip64Record = 0xFFFF;
constexpr char zip64LocatorSignature[] = "PK\x06\x07";
constexpr int zip64LocatorOffsetAt = 8;
constexpr int zip64LocatorSize = 20;
constexpr char zip64RecordSignature[] = "PK\x06\x06";
constexpr int zip64RecordCountAt = 32;
constexpr int zip64RecordCountEnd = zip64RecordCountAt + int(sizeof(quint64));
constexpr int endSize = zip64LocatorSize + endRecordSize + maxCommentSize;

// libarchive converts entry names through the calling thread's character type; the names
// are UTF-8 whatever locale the user runs, so every call that touches a name runs in this
// scope.
class Utf8Names
{
public:
    Utf8Names()
        : previous(utf8Locale() ? uselocale(utf8Locale()) : locale_t(nullptr))
    {
    }
    ~Utf8Names()
    {
        if (previous)
            uselocale(previous);
    }
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;

private:
    static locale_t utf8Locale()
    {
        static const locale_t locale = newlocale(LC_CTYPE_MASK, utf8LocaleName, locale_t(nullptr));
        return locale;
    }

    locale_t previous;
};

bool isHeader(int result)
{
    return result == ARCHIVE_OK || result == ARCHIVE_WARN;
}

using Format = int (*)(archive*);

archive* openWith(const QString& path, Format format)
{
    archive* reader = archive_read_new();
    format(reader);
    if (archive_read_open_filename(reader, QFile::encodeName(path).constData(), readBlockSize) != ARCHIVE_OK) {
        archive_read_free(reader);
        return nullptr;
    }
    return reader;
}

// The seekable reader takes the entries from the central directory. It refuses an archive
// without entries, and one cut short: the streaming reader opens those. Tells whether the
// central directory was read.
archive* openReader(const QString& path, bool* listed = nullptr)
{
    archive* reader = openWith(path, archive_read_support_format_zip_seekable);
    if (listed)
        *listed = reader != nullptr;
    return reader ? reader : openWith(path, archive_read_support_format_zip_streamable);
}

template <typename T>
T littleEndianAt(const QByteArray& bytes, int at)
{
    return qFromLittleEndian<T>(bytes.constData() + at);
}

// Where the end record stands in the last bytes of an archive: the last one whose comment
// reaches exactly to their end; -1 when none does.
int endRecordIn(const QByteArray& last)
{
    for (int at = last.lastIndexOf(endRecordSignature); at >= 0;
         at = at > 0 ? last.lastIndexOf(endRecordSignature, at - 1) : -1) {
        if (at + endRecordSize <= last.size()
            && at + endRecordSize + littleEndianAt<quint16>(last, at + endRecordCommentLengthAt) == last.size())
            return at;
    }
    return -1;
}

// The number of entries the end of the central directory announces; none when the archive
// does not end with one.
std::optional<quint64> announcedEntries(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(qMax<qint64>(0, file.size() - endSize)))
        return std::nullopt;
    const QByteArray last = file.readAll();
    const int record = endRecordIn(last);
    if (record < 0)
        return std::nullopt;
    const quint16 count = littleEndianAt<quint16>(last, record + endRecordCountAt);
    if (count != countInZip64Record)
        return count;
    const int locator = record - zip64LocatorSize;
    if (locator < 0 || !last.mid(locator).startsWith(zip64LocatorSignature)
        || !file.seek(qint64(littleEndianAt<quint64>(last, locator + zip64LocatorOffsetAt))))
        return std::nullopt;
    const QByteArray zip64Record = file.read(zip64RecordCountEnd);
    if (zip64Record.size() < zip64RecordCountEnd || !zip64Record.startsWith(zip64RecordSignature))
        return std::nullopt;
    return littleEndianAt<quint64>(zip64Record, zip64RecordCountAt);
}

// The entry's content, read to its end, where libarchive checks its CRC and sizes.
std::optional<QByteArray> readData(archive* reader)
{
    QByteArray content;
    QByteArray block(int(readBlockSize), Qt::Uninitialized);
    for (;;) {
        const la_ssize_t read = archive_read_data(reader, block.data(), readBlockSize);
        if (read < 0)
            return std::nullopt;
        if (read == 0)
            return content;
        if (content.size() + read > ZipArchive::largestEntry)
            return std::nullopt;
        content.append(block.constData(), int(read));
    }
}

struct Survey
{
    int entries = -1;
    bool whole = false;
};

// Reads the archive through once: every entry to its end, and the listing to its end. Only
// the seekable reader follows the central directory; the streaming one, which opens an
// archive without entries, would read one cut short up to its cut, so what it reads is
// whole only without entries. Either way the end record announces the entries read.
Survey survey(const QString& path)
{
    bool listed = false;
    archive* reader = openReader(path, &listed);
    if (!reader)
        return {};
    Survey found{0, true};
    archive_entry* entry = nullptr;
    int result = ARCHIVE_OK;
    while (isHeader(result = archive_read_next_header(reader, &entry))) {
        ++found.entries;
        found.whole = readData(reader) && found.whole;
    }
    archive_read_free(reader);
    found.whole = found.whole && result == ARCHIVE_EOF && (listed || found.entries == 0)
                  && announcedEntries(path) == quint64(found.entries);
    return found;
}

QByteArray nameOf(archive_entry* entry)
{
    const char* name = archive_entry_pathname_utf8(entry);
    return QByteArray(name ? name : archive_entry_pathname(entry));
}

bool setCompression(archive* writer, int level)
{
    if (level == 0)
        return archive_write_set_format_option(writer, formatName, "compression", store) == ARCHIVE_OK;
    return archive_write_set_format_option(writer, formatName, "compression", deflate) == ARCHIVE_OK
           && archive_write_set_format_option(writer, formatName, "compression-level",
                                              QByteArray::number(level).constData())
                  == ARCHIVE_OK;
}

} // namespace

ZipArchive::ZipArchive(bool writing)
    : writing(writing)
{
}

ZipArchive::~ZipArchive()
{
    if (writing)
        archive_write_free(handle);
    else
        archive_read_free(handle);
}

std::unique_ptr<ZipArchive> ZipArchive::openForWriting(const QString& path, int level)
{
    if (level < 0 || level > maxLevel)
        return nullptr;
    std::unique_ptr<ZipArchive> zip(new ZipArchive(true));
    QFile::remove(path);
    zip->output.setFileName(path);
    if (!zip->output.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return nullptr;
    zip->handle = archive_write_new();
    archive_write_set_format_zip(zip->handle);
    // Written in large blocks, the last one not padded: the archive ends with its end record.
    archive_write_set_bytes_per_block(zip->handle, writeBlockSize);
    archive_write_set_bytes_in_last_block(zip->handle, 1);
    if (!setCompression(zip->handle, level) || archive_write_open_fd(zip->handle, zip->output.handle()) != ARCHIVE_OK)
        return nullptr;
    return zip;
}

std::unique_ptr<ZipArchive> ZipArchive::openForReading(const QString& path)
{
    Utf8Names utf8;
    std::unique_ptr<ZipArchive> zip(new ZipArchive(false));
    const Survey found = survey(path);
    zip->entries = found.entries;
    zip->whole = found.whole;
    zip->handle = openReader(path);
    if (zip->entries < 0 || !zip->handle)
        return nullptr;
    return zip;
}

bool ZipArchive::openEntry(const QByteArray& name)
{
    if (!writing || name.isEmpty())
        return false;
    closeEntry();
    Utf8Names utf8;
    QByteArray stored = name;
    stored.replace('\\', '/');
    const std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname_utf8(entry.get(), stored.constData());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), filePermissions);
    archive_entry_set_mtime(entry.get(), QDateTime::currentSecsSinceEpoch(), 0);
    // No size is given, so the entry is streamed with a data descriptor after its data.
    if (archive_write_header(handle, entry.get()) != ARCHIVE_OK)
        return false;
    openName = stored;
    return true;
}

bool ZipArchive::write(const QByteArray& bytes)
{
    if (!writing || !openName)
        return false;
    return bytes.isEmpty() || archive_write_data(handle, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

void ZipArchive::closeEntry()
{
    if (writing && openName)
        archive_write_finish_entry(handle);
    openName.reset();
}

bool ZipArchive::finish()
{
    closeEntry();
    return writing && archive_write_close(handle) == ARCHIVE_OK;
}

int ZipArchive::count() const
{
    return entries;
}

bool ZipArchive::isWhole() const
{
    return whole;
}

bool ZipArchive::openEntry(int index)
{
    closeEntry();
    if (writing || index <= position || index >= entries)
        return false;
    Utf8Names utf8;
    archive_entry* entry = nullptr;
    while (position < index) {
        if (!isHeader(archive_read_next_header(handle, &entry)))
            return false;
        ++position;
    }
    openName = nameOf(entry);
    return true;
}

std::optional<bool> ZipArchive::isDirectory() const
{
    if (!openName)
        return std::nullopt;
    return openName->endsWith('/') || openName->endsWith('\\');
}

std::optional<QByteArray> ZipArchive::readEntry()
{
    if (writing || !openName)
        return std::nullopt;
    return readData(handle);
}

QByteArray ZipArchive::entryName() const
{
    return openName.value_or(QByteArray());
}
