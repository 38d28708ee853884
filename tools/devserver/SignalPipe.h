#pragma once

#include <QObject>
#include <initializer_list>

class QSocketNotifier;

// Turns POSIX signals into a Qt signal on the event loop: the handler only
// writes the signal number into a socket pair, the notifier reads it back.
// One instance per process.
class SignalPipe : public QObject {
    Q_OBJECT

public:
    SignalPipe(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalPipe() override;

signals:
    void signalReceived(int signalNumber);

private:
    static void onSignal(int signalNumber);
    void drain();

    static int s_writeEnd;
    int m_ends[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
