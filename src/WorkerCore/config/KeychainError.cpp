#include "config/KeychainError.h"

#include <qt6keychain/keychain.h>

namespace {

QString statusName(int status) {
    switch (status) {
    case QKeychain::NoError:
        return QStringLiteral("no error");
    case QKeychain::EntryNotFound:
        return QStringLiteral("entry not found");
    case QKeychain::CouldNotDeleteEntry:
        return QStringLiteral("could not delete entry");
    case QKeychain::AccessDeniedByUser:
        return QStringLiteral("access denied by user");
    case QKeychain::AccessDenied:
        return QStringLiteral("access denied");
    case QKeychain::NoBackendAvailable:
        return QStringLiteral("no backend available");
    case QKeychain::NotImplemented:
        return QStringLiteral("not implemented");
    case QKeychain::OtherError:
        return QStringLiteral("other error");
    default:
        return QStringLiteral("unknown error");
    }
}

} // namespace

bool KeychainError::isSecretServiceUnavailable() const {
    if (m_status == QKeychain::NoBackendAvailable) {
        return true;
    }
    if (m_status != QKeychain::OtherError) {
        return false;
    }
    // QtKeychain reports a missing Secret Service as a generic error whose text
    // comes from D-Bus: no bus to connect to ("Could not connect: ..."), no way
    // to find one, or nobody owning org.freedesktop.secrets.
    static const char* const markers[] = {
        "org.freedesktop.secrets", "org.freedesktop.DBus.Error", "D-Bus", "DBus", "session bus",
        "ServiceUnknown",          "Could not connect",
    };
    for (const char* marker : markers) {
        if (m_platformText.contains(QLatin1String(marker), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

QString KeychainError::description() const {
    const QString detail =
        QStringLiteral("keychain status %1, %2").arg(m_status).arg(statusName(m_status));
    const QString text =
        m_platformText.isEmpty() ? detail : QStringLiteral("%1: %2").arg(detail, m_platformText);
    if (isSecretServiceUnavailable()) {
        return QStringLiteral("No Secret Service (keyring such as GNOME Keyring or KWallet) is "
                              "available on the D-Bus session bus, so the worker token cannot be "
                              "read or stored (%1)")
            .arg(text);
    }
    return QStringLiteral("Keychain operation failed (%1)").arg(text);
}
