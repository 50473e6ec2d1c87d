#include "link/CTaviCalc.h"

#include <QBitArray>

using TaviCalc::calcMsg;

namespace {

// A fetched file put together from its pieces, each placed by its own number. A piece that
// would reach outside the file is refused, and the file is whole only when every byte came.
// The buffer grows with the pieces, so a size the calculator merely claims costs nothing.
class PieceAssembly
{
public:
    PieceAssembly(int fileSize, int chunkSize)
        : fileSize(fileSize), chunkSize(chunkSize)
    {
    }

    int pieceCount() const { return int((qint64(fileSize) + chunkSize - 1) / chunkSize); }

    // Copies the piece in, or names the fault that keeps it out.
    TaviCalc::calcMsg_errType place(const TaviCalc::calcFrame& frame)
    {
        const qint64 offset = qint64(frame.framenum()) * chunkSize;
        if (frame.framenum() < 0 || offset > fileSize)
            return calcMsg::INVALID_FRAME_NUMBER;
        const int size = frame.size();
        if (size < 0 || offset + size > fileSize || frame.data_size() < 1 || frame.data(0).size() < size_t(size))
            return calcMsg::DATASIZE_INVALID;
        const int end = int(offset) + size;
        if (end > content.size()) {
            content.resize(end);
            filled.resize(end);
        }
        std::copy_n(frame.data(0).data(), size, content.data() + offset);
        filled.fill(true, int(offset), end);
        return calcMsg::NONE_ERROR;
    }

    // Compared whole rather than counted bit by bit: one pass over the bytes of the bit array.
    bool isWhole() const { return content.size() == fileSize && filled == QBitArray(fileSize, true); }
    QByteArray file() const { return content; }

private:
    const int fileSize;
    const int chunkSize;
    QByteArray content;
    QBitArray filled;
};

} // namespace

std::optional<QByteArray> CTaviCalc::getData(TaviCalc::fileInf fInf)
{
    // No piece could fill a file of no bytes, nor one of a negative size.
    if (fInf.size() <= 0 || !sendFileRequest(calcMsg::GET_FILE, fInf))
        return std::nullopt;
    PieceAssembly assembly(fInf.size(), maxChunkSize);
    const int pieces = assembly.pieceCount();
    calcMsg answer;
    for (int k = 1; k <= pieces; ++k) {
        if (!receiveUsable(answer))
            return std::nullopt;
        if (answer.type() != calcMsg::FRAME) {
            reportCalcFailure(answer);
            return std::nullopt;
        }
        TaviCalc::calcMsg_errType fault = assembly.place(answer.frame());
        // A piece shorter than a chunk is the calculator's last: it waits for no acknowledgement,
        // and the file is shorter than listed.
        if (fault == calcMsg::NONE_ERROR && k < pieces && answer.frame().size() < maxChunkSize)
            fault = calcMsg::DATASIZE_INVALID;
        if (fault != calcMsg::NONE_ERROR) {
            reportFailure(fault);
            return std::nullopt;
        }
        if (k < pieces)
            sendType(calcMsg::SUCCESS);
    }
    if (!assembly.isWhole()) {
        reportFailure(calcMsg::DATASIZE_INVALID);
        return std::nullopt;
    }
    return assembly.file();
}

bool CTaviCalc::sendFile(TaviCalc::fileInf fInf, const QByteArray& data)
{
    if (!sendFileRequest(calcMsg::SEND_FILE, fInf) || !receiveSuccess())
        return false;
    // One message carries every piece in turn, so that its buffers are allocated once.
    calcMsg piece;
    piece.set_type(calcMsg::FRAME);
    // The last piece is always shorter than a chunk, so content of a whole number of
    // chunks ends with an empty piece.
    int number = 0;
    for (qint64 offset = 0; !data.isEmpty() && offset <= data.size(); offset += maxChunkSize) {
        const int size = int(qMin<qint64>(maxChunkSize, data.size() - offset));
        if (!sendPiece(piece, number++, data.constData() + offset, size))
            return false;
    }
    return true;
}

// Sends one piece and reads its answer; only a FAILED answer stops the transfer.
bool CTaviCalc::sendPiece(calcMsg& piece, int number, const char* bytes, int size)
{
    TaviCalc::calcFrame* frame = piece.mutable_frame();
    frame->Clear();
    frame->set_framenum(number);
    frame->set_size(size);
    frame->add_data(bytes, size_t(size));
    send(piece);
    calcMsg answer;
    if (!receiveUsable(answer))
        return false;
    if (answer.type() == calcMsg::FAILED) {
        reportCalcFailure(answer);
        return false;
    }
    return true;
}

bool CTaviCalc::delFile(TaviCalc::fileInf fInf)
{
    return sendFileRequest(calcMsg::DELETE_FILE, fInf) && receiveSuccess();
}

// Reads an answer that must be SUCCESS; anything else is the calculator's failure.
bool CTaviCalc::receiveSuccess()
{
    calcMsg answer;
    if (!receiveUsable(answer))
        return false;
    if (answer.type() != calcMsg::SUCCESS) {
        reportCalcFailure(answer);
        return false;
    }
    return true;
}
