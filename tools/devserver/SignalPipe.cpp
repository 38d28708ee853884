#include "SignalPipe.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

int SignalPipe::s_writeEnd = -1;

SignalPipe::SignalPipe(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_ends) != 0) {
        throw std::runtime_error("socketpair failed");
    }
    s_writeEnd = m_ends[0];
    m_notifier = new QSocketNotifier(m_ends[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalPipe::drain);
    for (int number : signalNumbers) {
        struct sigaction action = {};
        action.sa_handler = &SignalPipe::onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(number, &action, nullptr);
    }
}

SignalPipe::~SignalPipe() {
    s_writeEnd = -1;
    ::close(m_ends[0]);
    ::close(m_ends[1]);
}

void SignalPipe::onSignal(int signalNumber) {
    const int saved = errno;
    const char byte = char(signalNumber);
    if (s_writeEnd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(s_writeEnd, &byte, 1);
    }
    errno = saved;
}

void SignalPipe::drain() {
    char byte = 0;
    if (::read(m_ends[1], &byte, 1) == 1) {
        emit signalReceived(int(byte));
    }
}
