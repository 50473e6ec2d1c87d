#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

// A second ZIP reader and writer for the tests: Python's zipfile under /usr/bin/python3, the
// `zip` command, and libarchive's own writer.
namespace zipcheck {

struct Entry
{
    QByteArray name;
    QByteArray content;
    int method = 8; // 0 stores, 8 deflates
    // Python only: when not empty, a Unicode Path extra field (0x7075) in both records gives
    // the entry this name instead.
    QByteArray unicodePath = {};
};
bool operator==(const Entry& a, const Entry& b);

// What Python finds in the archive: "comment" (hex), "bad" (the first entry whose CRC fails,
// or null), "trailing" (bytes after the end record) and "entries", each with "name", "flags", "method", "size", "content" (hex),
// "descriptor" (the local header leaves CRC and sizes to a 24-byte data descriptor after the
// data) and "level6" (the data is zlib's raw deflate at level 6).
QJsonObject inspect(const QString& path);
// The entries as Python reads them, for comparing contents.
QList<Entry> entries(const QJsonObject& report);
// How the archive is laid out, by Python unless said otherwise. Plain: each local header
// holds the entry's CRC and sizes. Streamed: written to a stream that cannot seek back, so a
// data descriptor after each entry's data holds them. Zip64: every entry, the central
// directory and its end in ZIP64 form.
// The ZipCommand forms: the same, written by the `zip` command (which may store an entry it
// was to deflate, and needs at least one entry). ZipCommandPiped: one `zip` run adds each
// entry, an entry named "-" from standard input (a ZIP64 end record and its locator then stand
// before the plain end record). LibarchiveZip64: libarchive's writer, every entry in ZIP64 form.
enum class Form {
    Plain, Streamed, Zip64, ZipCommand, ZipCommandStreamed, ZipCommandZip64, ZipCommandPiped, LibarchiveZip64
};
// Writes an archive of the entries in the form; a name ending in a slash is a directory.
void make(const QString& path, const QList<Entry>& entries, Form form = Form::Plain);
// The bytes of that archive.
QByteArray made(const QList<Entry>& entries, Form form = Form::Plain);
// Files (name, content) as entries that deflate.
QList<Entry> asEntries(const QList<QPair<QByteArray, QByteArray>>& files);

// Signatures that mark the places to damage.
inline const QByteArray localHeader = QByteArrayLiteral("PK\x03\x04");
inline const QByteArray centralRecord = QByteArrayLiteral("PK\x01\x02");

// Signatures of the end of the central directory, and where their fields stand.
inline const QByteArray endRecord = QByteArrayLiteral("PK\x05\x06");
inline const QByteArray zip64EndRecord = QByteArrayLiteral("PK\x06\x06");
// The entry counts (on this disk, in all; 2 bytes each, 8 in ZIP64 form) and the size of the
// central directory (4 bytes), from the start of their record.
constexpr int endRecordCounts = 8;
constexpr int endRecordDirectorySize = 12;
constexpr int zip64EndRecordCounts = 24;
// Fields from the start of a local header: the name; and of a central-directory record: the
// method, CRC, compressed size and size, the low byte of the external attributes (the DOS ones:
// 0x10 a folder), their high byte (whose top bits give a Unix file's type: 0x81 a regular
// file, 0xA1 a symbolic link, 0x41 a folder) and the name.
constexpr int localHeaderName = 30;
constexpr int centralRecordMethod = 10;
constexpr int centralRecordCrc = 16;
constexpr int centralRecordCompressedSize = 20;
constexpr int centralRecordSize = 24;
constexpr int centralRecordDosAttributes = 38;
constexpr int centralRecordFileType = 41;
constexpr int centralRecordName = 46;

// The bytes with one bit (or the bits of the mask) changed in the byte at the offset from the
// nth (from 0) occurrence of the marker: a stored entry's content then no longer fits its CRC,
// a signature no longer reads. The bytes are returned whole when the marker is not found that
// often.
QByteArray damaged(QByteArray bytes, const QByteArray& marker, int occurrence = 0, int offset = 0, char mask = 0x01);
// The bytes with those at the offset from the first occurrence of the marker replaced.
QByteArray patched(QByteArray bytes, const QByteArray& marker, int offset, const QByteArray& replacement);
// The bytes cut off in the middle of the nth occurrence of the marker.
QByteArray cutShort(const QByteArray& bytes, const QByteArray& marker, int occurrence = 0);
// Damages the file in place; false when it cannot or the marker is not in it.
bool damage(const QString& path, const QByteArray& marker, int occurrence = 0);

} // namespace zipcheck
