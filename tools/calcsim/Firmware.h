#pragma once

#include "protocol/serializeData.pb.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace calcsim {

// The calculator's files, name to content, in the order they were stored.
using FileList = QList<QPair<QByteArray, QByteArray>>;

// What the calculator holds and reports about itself.
struct CalculatorState
{
    static constexpr int defaultChunkSize = 512;
    static constexpr int defaultRebootMs = 300;

    QString name = QStringLiteral("TaviCalc");
    QString hv = QStringLiteral("H1.2");
    QString fv = QStringLiteral("F3.4");
    QString pv = QStringLiteral("P5.6");
    int chunkSize = defaultChunkSize; // as reported; may be 0 or negative in tests
    int rebootMs = defaultRebootMs;   // how long the line is ignored after REBOOT
    FileList files;
};

// The calculator's answer to one request.
struct Reply
{
    QList<TaviCalc::calcMsg> messages;
    // All messages in one write, without waiting for acknowledgements (the backup list).
    // Otherwise the computer acknowledges each but the last before the next is sent.
    bool backToBack = false;
    // After the reply the line is ignored for this long (a reboot).
    int deafMs = 0;
};

// The dialogues of the calculator's firmware, without the line: a request in, a reply out.
class Firmware
{
public:
    CalculatorState state;

    // The answer to a request; a request that did not decode is refused.
    Reply answer(const TaviCalc::calcMsg& request, bool decoded);
    // Stores a file, replacing one of the same name, letter case aside, where it stands.
    void store(const QByteArray& name, const QByteArray& content);

private:
    struct Upload
    {
        QByteArray name;
        qint64 size = 0;
        QByteArray content;
    };

    Reply deviceInformation() const;
    Reply fileCount() const;
    Reply fileRecords(bool forBackup) const;
    Reply fetch(const QByteArray& name) const;
    Reply startUpload(const TaviCalc::fileInf& file);
    Reply receivePiece(const TaviCalc::calcFrame& piece);
    // Why a piece of the file being stored cannot be taken, or NONE_ERROR.
    TaviCalc::calcMsg_errType pieceError(const TaviCalc::calcFrame& piece) const;
    Reply remove(const QByteArray& name);
    Reply rename(const std::string& name);
    Reply clear();
    Reply reboot() const;

    // A calculator that misreports its chunk size still moves content in default-sized pieces.
    int transferChunk() const;
    int indexOf(const QByteArray& name) const;

    std::optional<Upload> upload;
};

} // namespace calcsim
