#include "link/CTaviCalc.h"

using TaviCalc::calcMsg;

// A list read that ends short of its count, or on an answer it cannot use, reports a text:
// a list read in part is not the calculator's list, and the worker keeps the one it had.
// A request that cannot be written, RX and an answer that does not decode report their own
// failures.

// The count the calculator announces; none when its answer gives no count to go by.
std::optional<int> CTaviCalc::readFileCount()
{
    if (!sendMessage(calcMsg::GET_FILES_NUM))
        return std::nullopt;
    calcMsg answer;
    if (!receiveUsable(answer))
        return std::nullopt;
    if (answer.type() != calcMsg::SEND_FILES_NUM || answer.numberoffiles() < 0) {
        reportCalcFailure(answer);
        return std::nullopt;
    }
    return answer.numberoffiles();
}

int CTaviCalc::getNumberOfFiles()
{
    return readFileCount().value_or(0);
}

QList<FileEntry> CTaviCalc::getFilesInfo()
{
    QList<FileEntry> files;
    const std::optional<int> count = readFileCount();
    if (!count || *count == 0 || !sendMessage(calcMsg::GET_FILES_INF))
        return files;
    calcMsg answer;
    // The calculator waits for an acknowledgement after each record but the one it sends
    // last. The list ends at the first turn without a record, so a calculator that falls
    // silent costs one wait, not one per file it claimed.
    for (int turn = 1; turn <= *count; ++turn) {
        if (!receiveUsable(answer))
            break;
        if (answer.type() != calcMsg::SEND_FILE_INF) {
            reportCalcFailure(answer);
            break;
        }
        files.append({QString::fromStdString(answer.finf().name()), answer.finf().size()});
        if (turn < *count)
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
