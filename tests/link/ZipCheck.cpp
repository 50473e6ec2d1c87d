#include "ZipCheck.h"

#include "TestFiles.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>

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
import io, json, os, struct, subprocess, sys, tempfile, zipfile, zlib
listing = json.load(sys.stdin)
form = sys.argv[2]
if form.startswith('ZipCommand'):
    # The entries as files in a folder of their own, given to zip in their order; -n keeps
    # the entries to be stored from being deflated, and streamed output goes through a pipe.
    with tempfile.TemporaryDirectory() as folder:
        files = os.path.join(folder, 'files')
        for e in listing:
            file = os.path.join(files, e['name'])
            os.makedirs(os.path.dirname(file), exist_ok=True)
            if not e['name'].endswith('/'):
                open(file, 'wb').write(bytes.fromhex(e['content']))
        stored = ':'.join(e['name'] for e in listing if e['method'] == 0)
        command = ['zip', '-q', '-X'] + (['-n', stored] if stored else []) + (['-fz'] if form.endswith('Zip64') else [])
        made = '-' if form.endswith('Streamed') else os.path.join(folder, 'made.zip')
        names = [e['name'] for e in listing]
        # Piped: one run for each entry, which "-" reads from standard input.
        piped = [([e['name']], bytes.fromhex(e['content'])) for e in listing]
        for run_names, given in piped if form.endswith('Piped') else [(names, b'')]:
            run = subprocess.run(command + [made] + run_names, cwd=files, input=given, stdout=subprocess.PIPE,
                                 check=True)
        open(sys.argv[1], 'wb').write(run.stdout if made == '-' else open(made, 'rb').read())
    sys.exit(0)
class Unseekable(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
with open(sys.argv[1], 'wb') as f, zipfile.ZipFile(Unseekable(f) if form == 'Streamed' else f, 'w') as z:
    for e in listing:
        info = zipfile.ZipInfo(e['name'])
        info.compress_type = e['method']
        if e['unicodePath']:
            path = e['unicodePath'].encode()
            info.extra = struct.pack('<HHBI', 0x7075, 5 + len(path), 1, zlib.crc32(e['name'].encode())) + path
        if e['name'].endswith('/'):
            z.writestr(info, b'')
            continue
        with z.open(info, 'w', force_zip64=form == 'Zip64') as w:
            w.write(bytes.fromhex(e['content']))
    if form == 'Zip64':
        # The central directory and its end take their ZIP64 form above these limits.
        zipfile.ZIP64_LIMIT = zipfile.ZIP_FILECOUNT_LIMIT = 0
if form == 'Zip64':
    # The plain end record leaves the entry counts to the ZIP64 record.
    with open(sys.argv[1], 'r+b') as f:
        raw = f.read()
        f.seek(raw.rfind(b'PK\x05\x06') + 8)
        f.write(b'\xff' * 4)
)";

const char* const formNames[] = {"Plain",      "Streamed",           "Zip64",
                                 "ZipCommand", "ZipCommandStreamed", "ZipCommandZip64", "ZipCommandPiped"};

QByteArray runPython(const char* script, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(python, QStringList{"-c", QString::fromUtf8(script)} + arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(pythonTimeoutMs) || process.exitCode() != 0)
        qWarning() << process.readAllStandardError();
    return process.readAllStandardOutput();
}

// Sizes are given, so no entry needs a data descriptor; the last block is not padded.
void writeWithLibarchive(const QString& path, const QList<Entry>& entries)
{
    archive* writer = archive_write_new();
    archive_write_set_format_zip(writer);
    archive_write_set_format_option(writer, "zip", "zip64", "1");
    archive_write_set_bytes_in_last_block(writer, 1);
    archive_write_open_filename(writer, QFile::encodeName(path).constData());
    for (const Entry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, e.name.constData());
        archive_entry_set_filetype(entry, e.name.endsWith('/') ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, e.content.size());
        archive_write_header(writer, entry);
        archive_write_data(writer, e.content.constData(), size_t(e.content.size()));
        archive_entry_free(entry);
    }
    archive_write_free(writer);
}

int find(const QByteArray& bytes, const QByteArray& marker, int occurrence)
{
    int at = bytes.indexOf(marker);
    for (; at >= 0 && occurrence > 0; --occurrence)
        at = bytes.indexOf(marker, at + 1);
    return at;
}

} // namespace

QJsonObject inspect(const QString& path)
{
    return QJsonDocument::fromJson(runPython(inspectScript, {path})).object();
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

void make(const QString& path, const QList<Entry>& entries, Form form)
{
    if (form == Form::LibarchiveZip64) {
        writeWithLibarchive(path, entries);
        return;
    }
    QJsonArray listing;
    for (const Entry& e : entries)
        listing.append(QJsonObject{{"name", QString::fromUtf8(e.name)},
                                {"content", QString::fromLatin1(e.content.toHex())},
                                {"method", e.method},
                                {"unicodePath", QString::fromUtf8(e.unicodePath)}});
    runPython(makeScript, {path, formNames[int(form)]}, QJsonDocument(listing).toJson());
}

QByteArray made(const QList<Entry>& entries, Form form)
{
    const QTemporaryDir folder;
    const QString path = folder.filePath("made.zip");
    make(path, entries, form);
    return readFile(path);
}

QList<Entry> asEntries(const QList<QPair<QByteArray, QByteArray>>& files)
{
    QList<Entry> entries;
    for (const auto& file : files)
        entries.append({file.first, file.second});
    return entries;
}

QByteArray damaged(QByteArray bytes, const QByteArray& marker, int occurrence, int offset, char mask)
{
    const int at = find(bytes, marker, occurrence) + offset;
    if (at >= offset && at < bytes.size())
        bytes[at] = char(bytes.at(at) ^ mask);
    return bytes;
}

QByteArray patched(QByteArray bytes, const QByteArray& marker, int offset, const QByteArray& replacement)
{
    const int at = bytes.indexOf(marker);
    return at < 0 ? bytes : bytes.replace(at + offset, replacement.size(), replacement);
}

QByteArray cutShort(const QByteArray& bytes, const QByteArray& marker, int occurrence)
{
    const int at = find(bytes, marker, occurrence);
    return at < 0 ? bytes : bytes.left(at + marker.size() / 2);
}

bool damage(const QString& path, const QByteArray& marker, int occurrence)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray bytes = file.readAll();
    const QByteArray changed = damaged(bytes, marker, occurrence);
    return changed != bytes && file.seek(0) && file.write(changed) == changed.size();
}

bool operator==(const Entry& a, const Entry& b)
{
    return a.name == b.name && a.content == b.content && a.method == b.method;
}

} // namespace zipcheck
