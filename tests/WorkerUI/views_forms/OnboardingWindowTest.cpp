#include "views/onboarding/OnboardingWindow.h"

#include "FormsTestSupport.h"
#include "common/ToneColors.h"
#include "onboarding/APIClientClaimer.h"

#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <iostream>
#include <stdexcept>

using formstest::find;
using Step = OnboardingViewModel::Step;

namespace {

// A whole onboarding window over a real claim against a loopback server and
// the real keyring; apply and onFinished record what the shell would get.
struct OnboardingRig {
    static Settings makeDraft() {
        Settings settings;
        settings.serverURL = QUrl("https://kestrel.example.com");
        settings.workerName = "draft name";
        settings.workerID = QUuid::createUuid();
        settings.pollInterval = 42;
        return settings;
    }

    QPushButton* button(const char* name) { return find<QPushButton>(window, name); }
    QLineEdit* field(const char* name) { return find<QLineEdit>(window, name); }
    QLabel* label(const char* name) { return find<QLabel>(window, name); }
    QWidget* page() { return find<QStackedWidget>(window, "onboarding.steps")->currentWidget(); }
    QString pageName() { return page()->objectName(); }

    void type(const char* name, const QString& text) {
        QLineEdit* edit = field(name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    // Presses a button the operator can see and press.
    void press(const char* name) {
        QPushButton* pushed = button(name);
        ASSERT_TRUE(pushed->isVisible()) << name;
        ASSERT_TRUE(pushed->isEnabled()) << name;
        QTest::mouseClick(pushed, Qt::LeftButton);
    }

    void testConnection() {
        press("onboarding.testConnection");
        ASSERT_TRUE(kwtest::waitUntil([&] { return !viewModel.isTesting(); }));
    }

    // Welcome to the token step with the loopback server's URL.
    void reachTokenStep() {
        press("onboarding.next");
        type("onboarding.serverURL", claims.server.baseURL().toString());
        press("onboarding.next");
        ASSERT_EQ(pageName(), "onboarding.step.token");
    }

    // `appended` is typed into the token field after its successful test.
    void reachDoneStep(const QString& token, const QString& name, const QString& appended = {}) {
        reachTokenStep();
        type("onboarding.token", token);
        testConnection();
        QTest::keyClicks(field("onboarding.token"), appended);
        press("onboarding.next");
        type("onboarding.workerName", name);
        press("onboarding.next");
        ASSERT_EQ(pageName(), "onboarding.step.done");
    }

    formstest::ClaimServer claims;
    QNetworkAccessManager session;
    formstest::ScopedKeychain keychain;
    Settings draft = makeDraft();
    QStringList events;
    QList<Settings> applied;
    QString applyError;
    std::optional<bool> finishedWith;
    OnboardingViewModel viewModel{draft, keychain.store,
                                  ConnectionTester(std::make_shared<APIClientClaimer>(&session)),
                                  [this](Settings settings) -> QCoro::Task<void> {
                                      events << "apply";
                                      if (!applyError.isEmpty()) {
                                          throw std::runtime_error(applyError.toStdString());
                                      }
                                      applied << settings;
                                      co_return;
                                  }};
    OnboardingWindow window{viewModel, [this](bool startPolling) {
                                events << "finished";
                                finishedWith = startPolling;
                            }};
};

} // namespace

TEST(OnboardingWindow, NextIsEnabledOnlyWhereTheStepAllows) {
    OnboardingRig rig;
    rig.window.show();
    EXPECT_EQ(rig.pageName(), "onboarding.step.welcome");
    EXPECT_FALSE(rig.button("onboarding.back")->isVisible());
    EXPECT_FALSE(rig.button("onboarding.startPolling")->isVisible());
    rig.press("onboarding.next");
    ASSERT_EQ(rig.pageName(), "onboarding.step.serverURL");
    EXPECT_TRUE(rig.button("onboarding.back")->isVisible());

    const struct {
        QString text;
        bool valid;
    } cases[] = {
        {"", false},
        {"kestrel.example.com", false},
        {"ftp://kestrel.example.com", false},
        {"https://", false},
        {" https://kestrel.example.com", false},
        {"http://kestrel.local:8000", true},
        {"HTTPS://kestrel.example.com/", true},
    };
    QPushButton* next = rig.button("onboarding.next");
    QLabel* hint = rig.label("onboarding.serverURLHint");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        rig.type("onboarding.serverURL", c.text);
        EXPECT_EQ(rig.viewModel.serverURLString(), c.text);
        EXPECT_EQ(next->isEnabled(), c.valid);
        EXPECT_EQ(hint->isVisible(), !c.valid);
        EXPECT_EQ(hint->text(), "Enter a full URL including https://");
    }
    // Next on a disabled button goes nowhere, not even through the model.
    rig.type("onboarding.serverURL", "https://");
    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(rig.pageName(), "onboarding.step.serverURL");

