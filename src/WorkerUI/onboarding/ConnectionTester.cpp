#include "onboarding/ConnectionTester.h"

#include "api/APIError.h"

QString ConnectionTester::Result::text() const {
    switch (m_kind) {
    case Kind::ok:
        return QStringLiteral("Connection OK");
    case Kind::tokenRejected:
        return QStringLiteral("Token rejected (401)");
    case Kind::serverUnreachable:
        return QStringLiteral("Server unreachable");
    case Kind::other:
        return QStringLiteral("Failed: ") + m_otherText;
    }
    return {};
}

ConnectionTester::ConnectionTester(std::shared_ptr<Claiming> claimer)
    : m_claimer(std::move(claimer)) {}

QCoro::Task<ConnectionTester::Result> ConnectionTester::test(QUrl serverURL, QString token) const {
    // Held here so the claimer outlives the claim even if this tester does not.
    const std::shared_ptr<Claiming> claimer = m_claimer;
    try {
        co_await claimer->claim(std::move(serverURL), std::move(token));
        co_return Result::ok();
    } catch (const APIError& error) {
        switch (error.kind()) {
        case APIError::Kind::unauthorized:
            co_return Result::tokenRejected();
        case APIError::Kind::transport:
            co_return Result::serverUnreachable();
        default:
            co_return Result::other(error.description());
        }
    } catch (...) {
        co_return Result::other(describeCurrentException());
    }
}
