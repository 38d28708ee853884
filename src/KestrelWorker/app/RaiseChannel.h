#pragma once

#include <QDBusConnection>
#include <QObject>

// The cross-process "bring the running agent to the front" message: a signal on
// the user's session bus, com.talmark.KestrelWorker.raise, with no arguments.
class RaiseChannel : public QObject {
    Q_OBJECT

public:
    explicit RaiseChannel(QDBusConnection bus = QDBusConnection::sessionBus(),
                          QObject* parent = nullptr);

    // Sends the message and waits until the bus has taken it, so the sender may
    // exit at once. False when there is no bus.
    bool post();

    // Starts delivering raiseRequested for every message on the bus (ours too).
    bool observe();
    void stopObserving();
    bool isObserving() const { return m_observing; }

signals:
    void raiseRequested();

private slots:
    void onRaiseSignal();

private:
    bool pingBus();

    QDBusConnection m_bus;
    bool m_observing = false;
};
