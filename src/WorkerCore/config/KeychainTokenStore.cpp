#include "config/KeychainTokenStore.h"

#include "config/KeychainError.h"

#include <QCoroSignal>
#include <QStringDecoder>
#include <memory>
#include <qt6keychain/keychain.h>

namespace {

// Starts `job` and waits for its end. The start is queued so that the wait is
// connected before the job can possibly report.
QCoro::Task<void> runJob(QKeychain::Job& job) {
    QMetaObject::invokeMethod(&job, &QKeychain::Job::start, Qt::QueuedConnection);
    co_await qCoro(&job, &QKeychain::Job::finished);
}

template <typename JobType>
std::unique_ptr<JobType> makeJob(const QString& service, const QString& account) {
    auto job = std::make_unique<JobType>(service);
    job->setAutoDelete(false);
    job->setKey(account);
    return job;
}

[[noreturn]] void throwFailure(const QKeychain::Job& job) {
    throw KeychainError::unexpectedStatus(static_cast<int>(job.error()), job.errorString());
}

} // namespace

KeychainTokenStore::KeychainTokenStore(QString service)
    : m_service(std::move(service))
    , m_account(QStringLiteral("worker-token")) {}

QCoro::Task<std::optional<QString>> KeychainTokenStore::readToken() {
    auto job = makeJob<QKeychain::ReadPasswordJob>(m_service, m_account);
    co_await runJob(*job);
    if (job->error() == QKeychain::EntryNotFound) {
        co_return std::nullopt;
    }
    if (job->error() != QKeychain::NoError) {
        throwFailure(*job);
    }
    const QByteArray bytes = job->binaryData();
    // Keep a leading byte-order mark as part of the text: the token is stored verbatim.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        co_return std::nullopt;
    }
    co_return text;
}

QCoro::Task<void> KeychainTokenStore::saveToken(QString token) {
    auto job = makeJob<QKeychain::WritePasswordJob>(m_service, m_account);
    job->setBinaryData(token.toUtf8());
    co_await runJob(*job);
    if (job->error() != QKeychain::NoError) {
        throwFailure(*job);
    }
}

QCoro::Task<void> KeychainTokenStore::deleteToken() {
    auto job = makeJob<QKeychain::DeletePasswordJob>(m_service, m_account);
    co_await runJob(*job);
    if (job->error() != QKeychain::NoError && job->error() != QKeychain::EntryNotFound) {
        throwFailure(*job);
    }
}
