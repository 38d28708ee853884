#include "onboarding/OnboardingViewModel.h"

#include "RawHttpServer.h"
#include "RunTask.h"
#include "ViewModelFakes.h"
#include "api/APIError.h"
#include "onboarding/APIClientClaimer.h"

#include <QNetworkAccessManager>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

using Step = OnboardingViewModel::Step;
using Result = ConnectionTester::Result;

namespace {

Settings draftSettings() {
    Settings settings;
    settings.serverURL = QUrl("https://kestrel.example.com");
    settings.workerName = "Edit Bay 3";
    settings.workerID = QUuid("{6f1c2a52-8a4e-4d51-9c39-0d6a4f1b2c3d}");
    settings.pollInterval = 7;
    settings.maxConcurrency = 3;
    settings.scratchDirectory = "/var/tmp/kestrel";
    settings.autoStartPollingOnLaunch = false;
    settings.launchAtLogin = true;
    settings.hideDockIcon = true;
    return settings;
}

class OnboardingTest : public ::testing::Test {
protected:
    std::unique_ptr<OnboardingViewModel> makeModel(TokenStoring& store) {
        return std::make_unique<OnboardingViewModel>(
            draftSettings(), store, ConnectionTester(claimer),
            [this](Settings settings) -> QCoro::Task<void> {
                applied.append(settings);
                if (applyFails) {
                    throw std::runtime_error("preferences not writable");
                }
                co_return;
            });
    }
    std::unique_ptr<OnboardingViewModel> makeModel() { return makeModel(keychain.store); }

    // Walks to the token step and passes its test.
    void reachIdentity(OnboardingViewModel& model) {
        model.next();
        model.next();
        ASSERT_EQ(model.step(), Step::token);
        model.setToken("tok");
        kwtest::runTask(model.testConnection());
        model.next();
        ASSERT_EQ(model.step(), Step::identity);
    }

    vmtest::ScopedKeychain keychain;
    std::shared_ptr<vmtest::FakeClaimer> claimer = std::make_shared<vmtest::FakeClaimer>();
    QList<Settings> applied;
    bool applyFails = false;
};

} // namespace

TEST_F(OnboardingTest, StartsAtWelcomeWithTheDraftsTextsAndNoToken) {
    auto model = makeModel();
    EXPECT_EQ(model->step(), Step::welcome);
    EXPECT_EQ(model->serverURLString(), "https://kestrel.example.com");
    EXPECT_EQ(model->workerName(), "Edit Bay 3");
    EXPECT_EQ(model->workerIDText(), "6F1C2A52-8A4E-4D51-9C39-0D6A4F1B2C3D");
    EXPECT_TRUE(model->token().isEmpty());
    EXPECT_FALSE(model->testResult().has_value());
    EXPECT_EQ(
        OnboardingViewModel::allSteps(),
        (QList<Step>{Step::welcome, Step::serverURL, Step::token, Step::identity, Step::done}));
}

TEST_F(OnboardingTest, TheURLStepNeedsAFullHttpURL) {
    auto model = makeModel();
    model->next();
    ASSERT_EQ(model->step(), Step::serverURL);
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"", false},
        {"kestrel.example.com", false},
        {"ftp://kestrel.example.com", false},
        {"https://", false},
        {" https://kestrel.example.com", false},
        {"https://kestrel.example.com ", false},
        {"https://kes trel.example.com", false},
        {"mailto:ops@example.com", false},
        {"http://kestrel.local", true},
        {"HTTPS://Kestrel.Example.com:8443/base", true},
        {"http://127.0.0.1:8080", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        model->setServerURLString(c.text);
        EXPECT_EQ(model->isServerURLValid(), c.valid);
        EXPECT_EQ(model->canAdvance(), c.valid);
    }
    model->setServerURLString("ftp://x");
    model->next();
    EXPECT_EQ(model->step(), Step::serverURL);
}

