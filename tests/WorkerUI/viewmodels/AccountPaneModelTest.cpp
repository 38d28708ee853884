#include "settings/AccountPaneModel.h"

#include "RawHttpServer.h"
#include "RunTask.h"
#include "ViewModelFakes.h"
#include "onboarding/APIClientClaimer.h"
#include "settings/SettingsBinding.h"

#include <QNetworkAccessManager>
#include <QTcpSocket>
#include <gtest/gtest.h>

using Result = ConnectionTester::Result;

namespace {

const QString kBullets = QString(8, QChar(0x2022)) + QLatin1Char(' ');

class AccountPaneTest : public ::testing::Test {
protected:
    AccountPaneTest() {
        server.setHandler([this](const RecordedRequest& request, QTcpSocket* socket) {
            if (request.header("Authorization") == "Worker " + acceptedToken) {
                RawHttpServer::respond(socket, 200, R"({"claimed":false})");
            } else {
                RawHttpServer::respond(socket, 401, "{}");
            }
        });
    }

    Settings settings() const {
        Settings s;
        s.serverURL = QUrl("https://saved.example.com");
        s.workerID = QUuid::createUuid();
        return s;
    }

    QByteArray acceptedToken = "stored-token-1234";
    RawHttpServer server;
    QNetworkAccessManager session;
    vmtest::ScopedKeychain keychain;
    SettingsBinding binding{settings(), [](Settings) -> QCoro::Task<void> { co_return; }};
    AccountPaneModel model{binding, keychain.store,
                           ConnectionTester(std::make_shared<APIClientClaimer>(&session))};
};

} // namespace

TEST(AccountPaneMask, MaskedForms) {
    const struct {
        QString token;
        QString masked;
    } cases[] = {
        {"", ""},
        {"abc", kBullets + "abc"},
        {"abcd", kBullets + "abcd"},
        {"worker-token-9f3e", kBullets + "9f3e"},
        // Whole characters: a flag or a skin-toned emoji is never cut in two.
        {QString::fromUtf8("tok-\U0001F1EB\U0001F1F7x\U0001F44D\U0001F3FDyz"),
         kBullets + QString::fromUtf8("x\U0001F44D\U0001F3FDyz")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token.toStdString());
        EXPECT_EQ(AccountPaneModel::masked(c.token), c.masked);
    }
}

TEST_F(AccountPaneTest, TheTokenRowShowsTheStoredTokenMasked) {
    kwtest::runTask(model.loadMaskedToken());
    EXPECT_TRUE(model.maskedToken().isEmpty());
    EXPECT_EQ(model.tokenRowText(), "(none)");

    kwtest::runTask(keychain.store.saveToken("stored-token-1234"));
    kwtest::runTask(model.loadMaskedToken());
    EXPECT_EQ(model.maskedToken(), kBullets + "1234");
    EXPECT_EQ(model.tokenRowText(), kBullets + "1234");
}

TEST_F(AccountPaneTest, ReplacingTheTokenWritesTheKeyringAtOnce) {
    kwtest::runTask(keychain.store.saveToken("old-token-0000"));
    model.setNewToken("left over");
    model.beginReplace();
    EXPECT_TRUE(model.isReplaceSheetShown());
    EXPECT_TRUE(model.newToken().isEmpty());
    EXPECT_FALSE(model.canSaveNewToken());
    model.setNewToken("new-token-9876");
    EXPECT_TRUE(model.canSaveNewToken());

    kwtest::runTask(model.closeReplaceSheet(model.newToken()));
    EXPECT_FALSE(model.isReplaceSheetShown());
    EXPECT_EQ(kwtest::runTask(keychain.store.readToken()), QString("new-token-9876"));
    EXPECT_EQ(model.maskedToken(), kBullets + "9876");
    EXPECT_EQ(binding.draft().serverURL, QUrl("https://saved.example.com")); // not via the draft

    // Cancel, and Save with nothing typed, leave the keyring alone.
    for (const std::optional<QString>& closing :
         {std::optional<QString>(), std::optional<QString>("")}) {
        model.beginReplace();
        kwtest::runTask(model.closeReplaceSheet(closing));
        EXPECT_FALSE(model.isReplaceSheetShown());
        EXPECT_EQ(kwtest::runTask(keychain.store.readToken()), QString("new-token-9876"));
    }
}

TEST_F(AccountPaneTest, ARefusedReplacementIsNotReported) {
    vmtest::RefusingTokenStore refusing;
    refusing.stored = "still-the-old-1111";
    AccountPaneModel pane(binding, refusing,
                          ConnectionTester(std::make_shared<vmtest::FakeClaimer>()));
    pane.beginReplace();
    kwtest::runTask(pane.closeReplaceSheet(QString("rejected-2222")));
    EXPECT_EQ(refusing.saveAttempts, 1);
    EXPECT_FALSE(pane.isReplaceSheetShown());
    EXPECT_EQ(pane.maskedToken(), kBullets + "1111");
}

TEST_F(AccountPaneTest, TestNowUsesTheStoredTokenAndTheTypedURL) {
    kwtest::runTask(keychain.store.saveToken("stored-token-1234"));
    // The General tab's text, not saved; the sheet open with another token.
    binding.setServerURLString(server.baseURL().toString());
    model.beginReplace();
    model.setNewToken("sheet-token");

    kwtest::runTask(model.testNow());
    EXPECT_EQ(model.testResult(), Result::ok());
    EXPECT_FALSE(model.isTesting());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().header("Authorization"), "Worker stored-token-1234");

    acceptedToken = "something else";
    kwtest::runTask(model.testNow());
    EXPECT_EQ(model.testResult(), Result::tokenRejected());
}

TEST_F(AccountPaneTest, WithNoStoredTokenTheTestSendsAnEmptyOne) {
    binding.setServerURLString(server.baseURL().toString());
    kwtest::runTask(model.testNow());
    EXPECT_EQ(model.testResult(), Result::tokenRejected());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().header("Authorization").trimmed(), "Worker");
}

TEST_F(AccountPaneTest, AnUnparsableURLEndsTheTestAndKeepsTheLastResult) {
    kwtest::runTask(keychain.store.saveToken("stored-token-1234"));
    binding.setServerURLString(server.baseURL().toString());
    kwtest::runTask(model.testNow());
    ASSERT_EQ(model.testResult(), Result::ok());

    binding.setServerURLString("not a url");
    int testingChanges = 0;
    QObject::connect(&model, &AccountPaneModel::isTestingChanged, [&] { ++testingChanges; });
    kwtest::runTask(model.testNow());
    EXPECT_EQ(model.testResult(), Result::ok());
    EXPECT_FALSE(model.isTesting());
    EXPECT_EQ(testingChanges, 2); // on, then off at once
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(AccountPaneTest, OneTestAtATime) {
    auto claimer = std::make_shared<vmtest::FakeClaimer>();
    QTimer gate;
    gate.setSingleShot(true);
    claimer->gate = &gate;
    AccountPaneModel pane(binding, keychain.store, ConnectionTester(claimer));
    QCoro::Task<void> first = pane.testNow();
    ASSERT_TRUE(kwtest::waitUntil([&] { return claimer->calls.size() == 1; }));
    EXPECT_TRUE(pane.isTesting());
    QCoro::Task<void> second = pane.testNow();
    gate.start(0);
    kwtest::runTask(std::move(first));
    kwtest::runTask(std::move(second));
    EXPECT_EQ(claimer->calls.size(), 1);
    EXPECT_FALSE(pane.isTesting());
    EXPECT_EQ(pane.testResult(), Result::ok());
}
