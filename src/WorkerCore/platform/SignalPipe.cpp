#include "platform/SignalPipe.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_writeEnd = -1;
int g_readEnd = -1;

void onSignal(int signalNumber) {
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_writeEnd, &byte, 1);
}
} // namespace

SignalPipe::SignalPipe(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent) {
    if (g_readEnd < 0) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
            return;
        }
        g_writeEnd = fds[0];
        g_readEnd = fds[1];
    }
    m_notifier = new QSocketNotifier(g_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalPipe::drain);
    for (int number : signalNumbers) {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(number, &action, nullptr);
    }
}

void SignalPipe::drain() {
    unsigned char byte = 0;
    if (::read(g_readEnd, &byte, 1) == 1) {
        Q_EMIT received(int(byte));
    }
}
