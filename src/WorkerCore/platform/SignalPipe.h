#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <initializer_list>

// Turns POSIX signals into a Qt signal on the event loop: the handler only
// writes the signal number to a socket pair; all work happens in `received`.
class SignalPipe : public QObject {
    Q_OBJECT

public:
    explicit SignalPipe(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);

Q_SIGNALS:
    void received(int signalNumber);

private:
    void drain();
    QSocketNotifier* m_notifier = nullptr;
};
