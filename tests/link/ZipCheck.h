#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// A second ZIP reader and writer for the tests: Python's zipfile under /usr/bin/python3.
namespace zipcheck {

struct Entry
{
    QByteArray name;
    QByteArray content;
    int method = 8; // 0 stores, 8 deflates
};
bool operator==(const Entry& a, const Entry& b);

// What Python finds in the archive: "comment" (hex), "bad" (the first entry whose CRC fails,
// or null), "trailing" (bytes after the end record) and "entries", each with "name", "flags", "method", "size", "content" (hex),
// "descriptor" (the local header leaves CRC and sizes to a 24-byte data descriptor after the
// data) and "level6" (the data is zlib's raw deflate at level 6).
QJsonObject inspect(const QString& path);
// The entries as Python reads them, for comparing contents.
QList<Entry> entries(const QJsonObject& report);
// Writes an archive of the entries with Python; a name ending in a slash is a directory.
void make(const QString& path, const QList<Entry>& entries);

// Changes the first byte of a stored entry's content, so that its CRC no longer fits.
bool damage(const QString& path, const QByteArray& storedContent);

} // namespace zipcheck
