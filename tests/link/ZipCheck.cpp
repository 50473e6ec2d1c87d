#include "ZipCheck.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

namespace zipcheck {

namespace {

const QString python = QStringLiteral("/usr/bin/python3");
constexpr int pythonTimeoutMs = 30000;

const char inspectScript[] = R"(
import json, struct, sys, zipfile, zlib
path = sys.argv[1]
raw = open(path, 'rb').read()
z = zipfile.ZipFile(path)
entries = []
for i in z.infolist():
    h = i.header_offset
    n, m = struct.unpack('<HH', raw[h + 26:h + 30])
    start = h + 30 + n + m
    end = start + i.compress_size
    local_crc = struct.unpack('<I', raw[h + 14:h + 18])[0]
    descriptor = struct.unpack('<IIQQ', raw[end:end + 24])
    content = z.read(i)
    deflater = zlib.compressobj(6, zlib.DEFLATED, -15)
    entries.append({
        'name': i.filename, 'flags': i.flag_bits, 'method': i.compress_type,
        'size': i.file_size, 'content': content.hex(),
        'descriptor': local_crc == 0 and descriptor == (0x08074B50, i.CRC, i.compress_size, i.file_size),
        'level6': raw[start:end] == deflater.compress(content) + deflater.flush(),
    })
end = raw.rfind(b'PK\x05\x06')
trailing = len(raw) - (end + 22 + struct.unpack('<H', raw[end + 20:end + 22])[0])
print(json.dumps({'entries': entries, 'comment': z.comment.hex(), 'bad': z.testzip(), 'trailing': trailing}))
)";

const char makeScript[] = R"(
import json, sys, zipfile
listing = json.load(sys.stdin)
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for e in listing:
        z.writestr(zipfile.ZipInfo(e['name']), bytes.fromhex(e['content']), compress_type=e['method'])
)";

QByteArray runPython(const char* script, const QString& path, const QByteArray& input = {})
{
    QProcess process;
    process.start(python, {"-c", QString::fromUtf8(script), path});
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(pythonTimeoutMs) || process.exitCode() != 0)
        qWarning() << process.readAllStandardError();
    return process.readAllStandardOutput();
}

} // namespace

QJsonObject inspect(const QString& path)
{
    return QJsonDocument::fromJson(runPython(inspectScript, path)).object();
}

QList<Entry> entries(const QJsonObject& report)
{
    QList<Entry> found;
    for (const QJsonValue& value : report.value("entries").toArray()) {
        const QJsonObject e = value.toObject();
        found.append({e.value("name").toString().toUtf8(),
                      QByteArray::fromHex(e.value("content").toString().toLatin1()),
                      e.value("method").toInt()});
    }
    return found;
}

void make(const QString& path, const QList<Entry>& entries)
{
    QJsonArray listing;
    for (const Entry& e : entries)
        listing.append(QJsonObject{{"name", QString::fromUtf8(e.name)},
                                {"content", QString::fromLatin1(e.content.toHex())},
                                {"method", e.method}});
    runPython(makeScript, path, QJsonDocument(listing).toJson());
}

bool damage(const QString& path, const QByteArray& storedContent)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const int at = bytes.indexOf(storedContent);
    if (at < 0)
        return false;
    bytes[at] = char(bytes.at(at) ^ 0x01);
    return file.seek(0) && file.write(bytes) == bytes.size();
}

bool operator==(const Entry& a, const Entry& b)
{
    return a.name == b.name && a.content == b.content && a.method == b.method;
}

} // namespace zipcheck
