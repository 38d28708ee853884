#pragma once

#include "async/WorkerError.h"

#include <QString>

// A keychain operation failed. `status` is QtKeychain's error code; the
// platform's own text is kept alongside it.
class KeychainError : public WorkerError {
public:
    enum class Case { unexpectedStatus };

    static KeychainError unexpectedStatus(int status, QString platformText) {
        return KeychainError(status, std::move(platformText));
    }

    Case errorCase() const { return Case::unexpectedStatus; }
    int status() const { return m_status; }
    const QString& platformText() const { return m_platformText; }

    // True when the failure says there is no Secret Service on the session bus
    // (or no session bus at all), rather than a refusal by a running keyring.
    bool isSecretServiceUnavailable() const;

    QString description() const override;

private:
    KeychainError(int status, QString platformText)
        : m_status(status)
        , m_platformText(std::move(platformText)) {}

    int m_status;
    QString m_platformText;
};
