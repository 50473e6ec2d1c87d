// Run inside tavicalc-sim --plug: finds the calculators as the application does and prints,
// for each, its port, its name and its number of files.

#include "Dialogue.h"

#include <QCoreApplication>
#include <QSerialPortInfo>
#include <QTextStream>

using TaviCalc::calcMsg;

namespace {

calcMsg answerTo(ComputerPort& computer, TaviCalc::calcMsg_msgType type)
{
    computer.send(request(type));
    calcMsg answer;
    const QList<QByteArray> payloads = computer.payloadsUntilQuiet();
    if (!payloads.isEmpty())
        answer.ParseFromArray(payloads.first().constData(), payloads.first().size());
    return answer;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        ComputerPort computer(info);
        const calcMsg device = answerTo(computer, calcMsg::GET_DEVICE_INF);
        const calcMsg count = answerTo(computer, calcMsg::GET_FILES_NUM);
        out << info.portName() << ' ' << QString::fromStdString(device.devinf().name()) << ' '
            << count.numberoffiles() << '\n';
    }
    return EXIT_SUCCESS;
}