    rig.type("onboarding.serverURL", rig.claims.server.baseURL().toString());
    rig.press("onboarding.next");
    EXPECT_EQ(rig.pageName(), "onboarding.step.token");
    EXPECT_FALSE(next->isEnabled()); // no successful test yet
    EXPECT_TRUE(rig.claims.server.requests().isEmpty());
}

TEST(OnboardingWindow, TheConnectionTestClaimsForRealAndShowsItsOutcome) {
    OnboardingRig rig;
    rig.window.show();
    rig.reachTokenStep();
    QPushButton* test = rig.button("onboarding.testConnection");
    QProgressBar* progress = find<QProgressBar>(rig.window, "onboarding.testProgress");
    QLabel* result = rig.label("onboarding.testResult");
    QPushButton* next = rig.button("onboarding.next");
    EXPECT_EQ(rig.field("onboarding.token")->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(test->isEnabled()); // nothing typed
    EXPECT_FALSE(result->isVisible());

    const struct {
        QString token;
        QString text;
        Tone tone;
        bool canAdvance;
    } cases[] = {
        {"wrong-token", "Token rejected (401)", Tone::red, false},
        {"accepted-token-4242", "Connection OK", Tone::green, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token.toStdString());
        rig.type("onboarding.token", c.token);
        ASSERT_TRUE(test->isEnabled());
        QTest::mouseClick(test, Qt::LeftButton);
        // The claim is on the wire: the button waits and the indicator turns.
        EXPECT_FALSE(test->isEnabled());
        EXPECT_TRUE(progress->isVisible());
        ASSERT_TRUE(kwtest::waitUntil([&] { return !rig.viewModel.isTesting(); }));
        EXPECT_FALSE(progress->isVisible());
        EXPECT_TRUE(test->isEnabled());
        ASSERT_TRUE(result->isVisible());
        EXPECT_EQ(result->text(), c.text);
        EXPECT_EQ(result->palette().color(QPalette::WindowText),
                  toneColor(c.tone, result->palette()));
        EXPECT_EQ(next->isEnabled(), c.canAdvance);
    }
    const QList<RecordedRequest>& requests = rig.claims.server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].target, "/api/workers/claim-job/");
    EXPECT_EQ(requests[1].header("Authorization"), "Worker accepted-token-4242");

    // The identity step wants a name that is not only spaces.
    rig.press("onboarding.next");
    ASSERT_EQ(rig.pageName(), "onboarding.step.identity");
    EXPECT_EQ(rig.label("onboarding.workerID")->text(), Settings::workerIDText(rig.draft.workerID));
    rig.type("onboarding.workerName", "   ");
    EXPECT_FALSE(next->isEnabled());
    rig.type("onboarding.workerName", " Studio 2 ");
    EXPECT_TRUE(next->isEnabled());

    // Back to the token step keeps the result; arriving again from the URL step does not.
    rig.press("onboarding.back");
    EXPECT_EQ(rig.pageName(), "onboarding.step.token");
    EXPECT_TRUE(result->isVisible());
    EXPECT_TRUE(next->isEnabled());
    rig.press("onboarding.back");
    rig.press("onboarding.next");
    EXPECT_EQ(rig.pageName(), "onboarding.step.token");
    EXPECT_FALSE(result->isVisible());
    EXPECT_FALSE(next->isEnabled());
}

