#include "RaiseChannel.h"

#include <QDBusMessage>

namespace {
const QString path = QStringLiteral("/com/talmark/KestrelWorker");
const QString interfaceName = QStringLiteral("com.talmark.KestrelWorker");
const QString member = QStringLiteral("raise");
} // namespace

RaiseChannel::RaiseChannel(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {}

bool RaiseChannel::pingBus() {
    // The bus handles one connection's messages in order: once it answers, all
    // that was sent before has been dealt with.
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    return m_bus.call(ping, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
}

bool RaiseChannel::post() {
    if (!m_bus.isConnected()) {
        return false;
    }
    if (!m_bus.send(QDBusMessage::createSignal(path, interfaceName, member))) {
        return false;
    }
    return pingBus(); // the sender may exit right after
}

bool RaiseChannel::observe() {
    if (m_observing) {
        return true;
    }
    // QtDBus offers only the string-based form for bus signals.
    m_observing = m_bus.isConnected() && m_bus.connect(QString(), path, interfaceName, member, this,
                                                       SLOT(onRaiseSignal()));
    // The match rule is in force once the bus has answered.
    return m_observing && pingBus();
}

void RaiseChannel::stopObserving() {
    if (m_observing) {
        m_bus.disconnect(QString(), path, interfaceName, member, this, SLOT(onRaiseSignal()));
        m_observing = false;
    }
}

void RaiseChannel::onRaiseSignal() {
    emit raiseRequested();
}