TEST_F(OnboardingTest, NextAndBackWalkTheStepsAndGuardTheTokenTest) {
    auto model = makeModel();
    EXPECT_FALSE(model->showsBack());
    model->back(); // nothing before welcome
    EXPECT_EQ(model->step(), Step::welcome);
    model->next();
    EXPECT_TRUE(model->showsBack());
    model->next();
    ASSERT_EQ(model->step(), Step::token);
    EXPECT_FALSE(model->canAdvance());
    model->next(); // no successful test yet
    EXPECT_EQ(model->step(), Step::token);

    model->setToken("tok");
    kwtest::runTask(model->testConnection());
    ASSERT_EQ(model->testResult(), Result::ok());
    // Editing the token keeps the result.
    model->setToken("tok-edited");
    EXPECT_TRUE(model->canAdvance());
    model->next();
    ASSERT_EQ(model->step(), Step::identity);

    // Back to the token step keeps the result, and Next stays enabled.
    model->back();
    EXPECT_EQ(model->step(), Step::token);
    EXPECT_TRUE(model->canAdvance());
    // Back to the URL step and forward again needs a fresh test.
    model->back();
    EXPECT_EQ(model->testResult(), Result::ok());
    model->next();
    EXPECT_EQ(model->step(), Step::token);
    EXPECT_FALSE(model->testResult().has_value());
    EXPECT_FALSE(model->canAdvance());

    // A failed test keeps Next disabled.
    claimer->outcome = []() -> ClaimedJob { throw APIError::unauthorized(); };
    kwtest::runTask(model->testConnection());
    EXPECT_EQ(model->testResult(), Result::tokenRejected());
    EXPECT_FALSE(model->canAdvance());
}

