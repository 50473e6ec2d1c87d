#include "link/ZipArchive.h"

#include <QDateTime>
#include <QSet>
#include <QTextCodec>
#include <QtEndian>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
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
constexpr int utf8Mib = 106;
// The end of the central directory: its record, with the entry count, the directory's size
// and offset, and the length of the comment that follows it. A ZIP64 locator just before the
// record gives the offset of the ZIP64 record, which holds them all; where a value does not
// fit the plain record, it holds the escape (0xFFFF or 0xFFFFFFFF) instead.
constexpr char endRecordSignature[] = "PK\x05\x06";
constexpr int endRecordCountAt = 10;
constexpr int endRecordDirectorySizeAt = 12;
constexpr int endRecordDirectoryAt = 16;
constexpr int endRecordCommentLengthAt = 20;
constexpr int endRecordSize = 22;
constexpr int maxCommentSize = 0xFFFF;
constexpr quint16 countInZip64Record = 0xFFFF;
constexpr quint32 valueInZip64 = 0xFFFFFFFF;
constexpr char zip64LocatorSignature[] = "PK\x06\x07";
constexpr int zip64LocatorOffsetAt = 8;
constexpr int zip64LocatorSize = 20;
constexpr char zip64RecordSignature[] = "PK\x06\x06";
constexpr int zip64RecordCountAt = 32;
constexpr int zip64RecordDirectorySizeAt = 40;
constexpr int zip64RecordDirectoryAt = 48;
constexpr int zip64RecordSize = 56;
constexpr int endSize = zip64LocatorSize + endRecordSize + maxCommentSize;
// A central-directory record and a local header: where the fields both hold stand in each,
// and the lengths of the name, the extra field and (central only) the comment after them.
constexpr char centralRecordSignature[] = "PK\x01\x02";
constexpr char localHeaderSignature[] = "PK\x03\x04";
constexpr int centralFieldsAt = 8;
constexpr int localFieldsAt = 6;
constexpr int flagsAt = 0; // from the fields' start
constexpr int methodAt = 2;
constexpr int crcAt = 8;
constexpr int compressedSizeAt = 12;
constexpr int sizeAt = 16;
constexpr int nameLengthAt = 20;
constexpr int extraLengthAt = 22;
constexpr int commentLengthAt = 24;
constexpr int localHeaderAt = 34;
constexpr int attributesAt = 30; // central only: the external attributes
constexpr int centralRecordSize = 46;
constexpr int localHeaderSize = 30;
// The CRC and sizes follow the data in a descriptor; the local header holds zeros.
constexpr quint16 descriptorFlag = 0x0008;
// A central record tells the system that made it (in the high byte of the version it was made
// by); the external attributes of one made on Unix hold its mode in their high 16 bits, and
// their lowest byte holds the DOS attributes wherever it was made.
constexpr int madeOnAt = 5; // from the record's start
constexpr quint8 madeOnUnix = 3;
constexpr int unixModeShift = 16;
constexpr quint32 unixTypeMask = 0170000;
constexpr quint32 unixFolder = 0040000;
constexpr quint32 dosFolder = 0x10;
// In the extra field: the ZIP64 values, each present only where its field holds 0xFFFFFFFF,
// in this order: size, compressed size, local header offset.
constexpr quint16 zip64ExtraId = 0x0001;
// The Unicode Path field: a name that readers take in place of the record's own.
constexpr quint16 unicodePathExtraId = 0x7075;
constexpr int extraHeaderSize = 4;

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

// Each reader reads the archive from its start through the one descriptor.
archive* openWith(int descriptor, Format format)
{
    archive* reader = archive_read_new();
    format(reader);
    if (::lseek(descriptor, 0, SEEK_SET) != 0
        || archive_read_open_fd(reader, descriptor, readBlockSize) != ARCHIVE_OK) {
        archive_read_free(reader);
        return nullptr;
    }
    return reader;
}

// The seekable reader takes the entries from the central directory. It refuses an archive
// without entries, and one cut short: the streaming reader opens those. Tells whether the
// central directory was read.
archive* openReader(int descriptor, bool* listed = nullptr)
{
    archive* reader = openWith(descriptor, archive_read_support_format_zip_seekable);
    if (listed)
        *listed = reader != nullptr;
    return reader ? reader : openWith(descriptor, archive_read_support_format_zip_streamable);
}

