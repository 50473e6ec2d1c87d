#pragma once

#include <QByteArray>
#include <QString>

namespace calcsim {

// A pseudo-terminal pair in raw mode: the simulator speaks on the master side, the computer
// opens the slave as its serial port. Both sides are raw before anyone opens the slave, so
// nothing written is echoed or has its line ends translated.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isOpen() const { return master >= 0; }
    QString errorString() const { return error; }
    // The slave's device path, for example /dev/pts/3.
    QString slavePath() const { return path; }
    int masterDescriptor() const { return master; }
    // Bytes the computer has written, or an empty array when none are waiting.
    QByteArray readAvailable();
    // Writes everything unless the master closes or wakeDescriptor becomes readable first.
    bool writeAll(const QByteArray& bytes, int wakeDescriptor);
    // The computer's side sees a hang-up: every read ends at once and brings nothing.
    void closeMaster();

private:
    bool fail(const char* what);

    int master = -1;
    // Held open by the simulator so that the master never reads an error while the computer
    // has its port closed between two dialogues.
    int slave = -1;
    QString path;
    QString error;
};

} // namespace calcsim
