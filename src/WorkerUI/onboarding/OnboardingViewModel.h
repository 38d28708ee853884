#pragma once

#include "config/Settings.h"
#include "onboarding/ConnectionTester.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

class TokenStoring;

// The first-run walk-through: welcome, server URL, token (with a live test),
// identity, done. Finishing stores the token and applies the edited settings.
// Main thread only.
class OnboardingViewModel : public QObject {
    Q_OBJECT

public:
    enum class Step { welcome, serverURL, token, identity, done };

    // Stores, makes current and hands the settings to the engine (the shell's
    // commitSettings). May throw; finish() reports that as a false result.
    using Apply = std::function<QCoro::Task<void>(Settings)>;

    // The fields start from `draft` (the URL as its encoded text); the token
    // starts empty, the stored one is not read. `tokenStore` must outlive the model.
    OnboardingViewModel(Settings draft, TokenStoring& tokenStore, ConnectionTester tester,
                        Apply apply, QObject* parent = nullptr);

    // Every step, in order.
    static QList<Step> allSteps();

    Step step() const { return m_step; }
    const QString& serverURLString() const { return m_serverURLString; }
    void setServerURLString(const QString& text);
    const QString& token() const { return m_token; }
    // Editing the token keeps an earlier test result.
    void setToken(const QString& token);
    const QString& workerName() const { return m_workerName; }
    void setWorkerName(const QString& name);
    // Shown, not editable.
    const QUuid& workerID() const { return m_workerID; }
    QString workerIDText() const;
    const std::optional<ConnectionTester::Result>& testResult() const { return m_testResult; }
    bool isTesting() const { return m_isTesting; }
    const Settings& draft() const { return m_draft; }

    // The URL text as typed parses strictly, is http or https and has a host.
    bool isServerURLValid() const;
    // Whether Next is enabled: welcome and done always; serverURL when the URL
    // is valid; token when the last test was ok; identity when the name,
    // trimmed of spaces and tabs, is not empty.
    bool canAdvance() const;
    // Whether "Test connection" is enabled: a token is typed and no test runs.
    bool canTestConnection() const { return !m_token.isEmpty() && !m_isTesting; }
    // Whether the footer shows "Back" (serverURL, token and identity).
    bool showsBack() const;

    // One step on when canAdvance(); arriving at the token step clears the test result.
    void next();
    // One step back (keeps the test result); nothing on welcome.
    void back();

    // Tests the typed URL and token (untrimmed). An unparsable URL gives
    // other("invalid URL") at once; otherwise isTesting is true until the
    // result is set. A call while a test runs does nothing. Never throws.
    QCoro::Task<void> testConnection();

    // Saves the typed token (a failure to store it is ignored), then applies the
    // draft with the typed URL, worker name (untrimmed) and worker ID, and waits
    // for that. Gives true when the settings were applied; false when the URL is
    // not valid (nothing applied) or apply threw (finishFailed tells why).
    // Never throws.
    QCoro::Task<bool> finish();

signals:
    void stepChanged();
    void serverURLStringChanged();
    void tokenChanged();
    void workerNameChanged();
    void testResultChanged();
    void isTestingChanged();
    // apply failed during finish(); `description` is the error's text.
    void finishFailed(const QString& description);

private:
    void setStep(Step step);
    void setTestResult(std::optional<ConnectionTester::Result> result);
    void setTesting(bool testing);

    Settings m_draft;
    TokenStoring& m_tokenStore;
    ConnectionTester m_tester;
    Apply m_apply;
    Step m_step = Step::welcome;
    QString m_serverURLString;
    QString m_token;
    QString m_workerName;
    QUuid m_workerID;
    std::optional<ConnectionTester::Result> m_testResult;
    bool m_isTesting = false;
};
