#include "settings/SettingsBinding.h"

#include "RunTask.h"
#include "ViewModelFakes.h"

#include <QCoroSignal>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

Settings savedSettings() {
    Settings settings;
    settings.serverURL = QUrl("https://kestrel.example.com");
    settings.workerName = "Bay 1";
    settings.workerID = QUuid::createUuid();
    settings.pollInterval = 10;
    settings.maxConcurrency = 2;
    return settings;
}

struct Recorder {
    QList<Settings> applied;
    bool fail = false;
    QTimer* gate = nullptr;

    SettingsBinding::Apply apply() {
        return [this](Settings settings) -> QCoro::Task<void> {
            if (gate) {
                co_await vmtest::NextTimeout{gate, {}};
            }
            if (fail) {
                throw std::runtime_error("cannot write preferences");
            }
            applied.append(settings);
        };
    }
};

} // namespace

TEST(SettingsBinding, StartsFromTheGivenSettings) {
    Recorder recorder;
    SettingsBinding binding(savedSettings(), recorder.apply());
    EXPECT_EQ(binding.serverURLString(), "https://kestrel.example.com");
    EXPECT_EQ(binding.draft().workerName, "Bay 1");
    EXPECT_TRUE(binding.isServerURLValid());
}

TEST(SettingsBinding, URLValidation) {
    Recorder recorder;
    SettingsBinding binding(savedSettings(), recorder.apply());
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"", false},
        {" https://kestrel.example.com ", false},
        {"kestrel.example.com", false},
        {"ftp://kestrel.example.com", false},
        {"https://", false},
        {"http://kestrel.local:8000", true},
        {"https://kestrel.example.com/base/", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        binding.setServerURLString(c.text);
        EXPECT_EQ(binding.isServerURLValid(), c.valid);
    }
}

TEST(SettingsBinding, SaveAppliesTheWholeDraftWithTheTypedURL) {
    Recorder recorder;
    const Settings saved = savedSettings();
    SettingsBinding binding(saved, recorder.apply());
    // Edits from both tabs; an empty name is not validated.
    binding.setWorkerName("");
    binding.setMaxConcurrency(6);
    binding.setPollInterval(45);
    binding.setLaunchAtLogin(true);
    binding.setHideDockIcon(true);
    binding.setAutoStartPollingOnLaunch(false);
    binding.setScratchDirectory("/srv/scratch");
    binding.setServerURLString("http://10.0.0.9:8000");
    // Not stored until Save.
    EXPECT_TRUE(recorder.applied.isEmpty());
    EXPECT_EQ(binding.draft().serverURL, saved.serverURL);

    EXPECT_TRUE(kwtest::runTask(binding.save()));

    Settings expected = saved;
    expected.serverURL = QUrl("http://10.0.0.9:8000");
    expected.workerName = "";
    expected.maxConcurrency = 6;
    expected.pollInterval = 45;
    expected.launchAtLogin = true;
    expected.hideDockIcon = true;
    expected.autoStartPollingOnLaunch = false;
    expected.scratchDirectory = "/srv/scratch";
    ASSERT_EQ(recorder.applied.size(), 1);
    EXPECT_EQ(recorder.applied.first(), expected);
    // Afterwards the draft holds exactly what was applied.
    EXPECT_EQ(binding.draft(), expected);
}

TEST(SettingsBinding, SaveWithAnInvalidURLDoesNothing) {
    Recorder recorder;
    SettingsBinding binding(savedSettings(), recorder.apply());
    binding.setWorkerName("changed");
    binding.setServerURLString("kestrel.example.com");
    EXPECT_FALSE(kwtest::runTask(binding.save()));
    EXPECT_TRUE(recorder.applied.isEmpty());
    EXPECT_EQ(binding.draft().workerName, "changed"); // still an unsaved edit
}

TEST(SettingsBinding, EditsMadeWhileSavingStayInTheDraft) {
    Recorder recorder;
    QTimer gate;
    gate.setSingleShot(true);
    recorder.gate = &gate;
    SettingsBinding binding(savedSettings(), recorder.apply());
    binding.setWorkerName("first");
    binding.setServerURLString("https://new.example.com");
    QCoro::Task<bool> saving = binding.save();
    binding.setWorkerName("typed during save");
    gate.start(0);
    EXPECT_TRUE(kwtest::runTask(std::move(saving)));

    ASSERT_EQ(recorder.applied.size(), 1);
    EXPECT_EQ(recorder.applied.first().workerName, "first");
    EXPECT_EQ(binding.draft().workerName, "typed during save");
    EXPECT_EQ(binding.draft().serverURL, QUrl("https://new.example.com"));
}

TEST(SettingsBinding, AFailedApplyIsToldAndKeepsTheOldURL) {
    Recorder recorder;
    recorder.fail = true;
    SettingsBinding binding(savedSettings(), recorder.apply());
    QStringList reasons;
    QObject::connect(&binding, &SettingsBinding::saveFailed,
                     [&](const QString& reason) { reasons << reason; });
    binding.setServerURLString("https://new.example.com");
    EXPECT_FALSE(kwtest::runTask(binding.save()));
    EXPECT_EQ(reasons, QStringList{"cannot write preferences"});
    EXPECT_EQ(binding.draft().serverURL, QUrl("https://kestrel.example.com"));
}

TEST(SettingsBinding, SteppersStayInTheirRanges) {
    Recorder recorder;
    SettingsBinding binding(savedSettings(), recorder.apply());
    const struct {
        qint64 asked;
        qint64 concurrency;
        qint64 interval;
    } cases[] = {{-3, 1, 1}, {0, 1, 1},     {1, 1, 1},    {8, 8, 8},
                 {9, 8, 9},  {300, 8, 300}, {301, 8, 300}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        binding.setMaxConcurrency(c.asked);
        binding.setPollInterval(c.asked);
        EXPECT_EQ(binding.draft().maxConcurrency, c.concurrency);
        EXPECT_EQ(binding.draft().pollInterval, c.interval);
    }
}

TEST(SettingsBinding, ResetScratchDirectoryGoesBackToTheDefaultRoot) {
    Recorder recorder;
    SettingsBinding binding(savedSettings(), recorder.apply());
    EXPECT_FALSE(binding.showsResetScratchDirectory());
    EXPECT_EQ(binding.scratchPathText(), Settings::defaultScratchDirectory());
    binding.setScratchDirectory("/srv/scratch");
    EXPECT_TRUE(binding.showsResetScratchDirectory());
    EXPECT_EQ(binding.scratchPathText(), "/srv/scratch");
    binding.resetScratchDirectory();
    EXPECT_FALSE(binding.showsResetScratchDirectory());
    EXPECT_EQ(binding.scratchPathText(), Settings::defaultScratchDirectory());
    EXPECT_FALSE(binding.draft().scratchDirectory.has_value());
    EXPECT_TRUE(recorder.applied.isEmpty()); // only a later Save stores it
}