TEST_F(OnboardingTest, TheIdentityStepNeedsANameBesidesSpacesAndTabs) {
    auto model = makeModel();
    reachIdentity(*model);
    const struct {
        const char* name;
        bool ok;
    } cases[] = {
        {"", false}, {"   ", false}, {" \t ", false}, {"\n", true}, {"  Bay 4  ", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model->setWorkerName(c.name);
        EXPECT_EQ(model->canAdvance(), c.ok);
    }
    model->setWorkerName("  Bay 4  ");
    model->next();
    EXPECT_EQ(model->step(), Step::done);
    EXPECT_FALSE(model->showsBack());
    model->next(); // nothing after done
    EXPECT_EQ(model->step(), Step::done);
    model->back();
    EXPECT_EQ(model->step(), Step::identity);
}

TEST_F(OnboardingTest, TestConnectionPassesTheTypedValuesAndRunsOneAtATime) {
    QTimer gate;
    gate.setSingleShot(true);
    claimer->gate = &gate;
    auto model = makeModel();
    model->setServerURLString("http://127.0.0.1:9/base");
    model->setToken(" tok with spaces ");
    EXPECT_TRUE(model->canTestConnection());

    QCoro::Task<void> running = model->testConnection();
    EXPECT_TRUE(model->isTesting());
    EXPECT_FALSE(model->canTestConnection());
    QCoro::Task<void> ignored = model->testConnection();
    gate.start(0);
    kwtest::runTask(std::move(running));
    kwtest::runTask(std::move(ignored));

    EXPECT_FALSE(model->isTesting());
    EXPECT_EQ(model->testResult(), Result::ok());
    ASSERT_EQ(claimer->calls.size(), 1);
    EXPECT_EQ(claimer->calls.first().first, QUrl("http://127.0.0.1:9/base"));
    EXPECT_EQ(claimer->calls.first().second, " tok with spaces ");
}

TEST_F(OnboardingTest, AnUnparsableURLFailsTheTestWithoutAClaim) {
    auto model = makeModel();
    model->setServerURLString("not a url");
    model->setToken("tok");
    int testingChanges = 0;
    QObject::connect(model.get(), &OnboardingViewModel::isTestingChanged,
                     [&] { ++testingChanges; });
    kwtest::runTask(model->testConnection());
    EXPECT_EQ(model->testResult(), Result::other("invalid URL"));
    EXPECT_EQ(model->testResult()->text(), "Failed: invalid URL");
    EXPECT_EQ(testingChanges, 0);
    EXPECT_TRUE(claimer->calls.isEmpty());
}

TEST_F(OnboardingTest, FinishStoresTheTokenAndAppliesTheEditedDraft) {
    auto model = makeModel();
    reachIdentity(*model);
    model->setToken("edited-after-test");
    model->setWorkerName("  Bay 4  ");
    model->next();

    EXPECT_TRUE(kwtest::runTask(model->finish()));
    EXPECT_EQ(kwtest::runTask(keychain.store.readToken()), QString("edited-after-test"));
    ASSERT_EQ(applied.size(), 1);
    Settings expected = draftSettings();
    expected.workerName = "  Bay 4  ";
    EXPECT_EQ(applied.first(), expected);
}

TEST_F(OnboardingTest, FinishAppliesTheTypedURL) {
    auto model = makeModel();
    model->setServerURLString("http://10.0.0.5:8000/kestrel");
    model->setToken("t");
    EXPECT_TRUE(kwtest::runTask(model->finish()));
    ASSERT_EQ(applied.size(), 1);
    EXPECT_EQ(applied.first().serverURL, QUrl("http://10.0.0.5:8000/kestrel"));
}

TEST_F(OnboardingTest, FinishFailures) {
    // The keyring refuses the token: the settings are applied all the same.
    vmtest::RefusingTokenStore refusing;
    auto model = makeModel(refusing);
    model->setToken("t");
    EXPECT_TRUE(kwtest::runTask(model->finish()));
    EXPECT_EQ(refusing.saveAttempts, 1);
    EXPECT_EQ(applied.size(), 1);

    // An invalid URL applies nothing (the token is stored first).
    auto invalid = makeModel();
    invalid->setServerURLString("not a url");
    invalid->setToken("stored-anyway");
    EXPECT_FALSE(kwtest::runTask(invalid->finish()));
    EXPECT_EQ(applied.size(), 1);
    EXPECT_EQ(kwtest::runTask(keychain.store.readToken()), QString("stored-anyway"));

    // apply itself fails: false, and the reason is told.
    applyFails = true;
    auto failing = makeModel();
    QStringList reasons;
    QObject::connect(failing.get(), &OnboardingViewModel::finishFailed,
                     [&](const QString& reason) { reasons << reason; });
    failing->setToken("t");
    EXPECT_FALSE(kwtest::runTask(failing->finish()));
    EXPECT_EQ(reasons, QStringList{"preferences not writable"});
}

// The token step against a real server through the production claimer.
TEST_F(OnboardingTest, TheTokenStepOverARealServer) {
    RawHttpServer server;
    server.setHandler([](const RecordedRequest& request, QTcpSocket* socket) {
        if (request.header("Authorization") == "Worker good") {
            RawHttpServer::respond(socket, 200, R"({"claimed":false})");
        } else {
            RawHttpServer::respond(socket, 401, R"({"detail":"invalid token"})");
        }
    });
    QNetworkAccessManager session;
    OnboardingViewModel model(draftSettings(), keychain.store,
                              ConnectionTester(std::make_shared<APIClientClaimer>(&session)),
                              [](Settings) -> QCoro::Task<void> { co_return; });
    model.setServerURLString(server.baseURL().toString());
    model.next();
    model.next();
    ASSERT_EQ(model.step(), Step::token);

    model.setToken("bad");
    kwtest::runTask(model.testConnection());
    EXPECT_EQ(model.testResult()->text(), "Token rejected (401)");
    EXPECT_FALSE(model.canAdvance());

    model.setToken("good");
    kwtest::runTask(model.testConnection());
    EXPECT_EQ(model.testResult()->text(), "Connection OK");
    EXPECT_TRUE(model.canAdvance());
    EXPECT_EQ(server.requests().size(), 2);
}

TEST_F(OnboardingTest, ClosingTheWindowDuringATestIsSafe) {
    QTimer gate;
    gate.setSingleShot(true);
    claimer->gate = &gate;
    auto model = makeModel();
    model->setToken("tok");
    QCoro::Task<void> running = model->testConnection();
    ASSERT_TRUE(model->isTesting());
    model.reset(); // the test's outcome then has nowhere to go
    gate.start(0);
    kwtest::runTask(std::move(running));
    EXPECT_EQ(claimer->calls.size(), 1);
}
