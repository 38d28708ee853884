#pragma once

#include <QCoroTask>
#include <QString>
#include <optional>

// Reads, stores and removes the worker token. Failures are `KeychainError`s.
class TokenStoring {
public:
    virtual ~TokenStoring() = default;

    // Absent when there is no token (or what is stored is not text).
    virtual QCoro::Task<std::optional<QString>> readToken() = 0;
    // Creates or replaces the token, stored as given (no trimming).
    virtual QCoro::Task<void> saveToken(QString token) = 0;
    // A missing token is not an error.
    virtual QCoro::Task<void> deleteToken() = 0;
};
