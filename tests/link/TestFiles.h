#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Reproducible bytes that neither compress nor repeat, so a misplaced piece shows.
inline QByteArray testBytes(int size, quint32 seed = 2463534242u)
{
    QByteArray bytes(size, '\0');
    quint32 x = seed;
    for (char& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = char(x);
    }
    return bytes;
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The same, but "<missing>" where no file can be read, so that a missing file and an empty
// one differ.
inline QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
