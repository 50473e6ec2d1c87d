#include "link/ZipArchive.h"

#include <QDateTime>

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

archive* openReader(const QString& path)
{
    archive* reader = archive_read_new();
    // The seekable reader trusts the central directory; the streaming one also takes an
    // archive without entries, which the seekable one refuses.
    archive_read_support_format_zip_seekable(reader);
    archive_read_support_format_zip_streamable(reader);
    if (archive_read_open_filename(reader, QFile::encodeName(path).constData(), readBlockSize) != ARCHIVE_OK) {
        archive_read_free(reader);
        return nullptr;
    }
    return reader;
}

int countEntries(const QString& path)
{
    archive* reader = openReader(path);
    if (!reader)
        return -1;
    int entries = 0;
    archive_entry* entry = nullptr;
    while (isHeader(archive_read_next_header(reader, &entry)))
        ++entries;
    archive_read_free(reader);
    return entries;
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
    zip->entries = countEntries(path);
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
    QByteArray content;
    QByteArray block(int(readBlockSize), Qt::Uninitialized);
    for (;;) {
        const la_ssize_t read = archive_read_data(handle, block.data(), readBlockSize);
        if (read < 0)
            return std::nullopt;
        if (read == 0)
            return content;
        if (content.size() + read > largestEntry)
            return std::nullopt;
        content.append(block.constData(), int(read));
    }
}

QByteArray ZipArchive::entryName() const
{
    return openName.value_or(QByteArray());
}
