#pragma once

#include "config/TokenStoring.h"

// Keeps the worker token as one secret in the user's keyring (the Secret
// Service, through QtKeychain): the service name and the key "worker-token"
// identify it, its value is the token's UTF-8 bytes.
class KeychainTokenStore : public TokenStoring {
public:
    explicit KeychainTokenStore(
        QString service = QStringLiteral("com.talmark.KestrelWorker.workerToken"));

    const QString& service() const { return m_service; }
    const QString& account() const { return m_account; }

    QCoro::Task<std::optional<QString>> readToken() override;
    QCoro::Task<void> saveToken(QString token) override;
    QCoro::Task<void> deleteToken() override;

private:
    QString m_service;
    QString m_account;
};
