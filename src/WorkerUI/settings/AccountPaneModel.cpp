#include "settings/AccountPaneModel.h"

#include "config/TokenStoring.h"
#include "settings/ServerURLText.h"
#include "settings/SettingsBinding.h"

#include <QPointer>
#include <QTextBoundaryFinder>

namespace {

// A failure or an absent token reads as the empty text.
QCoro::Task<QString> readStoredToken(TokenStoring& store) {
    try {
        const std::optional<QString> token = co_await store.readToken();
        co_return token.value_or(QString());
    } catch (...) {
        co_return QString();
    }
}

// The last `count` user-perceived characters, so a multi-unit character is never cut.
QString lastCharacters(const QString& text, int count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.toEnd();
    for (int i = 0; i < count; ++i) {
        if (finder.toPreviousBoundary() <= 0) {
            return text;
        }
    }
    return text.mid(finder.position());
}

} // namespace

AccountPaneModel::AccountPaneModel(SettingsBinding& binding, TokenStoring& tokenStore,
                                   ConnectionTester tester, QObject* parent)
    : QObject(parent)
    , m_binding(binding)
    , m_tokenStore(tokenStore)
    , m_tester(std::move(tester)) {}

QString AccountPaneModel::tokenRowText() const {
    return m_maskedToken.isEmpty() ? QStringLiteral("(none)") : m_maskedToken;
}

void AccountPaneModel::setNewToken(const QString& token) {
    if (token != m_newToken) {
        m_newToken = token;
        emit newTokenChanged();
    }
}

void AccountPaneModel::beginReplace() {
    setNewToken(QString());
    setReplaceSheet(true);
}

QCoro::Task<void> AccountPaneModel::closeReplaceSheet(std::optional<QString> token) {
    QPointer<AccountPaneModel> self(this);
    if (token && !token->isEmpty()) {
        try {
            co_await m_tokenStore.saveToken(*token);
        } catch (...) {
            // Not reported: the masked form shows whatever the keyring now holds.
        }
        if (!self) {
            co_return;
        }
        co_await loadMaskedToken();
        if (!self) {
            co_return;
        }
    }
    setReplaceSheet(false);
}

QCoro::Task<void> AccountPaneModel::loadMaskedToken() {
    QPointer<AccountPaneModel> self(this);
    const quint64 generation = ++m_loadGeneration;
    const QString token = co_await readStoredToken(m_tokenStore);
    if (!self || generation != m_loadGeneration) {
        co_return; // gone, or a later reload has taken over
    }
    const QString shown = masked(token);
    if (shown != m_maskedToken) {
        m_maskedToken = shown;
        emit maskedTokenChanged();
    }
}

QCoro::Task<void> AccountPaneModel::testNow() {
    if (m_testing) {
        co_return;
    }
    QPointer<AccountPaneModel> self(this);
    setTesting(true);
    const QString token = co_await readStoredToken(m_tokenStore);
    if (!self) {
        co_return;
    }
    const std::optional<QUrl> url = ServerURLText::parse(m_binding.serverURLString());
    if (!url) {
        setTesting(false);
        co_return;
    }
    const ConnectionTester tester = m_tester;
    const ConnectionTester::Result result = co_await tester.test(*url, token);
    if (!self) {
        co_return;
    }
    if (result != m_testResult) {
        m_testResult = result;
        emit testResultChanged();
    }
    setTesting(false);
}

QString AccountPaneModel::masked(const QString& token) {
    if (token.isEmpty()) {
        return {};
    }
    return QString(8, QChar(0x2022)) + QLatin1Char(' ') + lastCharacters(token, 4);
}

void AccountPaneModel::setTesting(bool testing) {
    if (testing != m_testing) {
        m_testing = testing;
        emit isTestingChanged();
    }
}

void AccountPaneModel::setReplaceSheet(bool shown) {
    if (shown != m_replaceSheet) {
        m_replaceSheet = shown;
        emit replaceSheetChanged();
    }
}
