#pragma once

#include "onboarding/ConnectionTester.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <optional>

class SettingsBinding;
class TokenStoring;

// The Account tab's state: the stored token in masked form, the replace-token
// sheet, and a connection test with the stored token against the server URL
// typed on the General tab (saved or not). The token goes to the keyring at
// once, never through the draft. Built with the Settings window and discarded
// with it; `binding` and `tokenStore` must outlive it. Main thread only.
class AccountPaneModel : public QObject {
    Q_OBJECT

public:
    AccountPaneModel(SettingsBinding& binding, TokenStoring& tokenStore, ConnectionTester tester,
                     QObject* parent = nullptr);

    // Empty when no token is stored (or it cannot be read).
    const QString& maskedToken() const { return m_maskedToken; }
    // The Token row: maskedToken(), or "(none)" when it is empty.
    QString tokenRowText() const;
    const std::optional<ConnectionTester::Result>& testResult() const { return m_testResult; }
    // While true the test button shows a progress indicator and is disabled.
    bool isTesting() const { return m_testing; }

    // The replace-token sheet.
    bool isReplaceSheetShown() const { return m_replaceSheet; }
    const QString& newToken() const { return m_newToken; }
    void setNewToken(const QString& token);
    // The sheet's Save is enabled once a character is typed.
    bool canSaveNewToken() const { return !m_newToken.isEmpty(); }
    // "Replace token…": clears the sheet's field and shows the sheet.
    void beginReplace();
    // The sheet's buttons: Save passes the typed token, Cancel none. A non-empty
    // token is stored (a failure is ignored) and the masked form reloaded; the
    // sheet is then hidden. The test result is kept. Never throws.
    QCoro::Task<void> closeReplaceSheet(std::optional<QString> token);

    // Reads the stored token and rebuilds maskedToken(); run whenever the pane
    // is shown. Never throws.
    QCoro::Task<void> loadMaskedToken();
    // Tests the stored token (empty when absent or unreadable; the sheet's field
    // is never used) against the binding's URL text. An unparsable text ends the
    // test at once and keeps the previous result. A call while a test runs does
    // nothing. Never throws.
    QCoro::Task<void> testNow();

    // Eight bullets, a space and the token's last four characters (the whole
    // token when shorter); empty for an empty token.
    static QString masked(const QString& token);

signals:
    void maskedTokenChanged();
    void testResultChanged();
    void isTestingChanged();
    void replaceSheetChanged();
    void newTokenChanged();

private:
    void setTesting(bool testing);
    void setReplaceSheet(bool shown);

    SettingsBinding& m_binding;
    TokenStoring& m_tokenStore;
    ConnectionTester m_tester;
    QString m_maskedToken;
    std::optional<ConnectionTester::Result> m_testResult;
    bool m_testing = false;
    bool m_replaceSheet = false;
    QString m_newToken;
    // Orders concurrent reloads: only the latest one's read is shown.
    quint64 m_loadGeneration = 0;
};
