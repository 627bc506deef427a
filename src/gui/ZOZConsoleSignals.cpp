#include "ZOZConsoleSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ZOZ {

namespace {

int pipeFds[2] = {-1, -1};

void writeSignalToPipe(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Non-blocking: when the pipe is full a signal is already pending anyway.
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = savedErrno;
}

void installHandler(int signalNumber, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

} // namespace

ConsoleSignals::ConsoleSignals(QObject *parent)
    : QObject(parent)
{
    if (pipeFds[0] >= 0 || ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ConsoleSignals::readPipe);
    installHandler(SIGINT, writeSignalToPipe);
    installHandler(SIGTERM, writeSignalToPipe);
}

ConsoleSignals::~ConsoleSignals()
{
    if (!m_notifier)
        return;
    installHandler(SIGINT, SIG_DFL);
    installHandler(SIGTERM, SIG_DFL);
    delete m_notifier;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void ConsoleSignals::readPipe()
{
    unsigned char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1)
        emit received(byte);
}

} // namespace ZOZ