// Opens the path once, without waiting (a FIFO in the archive's place would hold the restore
// for ever), and keeps it only when it is a regular file: everything is read through the
// descriptor that was checked.
bool openRegularFile(QFile& file, const QString& path)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)
        || !file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return false;
    }
    return true;
}

bool namesDirectory(const QByteArray& name)
{
    return name.endsWith('/') || name.endsWith('\\');
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

// Bytes of the file at a position; none when the file does not hold them all.
std::optional<QByteArray> readAt(QFile& file, qint64 at, qint64 size)
{
    if (at < 0 || !file.seek(at))
        return std::nullopt;
    QByteArray bytes = file.read(size);
    if (bytes.size() != size)
        return std::nullopt;
    return bytes;
}

// The central directory as the end of the archive describes it. Its records stand at
// `offset` plus `shift`: the bytes, if any, that precede the archive in its file.
struct Directory
{
    quint64 entries = 0;
    qint64 offset = 0;
    qint64 size = 0;
    qint64 shift = 0;
};

bool isEscaped(const Directory& plain)
{
    return plain.entries == countInZip64Record || quint64(plain.offset) == valueInZip64
           || quint64(plain.size) == valueInZip64;
}

// Whether each value of the plain end record is the escape or the ZIP64 record's own.
bool endRecordsAgree(const Directory& plain, const Directory& zip64)
{
    const auto same = [](quint64 narrow, quint64 wide, quint64 escape) { return narrow == escape || narrow == wide; };
    return same(plain.entries, zip64.entries, countInZip64Record)
           && same(quint64(plain.offset), quint64(zip64.offset), valueInZip64)
           && same(quint64(plain.size), quint64(zip64.size), valueInZip64);
}

std::optional<Directory> zip64RecordAt(QFile& file, qint64 at)
{
    const std::optional<QByteArray> record = readAt(file, at, zip64RecordSize);
    if (!record || !record->startsWith(zip64RecordSignature))
        return std::nullopt;
    return Directory{littleEndianAt<quint64>(*record, zip64RecordCountAt),
                     qint64(littleEndianAt<quint64>(*record, zip64RecordDirectoryAt)),
                     qint64(littleEndianAt<quint64>(*record, zip64RecordDirectorySizeAt))};
}

// Streaming writers put a ZIP64 record before a plain end record that holds every value too:
// wherever its locator stands, the ZIP64 record places the directory, which ends where that
// record starts, and the two records must agree.
std::optional<Directory> directoryOf(QFile& file)
{
    const qint64 lastAt = qMax<qint64>(0, file.size() - endSize);
    const std::optional<QByteArray> last = readAt(file, lastAt, file.size() - lastAt);
    const int record = last ? endRecordIn(*last) : -1;
    if (record < 0)
        return std::nullopt;
    Directory found{littleEndianAt<quint16>(*last, record + endRecordCountAt),
                    littleEndianAt<quint32>(*last, record + endRecordDirectoryAt),
                    littleEndianAt<quint32>(*last, record + endRecordDirectorySizeAt)};
    qint64 directoryEnd = lastAt + record;
    const int locator = record - zip64LocatorSize;
    if (locator >= 0 && last->mid(locator).startsWith(zip64LocatorSignature)) {
        directoryEnd = qint64(littleEndianAt<quint64>(*last, locator + zip64LocatorOffsetAt));
        const std::optional<Directory> zip64 = zip64RecordAt(file, directoryEnd);
        if (!zip64 || !endRecordsAgree(found, *zip64))
            return std::nullopt;
        found = *zip64;
    } else if (isEscaped(found)) {
        return std::nullopt;
    }
    if (found.offset < 0 || found.size < 0 || found.size > directoryEnd || found.offset > directoryEnd - found.size)
        return std::nullopt;
    found.shift = directoryEnd - found.size - found.offset;
    return found;
}

// What a central-directory record or a local header says of its entry.
struct Record
{
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc = 0;
    quint64 compressedSize = 0;
    quint64 size = 0;
    quint64 localAt = 0; // central records only
    bool folderTyped = false; // central records only
    QByteArray name;
    std::optional<QByteArray> unicodePath;
    qint64 end = 0; // where the next record starts
};

// The data of the extra field's part with the id; none when it has none.
std::optional<QByteArray> extraPart(const QByteArray& extra, quint16 id)
{
    for (int at = 0; at + extraHeaderSize <= extra.size();) {
        const int length = littleEndianAt<quint16>(extra, at + 2);
        if (littleEndianAt<quint16>(extra, at) == id)
            return extra.mid(at + extraHeaderSize, length);
        at += extraHeaderSize + length;
    }
    return std::nullopt;
}

// Takes the ZIP64 value of each field that holds 0xFFFFFFFF, in order, from the extra
// field; false when one is missing.
bool widen(const QByteArray& extra, std::initializer_list<quint64*> fields)
{
    const QByteArray values = extraPart(extra, zip64ExtraId).value_or(QByteArray());
    int at = 0;
    for (quint64* field : fields) {
        if (*field != valueInZip64)
            continue;
        if (at + int(sizeof(quint64)) > values.size())
            return false;
        *field = littleEndianAt<quint64>(values, at);
        at += int(sizeof(quint64));
    }
    return true;
}

bool isFolderTyped(quint8 madeOn, quint32 attributes)
{
    return (madeOn == madeOnUnix && ((attributes >> unixModeShift) & unixTypeMask) == unixFolder)
           || (attributes & dosFolder);
}

// The record at the position: a central one (with its comment) or a local header. None when
// it does not read whole or its ZIP64 values are missing; a local header under a data
// descriptor keeps its CRC and sizes as they stand.
std::optional<Record> recordAt(QFile& file, qint64 at, bool central)
{
    const int size = central ? centralRecordSize : localHeaderSize;
    const int fields = central ? centralFieldsAt : localFieldsAt;
    const std::optional<QByteArray> fixed = readAt(file, at, size);
    if (!fixed || !fixed->startsWith(central ? centralRecordSignature : localHeaderSignature))
        return std::nullopt;
    const auto field16 = [&](int offset) { return littleEndianAt<quint16>(*fixed, fields + offset); };
    const auto field32 = [&](int offset) { return littleEndianAt<quint32>(*fixed, fields + offset); };
    // The name and the extra field follow the fixed part; one read takes both.
    const int nameLength = field16(nameLengthAt);
    const std::optional<QByteArray> variable = readAt(file, at + size, nameLength + field16(extraLengthAt));
    if (!variable)
        return std::nullopt;
    const QByteArray extra = variable->mid(nameLength);
    Record record{field16(flagsAt),
                  field16(methodAt),
                  field32(crcAt),
                  field32(compressedSizeAt),
                  field32(sizeAt),
                  central ? field32(localHeaderAt) : 0,
                  central && isFolderTyped(quint8(fixed->at(madeOnAt)), field32(attributesAt)),
                  variable->left(nameLength),
                  extraPart(extra, unicodePathExtraId),
                  at + size + variable->size() + (central ? field16(commentLengthAt) : 0)};
    const bool widened = central ? widen(extra, {&record.size, &record.compressedSize, &record.localAt})
                                 : (record.flags & descriptorFlag)
                                       || widen(extra, {&record.size, &record.compressedSize});
    if (!widened)
        return std::nullopt;
    return record;
}

// Whether the central record names its entry, and its local header says the same of it:
// the name, its Unicode Path where both have one, and method always, the CRC and sizes
// unless a data descriptor holds them. The streaming and seekable readers take the name
// from the local header, so an entry whose two names differ would be restored under the
// wrong one.
bool agree(const Record& central, const Record& local)
{
    if (central.name.isEmpty() || central.name.contains('\0') || local.name != central.name
        || (central.unicodePath && local.unicodePath && local.unicodePath != central.unicodePath)
        || local.method != central.method)
        return false;
    return (local.flags & descriptorFlag)
           || (local.crc == central.crc && local.compressedSize == central.compressedSize
               && local.size == central.size);
}

// The number of entries the end of the central directory announces; none when the archive
// does not end with one, or when a record of the central directory does not read, types a
// folder whose name is no folder's (the readers would pass it over as one), or disagrees
// with its entry's local header.
std::optional<quint64> soundEntries(QFile& file)
{
    const std::optional<Directory> directory = directoryOf(file);
    if (!directory)
        return std::nullopt;
    const qint64 end = directory->shift + directory->offset + directory->size;
    qint64 at = directory->shift + directory->offset;
    for (quint64 index = 0; index < directory->entries; ++index) {
        const std::optional<Record> central = recordAt(file, at, true);
        // Every local header stands before the central directory.
        if (!central || central->end > end || central->localAt >= quint64(directory->offset))
            return std::nullopt;
        const std::optional<Record> local = recordAt(file, directory->shift + qint64(central->localAt), false);
        if (!local || !agree(*central, *local) || (central->folderTyped && !namesDirectory(central->name)))
            return std::nullopt;
        at = central->end;
    }
    return directory->entries;
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

// Whether the restore can take the entry for what its name says: a file, or a folder, which
// it passes over, so one that holds data would lose it. A link's content is its target, which
// is not read as data: only files and folders restore.
bool isSendable(archive_entry* entry, const QByteArray& name, const QByteArray& content)
{
    const auto type = archive_entry_filetype(entry);
    if (!namesDirectory(name))
        return type == AE_IFREG;
    return (type == AE_IFREG || type == AE_IFDIR) && archive_entry_size(entry) == 0 && content.isEmpty();
}

bool isUtf8(const QByteArray& name)
{
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    QTextCodec::codecForMib(utf8Mib)->toUnicode(name.constData(), name.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

QList<QByteArray> filesAmong(const QList<QByteArray>& names)
{
    QList<QByteArray> files;
    for (const QByteArray& name : names) {
        if (!namesDirectory(name))
            files.append(name);
    }
    return files;
}

// Whether the calculator can take every file under its own name: each name decodes, and
// none replaces another (letter case aside, as a send compares names). A name the reader
// could not convert (a Unicode Path field that is not UTF-8) comes out empty.
bool namesSendable(const QList<QByteArray>& files)
{
    QSet<QString> taken;
    for (const QByteArray& name : files) {
        const QString key = QString::fromUtf8(name).toUpper();
        if (name.isEmpty() || !isUtf8(name) || taken.contains(key))
            return false;
        taken.insert(key);
    }
    return true;
}

QByteArray nameOf(archive_entry* entry)
{
    const char* name = archive_entry_pathname_utf8(entry);
    return QByteArray(name ? name : archive_entry_pathname(entry));
}

struct Survey
{
    // Every entry's name, in order; none when the archive does not open.
    std::optional<QList<QByteArray>> names;
    bool whole = false;
};

// Reads the archive through once: every entry to its end, and the listing to its end. Only
// the seekable reader follows the central directory; the streaming one, which opens an
// archive without entries, would read one cut short up to its cut, so what it reads is
// whole only without entries. Either way the end record announces the entries read.
Survey survey(QFile& file)
{
    bool listed = false;
    archive* reader = openReader(file.handle(), &listed);
    if (!reader)
        return {};
    QList<QByteArray> names;
    bool whole = true;
    archive_entry* entry = nullptr;
    int result = ARCHIVE_OK;
    while (isHeader(result = archive_read_next_header(reader, &entry))) {
        names.append(nameOf(entry));
        const std::optional<QByteArray> content = readData(reader);
        whole = content && isSendable(entry, names.last(), *content) && whole;
    }
    archive_read_free(reader);
    whole = whole && result == ARCHIVE_EOF && (listed || names.isEmpty()) && namesSendable(filesAmong(names))
            && soundEntries(file) == quint64(names.size());
    return {names, whole};
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
    zip->file.setFileName(path);
    if (!zip->file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return nullptr;
    zip->handle = archive_write_new();
    archive_write_set_format_zip(zip->handle);
    // Written in large blocks, the last one not padded: the archive ends with its end record.
    archive_write_set_bytes_per_block(zip->handle, writeBlockSize);
    archive_write_set_bytes_in_last_block(zip->handle, 1);
    if (!setCompression(zip->handle, level) || archive_write_open_fd(zip->handle, zip->file.handle()) != ARCHIVE_OK)
        return nullptr;
    return zip;
}

std::unique_ptr<ZipArchive> ZipArchive::openForReading(const QString& path)
{
    Utf8Names utf8;
    std::unique_ptr<ZipArchive> zip(new ZipArchive(false));
    if (!openRegularFile(zip->file, path))
        return nullptr;
    const Survey found = survey(zip->file);
    zip->names = found.names.value_or(QList<QByteArray>());
    zip->whole = found.whole;
    zip->handle = openReader(zip->file.handle());
    if (!found.names || !zip->handle)
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
    return names.size();
}

bool ZipArchive::isWhole() const
{
    return whole;
}

bool ZipArchive::openEntry(int index)
{
    closeEntry();
    if (writing || index <= position || index >= count())
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
    return namesDirectory(*openName);
}

QList<QByteArray> ZipArchive::fileNamesFrom(int index) const
{
    return filesAmong(names.mid(index));
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