TEST(OnboardingWindow, FinishingStoresAppliesAndHandsTheChoiceToTheShell) {
    const struct {
        const char* button;
        bool startPolling;
    } cases[] = {
        {"onboarding.startPolling", true},
        {"onboarding.openSettings", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        OnboardingRig rig;
        QSignalSpy openSettings(&rig.window, &OnboardingWindow::openSettingsRequested);
        rig.window.show();
        // Edited after its successful test: the edited token is the one stored.
        rig.reachDoneStep("accepted-token-4242", " Studio 2 ", "-edited");
        EXPECT_FALSE(rig.button("onboarding.next")->isVisible());
        EXPECT_FALSE(rig.button("onboarding.back")->isVisible());
        EXPECT_TRUE(rig.button("onboarding.openSettings")->isVisible());

        rig.press(c.button);
        ASSERT_TRUE(kwtest::waitUntil([&] { return rig.finishedWith.has_value(); }));
        EXPECT_EQ(*rig.finishedWith, c.startPolling);
        EXPECT_EQ(rig.events, QStringList({"apply", "finished"}));
        EXPECT_EQ(kwtest::runTask(rig.keychain.store.readToken()),
                  QString("accepted-token-4242-edited"));
        ASSERT_EQ(rig.applied.size(), 1);
        Settings expected = rig.draft;
        expected.serverURL = rig.claims.server.baseURL();
        expected.workerName = " Studio 2 ";
        EXPECT_TRUE(rig.applied[0] == expected);
        EXPECT_FALSE(rig.window.isVisible());
        EXPECT_EQ(openSettings.count(), c.startPolling ? 0 : 1);
    }
}

TEST(OnboardingWindow, AFailedApplyKeepsTheOperatorOnTheLastStep) {
    OnboardingRig rig;
    rig.window.show();
    rig.reachDoneStep("accepted-token-4242", "Studio 2");
    rig.applyError = "preferences are read-only";

    rig.press("onboarding.startPolling");
    QLabel* failure = rig.label("onboarding.finishError");
    ASSERT_TRUE(kwtest::waitUntil([&] { return failure->isVisible(); }));
    EXPECT_EQ(failure->text(), "Failed: preferences are read-only");
    EXPECT_FALSE(rig.finishedWith.has_value());
    EXPECT_TRUE(rig.window.isVisible());
    EXPECT_TRUE(rig.button("onboarding.startPolling")->isEnabled());

    rig.applyError.clear();
    rig.press("onboarding.startPolling");
    ASSERT_TRUE(kwtest::waitUntil([&] { return rig.finishedWith.has_value(); }));
    EXPECT_TRUE(*rig.finishedWith);
    EXPECT_EQ(rig.events, QStringList({"apply", "apply", "finished"}));
}

TEST(OnboardingWindow, EveryStepFitsTheFixedWindow) {
    OnboardingRig rig;
    EXPECT_EQ(rig.window.objectName(), "onboarding");
    EXPECT_EQ(rig.window.windowTitle(), "Welcome to Kestrel Worker");
    EXPECT_NE(rig.window.findChild<QWidget*>("onboarding.window"), nullptr);
    EXPECT_EQ(rig.window.minimumSize(), QSize(560, 420));
    EXPECT_EQ(rig.window.maximumSize(), QSize(560, 420));
    rig.window.show();
    for (const Step step : OnboardingViewModel::allSteps()) {
        rig.window.showStep(step);
        QWidget* page = rig.page();
        SCOPED_TRACE(page->objectName().toStdString());
        const QSize needed = rig.window.layout()->minimumSize();
        const int pageHeight = page->hasHeightForWidth() ? page->heightForWidth(page->width()) : 0;
        std::cout << page->objectName().toStdString() << ": window needs " << needed.width() << "x"
                  << needed.height() << ", page " << page->width() << "x" << page->height()
                  << " wants height " << pageHeight << "\n";
        EXPECT_LE(needed.width(), 560);
        EXPECT_LE(needed.height(), 420);
        EXPECT_LE(page->minimumSizeHint().height(), page->height());
        EXPECT_LE(pageHeight, page->height());
    }
    // A page shown for a picture never lets the operator past the model's step.
    rig.window.showStep(Step::identity);
    EXPECT_FALSE(rig.button("onboarding.next")->isEnabled());
}
