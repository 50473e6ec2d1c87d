#include "Firmware.h"

#include <QtGlobal>

namespace calcsim {

using TaviCalc::calcMsg;

namespace {

calcMsg message(calcMsg::msgType type)
{
    calcMsg msg;
    msg.set_type(type);
    return msg;
}

Reply single(const calcMsg& msg)
{
    return {{msg}};
}

Reply success()
{
    return single(message(calcMsg::SUCCESS));
}

Reply failure(calcMsg::errType error)
{
    calcMsg msg = message(calcMsg::FAILED);
    msg.set_error(error);
    return single(msg);
}

QByteArray bytesOf(const std::string& text)
{
    return QByteArray::fromStdString(text);
}

calcMsg fileRecord(const QByteArray& name, int size)
{
    calcMsg msg = message(calcMsg::SEND_FILE_INF);
    msg.mutable_finf()->set_name(name.toStdString());
    msg.mutable_finf()->set_size(size);
    return msg;
}

} // namespace

Reply Firmware::answer(const calcMsg& request, bool decoded)
{
    if (request.type() != calcMsg::FRAME || !decoded)
        upload.reset(); // any other request abandons a file being stored
    if (!decoded)
        return failure(calcMsg::UNSPECIFITED_ERROR);
    switch (request.type()) {
    case calcMsg::GET_DEVICE_INF:
        return deviceInformation();
    case calcMsg::GET_FILES_NUM:
        return fileCount();
    case calcMsg::GET_FILES_INF:
        return fileRecords(false);
    case calcMsg::GET_BACKUP_INFO:
        return fileRecords(true);
    case calcMsg::GET_FILE:
        return fetch(bytesOf(request.finf().name()));
    case calcMsg::SEND_FILE:
        return startUpload(request.finf());
    case calcMsg::FRAME:
        return receivePiece(request.frame());
    case calcMsg::DELETE_FILE:
        return remove(bytesOf(request.finf().name()));
    case calcMsg::CHANGE_NAME:
        return rename(request.devname());
    case calcMsg::CLEAR_FILESYSTEM:
        return clear();
    case calcMsg::REBOOT:
        return reboot();
    case calcMsg::SUCCESS:
        return {}; // an acknowledgement that nothing waits for
    default:
        return failure(calcMsg::UNSPECIFITED_ERROR);
    }
}

Reply Firmware::deviceInformation() const
{
    calcMsg msg = message(calcMsg::SEND_DEVICE_INF);
    TaviCalc::deviceInf* info = msg.mutable_devinf();
    info->set_hv(state.hv.toStdString());
    info->set_fv(state.fv.toStdString());
    info->set_pv(state.pv.toStdString());
    info->set_name(state.name.toStdString());
    info->set_maxchunksize(state.chunkSize);
    return single(msg);
}

Reply Firmware::fileCount() const
{
    calcMsg msg = message(calcMsg::SEND_FILES_NUM);
    msg.set_numberoffiles(state.files.size());
    return single(msg);
}

Reply Firmware::fileRecords(bool forBackup) const
{
    Reply reply;
    for (const auto& file : state.files)
        reply.messages.append(fileRecord(file.first, file.second.size()));
    if (forBackup) {
        reply.messages.append(fileRecord({}, 0)); // the empty name ends the backup list
        reply.backToBack = true;
    }
    return reply;
}

Reply Firmware::fetch(const QByteArray& name) const
{
    const int index = indexOf(name);
    if (index < 0)
        return failure(calcMsg::FILE_NOT_EXIST);
    const QByteArray& content = state.files.at(index).second;
    const int chunk = transferChunk();
    // An empty file still goes as one empty piece, so that no request stays unanswered.
    const int pieces = qMax(1, int((qint64(content.size()) + chunk - 1) / chunk));
    Reply reply;
    for (int frameNum = 0; frameNum < pieces; ++frameNum) {
        const QByteArray piece = content.mid(frameNum * chunk, chunk);
        calcMsg msg = message(calcMsg::FRAME);
        msg.mutable_frame()->set_framenum(frameNum);
        msg.mutable_frame()->set_size(piece.size());
        msg.mutable_frame()->add_data(piece.constData(), size_t(piece.size()));
        reply.messages.append(msg);
    }
    return reply;
}

Reply Firmware::startUpload(const TaviCalc::fileInf& file)
{
    if (file.size() < 0)
        return failure(calcMsg::DATASIZE_INVALID);
    const QByteArray name = bytesOf(file.name());
    if (file.size() == 0)
        store(name, {});
    else
        upload = Upload {name, file.size(), {}};
    return success();
}

Reply Firmware::receivePiece(const TaviCalc::calcFrame& piece)
{
    if (!upload)
        return failure(calcMsg::UNSPECIFITED_ERROR);
    const calcMsg::errType error = pieceError(piece);
    if (error != calcMsg::NONE_ERROR) {
        upload.reset();
        return failure(error);
    }
    const int chunk = transferChunk();
    const qint64 offset = qint64(piece.framenum()) * chunk;
    if (upload->content.size() < offset + piece.size())
        upload->content.resize(int(offset + piece.size()));
    upload->content.replace(int(offset), piece.size(), piece.data(0).data(), piece.size());
    if (piece.size() < chunk) { // the short piece is the last one
        store(upload->name, upload->content);
        upload.reset();
    }
    return success();
}

Reply Firmware::remove(const QByteArray& name)
{
    const int index = indexOf(name);
    if (index < 0)
        return failure(calcMsg::FILE_NOT_EXIST);
    state.files.removeAt(index);
    return success();
}

Reply Firmware::rename(const std::string& name)
{
    state.name = QString::fromStdString(name);
    return success();
}

Reply Firmware::clear()
{
    state.files.clear();
    return success();
}

Reply Firmware::reboot() const
{
    Reply reply = success();
    reply.deafMs = state.rebootMs;
    return reply;
}

calcMsg::errType Firmware::pieceError(const TaviCalc::calcFrame& piece) const
{
    const int chunk = transferChunk();
    const qint64 offset = qint64(piece.framenum()) * chunk;
    if (piece.framenum() < 0 || offset > upload->size)
        return calcMsg::INVALID_FRAME_NUMBER;
    const bool sizeFits = piece.size() >= 0 && piece.size() <= chunk && offset + piece.size() <= upload->size;
    if (!sizeFits || piece.data_size() < 1 || piece.data(0).size() < size_t(piece.size()))
        return calcMsg::DATASIZE_INVALID;
    return calcMsg::NONE_ERROR;
}

int Firmware::transferChunk() const
{
    return state.chunkSize > 0 ? state.chunkSize : CalculatorState::defaultChunkSize;
}

int Firmware::indexOf(const QByteArray& name) const
{
    for (int index = 0; index < state.files.size(); ++index) {
        if (state.files.at(index).first == name)
            return index;
    }
    return -1;
}

// Names that differ only in letter case are one file, as the session takes them: the file
// is replaced where it stood and takes the new name.
void Firmware::store(const QByteArray& name, const QByteArray& content)
{
    const QString wanted = QString::fromUtf8(name).toUpper();
    for (auto& file : state.files) {
        if (QString::fromUtf8(file.first).toUpper() == wanted) {
            file = {name, content};
            return;
        }
    }
    state.files.append({name, content});
}

} // namespace calcsim
