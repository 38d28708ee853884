#pragma once

#include "RunTask.h"
#include "config/KeychainError.h"
#include "config/KeychainTokenStore.h"
#include "config/TokenStoring.h"
#include "engine/EngineControlling.h"
#include "onboarding/ConnectionTester.h"

#include <QCoroSignal>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUuid>
#include <ostream>
#include <utility>
#include <vector>

// Readable failure messages for the Qt values the tests compare.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QUrl& url, std::ostream* out) {
    *out << url.toString().toStdString();
}

namespace vmtest {

// Waits for the timer's next timeout. qCoro(timer, &QTimer::timeout) would bind
// QTimer's private-signal tag to a null reference, which UBSan reports.
struct NextTimeout {
    QTimer* timer;
    QMetaObject::Connection connection;

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting) {
        connection = QObject::connect(timer, &QTimer::timeout, timer, [this, waiting] {
            QObject::disconnect(connection);
            waiting.resume();
        });
    }
    void await_resume() const noexcept {}
};

// An engine whose status the test sets and publishes at will, so the Now tab can
// be shown every status (the real coordinator reaches `error` only through failed
// claims) and so the engine's status can differ from what the model last saw.
class FakeEngine : public EngineControlling {
public:
    EngineStatus current = EngineStatus::stopped();
    QList<ActiveJob> jobs;
    QStringList calls;

    EngineStatus status() const override { return current; }
    void start() override { calls << "start"; }
    void pause() override { calls << "pause"; }
    void resume() override { calls << "resume"; }
    void stop() override { calls << "stop"; }
    void cancelJob(const QString& jobID) override { calls << "cancelJob:" + jobID; }
    QMetaObject::Connection
    statusUpdates(QObject* context, std::function<void(const EngineStatus&)> receiver) override {
        receiver(current);
        m_statusReceivers.emplace_back(context, std::move(receiver));
        return {};
    }
    QMetaObject::Connection
    activeJobUpdates(QObject* context,
                     std::function<void(const QList<ActiveJob>&)> receiver) override {
        receiver(jobs);
        m_jobReceivers.emplace_back(context, std::move(receiver));
        return {};
    }
    void applySettings(const Settings&) override { calls << "applySettings"; }
    QCoro::Task<void> recoverStaleJobs() override { co_return; }

    void publish(const EngineStatus& status) {
        current = status;
        for (auto& [context, receiver] : m_statusReceivers) {
            if (context) {
                receiver(status);
            }
        }
    }
    void publishJobs(const QList<ActiveJob>& list) {
        jobs = list;
        for (auto& [context, receiver] : m_jobReceivers) {
            if (context) {
                receiver(list);
            }
        }
    }

private:
    std::vector<std::pair<QPointer<QObject>, std::function<void(const EngineStatus&)>>>
        m_statusReceivers;
    std::vector<std::pair<QPointer<QObject>, std::function<void(const QList<ActiveJob>&)>>>
        m_jobReceivers;
};

// A claimer whose outcome and timing the test decides: `outcome` gives the reply
// or throws; with `gate` set, every claim waits for the gate's timeout first.
class FakeClaimer : public ConnectionTester::Claiming {
public:
    std::function<ClaimedJob()> outcome = [] { return ClaimedJob{}; };
    QTimer* gate = nullptr;
    QList<std::pair<QUrl, QString>> calls;

    QCoro::Task<ClaimedJob> claim(QUrl serverURL, QString token) override {
        calls.append({serverURL, token});
        if (gate) {
            co_await NextTimeout{gate, {}};
        }
        co_return outcome();
    }
};

// A keyring that refuses every write: the one failure a real keyring will not
// produce on cue. Reads give `stored`.
class RefusingTokenStore : public TokenStoring {
public:
    std::optional<QString> stored;
    int saveAttempts = 0;

    QCoro::Task<std::optional<QString>> readToken() override { co_return stored; }
    QCoro::Task<void> saveToken(QString) override {
        ++saveAttempts;
        throw KeychainError::unexpectedStatus(7, QStringLiteral("refused"));
        co_return;
    }
    QCoro::Task<void> deleteToken() override { co_return; }
};

// The real keyring under a service name of this test's own, emptied afterwards.
struct ScopedKeychain {
    KeychainTokenStore store{QStringLiteral("com.talmark.KestrelWorker.test.viewmodels.") +
                             QUuid::createUuid().toString(QUuid::WithoutBraces)};
    ~ScopedKeychain() {
        try {
            kwtest::runTask(store.deleteToken());
        } catch (...) {
        }
    }
};

} // namespace vmtest
