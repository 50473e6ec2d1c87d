#include "link/CTaviCalc.h"

using TaviCalc::calcMsg;

// The reads of the file list emit no text of their own: the request that cannot be written
// and RX report what goes wrong.

int CTaviCalc::getNumberOfFiles()
{
    if (!sendMessage(calcMsg::GET_FILES_NUM))
        return 0;
    calcMsg answer;
    if (receive(answer) == Received::Nothing || answer.type() != calcMsg::SEND_FILES_NUM)
        return 0;
    return answer.numberoffiles();
}

QList<FileEntry> CTaviCalc::getFilesInfo()
{
    QList<FileEntry> files;
    const int count = getNumberOfFiles();
    if (count == 0 || !sendMessage(calcMsg::GET_FILES_INF))
        return files;
    calcMsg answer;
    // Every turn counts, whatever it brought: the calculator waits for an acknowledgement
    // after each record but the one it sends last. A turn without an answer ends the list,
    // so a calculator that falls silent costs one wait, not one per file it claimed.
    for (int turn = 1; turn <= count; ++turn) {
        if (receive(answer) == Received::Nothing)
            break;
        if (answer.type() != calcMsg::SEND_FILE_INF)
            continue;
        files.append({QString::fromStdString(answer.finf().name()), answer.finf().size()});
        if (turn < count)
            sendType(calcMsg::SUCCESS);
    }
    return files;
}

// A name the calculator did not take is reported like every other refusal, so that the
// rename job does not call it done.
bool CTaviCalc::setDeviceName(QString name)
{
    calcMsg request;
    request.set_type(calcMsg::CHANGE_NAME);
    request.set_devname(name.toUtf8().toStdString());
    if (!sendReported(request) || !receiveSuccess())
        return false;
    Name = name;
    return true;
}
