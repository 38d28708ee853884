#include "onboarding/OnboardingViewModel.h"

#include "async/WorkerError.h"
#include "config/TokenStoring.h"
#include "settings/ServerURLText.h"

#include <QPointer>

namespace {

// Spaces and tabs only: a name of line breaks is not blank by this rule.
bool isBlankName(const QString& name) {
    for (const QChar c : name) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t')) {
            return false;
        }
    }
    return true;
}

} // namespace

OnboardingViewModel::OnboardingViewModel(Settings draft, TokenStoring& tokenStore,
                                         ConnectionTester tester, Apply apply, QObject* parent)
    : QObject(parent)
    , m_draft(std::move(draft))
    , m_tokenStore(tokenStore)
    , m_tester(std::move(tester))
    , m_apply(std::move(apply))
    , m_serverURLString(m_draft.serverURL.toString(QUrl::FullyEncoded))
    , m_workerName(m_draft.workerName)
    , m_workerID(m_draft.workerID) {}

QList<OnboardingViewModel::Step> OnboardingViewModel::allSteps() {
    return {Step::welcome, Step::serverURL, Step::token, Step::identity, Step::done};
}

void OnboardingViewModel::setServerURLString(const QString& text) {
    if (text != m_serverURLString) {
        m_serverURLString = text;
        emit serverURLStringChanged();
    }
}

void OnboardingViewModel::setToken(const QString& token) {
    if (token != m_token) {
        m_token = token;
        emit tokenChanged();
    }
}

void OnboardingViewModel::setWorkerName(const QString& name) {
    if (name != m_workerName) {
        m_workerName = name;
        emit workerNameChanged();
    }
}

QString OnboardingViewModel::workerIDText() const {
    return Settings::workerIDText(m_workerID);
}

bool OnboardingViewModel::isServerURLValid() const {
    return ServerURLText::isValid(m_serverURLString);
}

bool OnboardingViewModel::canAdvance() const {
    switch (m_step) {
    case Step::welcome:
    case Step::done:
        return true;
    case Step::serverURL:
        return isServerURLValid();
    case Step::token:
        return m_testResult && m_testResult->isOK();
    case Step::identity:
        return !isBlankName(m_workerName);
    }
    return false;
}

bool OnboardingViewModel::showsBack() const {
    return m_step == Step::serverURL || m_step == Step::token || m_step == Step::identity;
}

void OnboardingViewModel::next() {
    if (!canAdvance()) {
        return;
    }
    switch (m_step) {
    case Step::welcome:
        setStep(Step::serverURL);
        break;
    case Step::serverURL:
        // Every arrival from the URL step needs a fresh successful test.
        setTestResult(std::nullopt);
        setStep(Step::token);
        break;
    case Step::token:
        setStep(Step::identity);
        break;
    case Step::identity:
        setStep(Step::done);
        break;
    case Step::done:
        break;
    }
}

void OnboardingViewModel::back() {
    switch (m_step) {
    case Step::welcome:
        break;
    case Step::serverURL:
        setStep(Step::welcome);
        break;
    case Step::token:
        setStep(Step::serverURL);
        break;
    case Step::identity:
        setStep(Step::token);
        break;
    case Step::done:
        setStep(Step::identity);
        break;
    }
}

QCoro::Task<void> OnboardingViewModel::testConnection() {
    if (m_isTesting) {
        co_return;
    }
    const std::optional<QUrl> url = ServerURLText::parse(m_serverURLString);
    if (!url) {
        setTestResult(ConnectionTester::Result::other(QStringLiteral("invalid URL")));
        co_return;
    }
    setTesting(true);
    QPointer<OnboardingViewModel> self(this);
    const ConnectionTester tester = m_tester;
    const ConnectionTester::Result result = co_await tester.test(*url, m_token);
    if (!self) {
        co_return; // the window went away while the test ran
    }
    setTestResult(result);
    setTesting(false);
}

QCoro::Task<bool> OnboardingViewModel::finish() {
    QPointer<OnboardingViewModel> self(this);
    const QString token = m_token;
    try {
        co_await m_tokenStore.saveToken(token);
    } catch (...) {
        // Not reported: the settings are applied all the same.
    }
    if (!self) {
        co_return false;
    }
    // The same rule that let the operator past the URL step.
    if (!isServerURLValid()) {
        co_return false;
    }
    Settings settings = m_draft;
    settings.serverURL = *ServerURLText::parse(m_serverURLString);
    settings.workerName = m_workerName;
    settings.workerID = m_workerID;
    const Apply apply = m_apply;
    try {
        co_await apply(settings);
    } catch (...) {
        const QString description = describeCurrentException();
        if (self) {
            emit self->finishFailed(description);
        }
        co_return false;
    }
    co_return true;
}

void OnboardingViewModel::setStep(Step step) {
    if (step != m_step) {
        m_step = step;
        emit stepChanged();
    }
}

void OnboardingViewModel::setTestResult(std::optional<ConnectionTester::Result> result) {
    if (result != m_testResult) {
        m_testResult = std::move(result);
        emit testResultChanged();
    }
}

void OnboardingViewModel::setTesting(bool testing) {
    if (testing != m_isTesting) {
        m_isTesting = testing;
        emit isTestingChanged();
    }
}
