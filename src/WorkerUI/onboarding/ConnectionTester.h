#pragma once

#include "api/ClaimedJob.h"
#include "now/Tone.h"

#include <QCoroTask>
#include <QString>
#include <QUrl>
#include <memory>

// One real claim against a server URL with a token, and what its outcome means
// to the operator. Shared by onboarding's token step and the Account pane.
// A cheap value: copies share the claimer.
class ConnectionTester {
public:
    // What the tester needs of the server side: one claim with the given URL and
    // token, giving the reply or throwing the API client's error.
    class Claiming {
    public:
        virtual ~Claiming() = default;
        virtual QCoro::Task<ClaimedJob> claim(QUrl serverURL, QString token) = 0;
    };

    class Result {
    public:
        enum class Kind { ok, tokenRejected, serverUnreachable, other };

        static Result ok() { return Result(Kind::ok, {}); }
        static Result tokenRejected() { return Result(Kind::tokenRejected, {}); }
        static Result serverUnreachable() { return Result(Kind::serverUnreachable, {}); }
        static Result other(QString text) { return Result(Kind::other, std::move(text)); }

        Kind kind() const { return m_kind; }
        bool isOK() const { return m_kind == Kind::ok; }
        // The failure's description, for `other` only.
        const QString& otherText() const { return m_otherText; }
        // "Connection OK", "Token rejected (401)", "Server unreachable", "Failed: <text>".
        QString text() const;
        // Green for ok, red for every failure.
        Tone tone() const { return isOK() ? Tone::green : Tone::red; }

        bool operator==(const Result&) const = default;

    private:
        Result(Kind kind, QString otherText)
            : m_kind(kind)
            , m_otherText(std::move(otherText)) {}

        Kind m_kind;
        QString m_otherText;
    };

    explicit ConnectionTester(std::shared_ptr<Claiming> claimer);

    // Claims once and classifies: success (a job in the reply or not) is ok, the
    // API client's unauthorized error tokenRejected, its transport error
    // serverUnreachable, anything else other with the error's description.
    // Never throws.
    QCoro::Task<Result> test(QUrl serverURL, QString token) const;

private:
    std::shared_ptr<Claiming> m_claimer;
};
