#include "PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace calcsim {

namespace {

constexpr int readBlockSize = 4096;

bool makeRaw(int descriptor)
{
    termios settings {};
    if (tcgetattr(descriptor, &settings) != 0)
        return false;
    cfmakeraw(&settings);
    return tcsetattr(descriptor, TCSANOW, &settings) == 0;
}

} // namespace

PseudoTerminal::PseudoTerminal()
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        fail("posix_openpt");
        return;
    }
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        fail("unlockpt");
        return;
    }
    path = QString::fromLocal8Bit(ptsname(master));
    slave = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0 || !makeRaw(slave) || !makeRaw(master))
        fail("raw mode");
}

PseudoTerminal::~PseudoTerminal()
{
    closeMaster();
}

bool PseudoTerminal::fail(const char* what)
{
    error = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(errno)));
    closeMaster();
    return false;
}

void PseudoTerminal::closeMaster()
{
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
    master = -1;
    slave = -1;
}

QByteArray PseudoTerminal::readAvailable()
{
    QByteArray bytes(readBlockSize, '\0');
    const ssize_t count = ::read(master, bytes.data(), size_t(bytes.size()));
    bytes.resize(count > 0 ? int(count) : 0);
    return bytes;
}

bool PseudoTerminal::writeAll(const QByteArray& bytes, int wakeDescriptor)
{
    int written = 0;
    while (written < bytes.size() && isOpen()) {
        const ssize_t count = ::write(master, bytes.constData() + written, size_t(bytes.size() - written));
        if (count > 0) {
            written += int(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        // The computer has not read enough yet: wait for room, or for the simulator to stop.
        pollfd waits[] = {{master, POLLOUT, 0}, {wakeDescriptor, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 && errno != EINTR)
            return false;
        if (waits[1].revents & POLLIN)
            return false;
    }
    return written == bytes.size();
}

} // namespace calcsim
