#include "config/Settings.h"
#include "config/UserDefaultsSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path() const { return m_dir.filePath(QStringLiteral("KestrelWorker.conf")); }

    // A fresh view of the file, as another process would see it.
    std::unique_ptr<QSettings> openFile() const {
        return std::make_unique<QSettings>(path(), QSettings::NativeFormat);
    }

    Settings loadFresh() const {
        auto defaults = openFile();
        return UserDefaultsSettingsStore(*defaults).load();
    }

    void store(const QString& key, const QVariant& value) const {
        auto defaults = openFile();
        defaults->setValue(key, value);
        defaults->sync();
    }

    QTemporaryDir m_dir;
};

TEST_F(SettingsStoreTest, FirstLoadGivesDefaultsAndWritesOnlyTheWorkerID) {
    const Settings loaded = loadFresh();

    Settings expected = Settings::makeDefault();
    expected.workerID = loaded.workerID;
    EXPECT_EQ(loaded, expected);
    EXPECT_EQ(loaded.serverURL, QUrl(QStringLiteral(KW_DEFAULT_SERVER_URL)));
    EXPECT_EQ(loaded.serverURL.scheme(), QStringLiteral("https"));
    EXPECT_EQ(loaded.pollInterval, 10);
    EXPECT_FALSE(loaded.workerID.isNull());
    EXPECT_EQ(loaded.workerID.version(), QUuid::Random);

    auto file = openFile();
    EXPECT_EQ(file->allKeys(), QStringList{QStringLiteral("workerID")});
    const QString text = file->value(QStringLiteral("workerID")).toString();
    EXPECT_EQ(text, loaded.workerID.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(text.size(), 36);

    EXPECT_EQ(loadFresh().workerID, loaded.workerID);
}

TEST_F(SettingsStoreTest, UnusableWorkerIDIsReplacedAndWrittenBack) {
    const QStringList unusable{
        QStringLiteral("not-a-uuid"),
        QString(),
        QStringLiteral("{6F9619FF-8B86-D011-B42D-00CF4FC964FF}"),
        QStringLiteral("00000000-0000-0000-0000-000000000000"),
        QStringLiteral("6F9619FF-8B86-D011-B42D-00CF4FC964F"),
    };
    for (const QString& text : unusable) {
        SCOPED_TRACE(text.toStdString());
        store(QStringLiteral("workerID"), text);

        const Settings loaded = loadFresh();
        EXPECT_FALSE(loaded.workerID.isNull());
        const QString written = openFile()->value(QStringLiteral("workerID")).toString();
        EXPECT_EQ(written, Settings::workerIDText(loaded.workerID));
        EXPECT_NE(written, text);
        EXPECT_EQ(loadFresh().workerID, loaded.workerID);
    }
}

TEST_F(SettingsStoreTest, LowerCaseWorkerIDLoadsAndSavesBackUpperCase) {
    const QString lower = QStringLiteral("6f9619ff-8b86-d011-b42d-00cf4fc964ff");
    store(QStringLiteral("workerID"), lower);

    auto defaults = openFile();
    UserDefaultsSettingsStore store(*defaults);
    const Settings loaded = store.load();
    EXPECT_EQ(loaded.workerID, QUuid::fromString(lower));
    // Loading a usable ID leaves the stored text alone.
    EXPECT_EQ(openFile()->value(QStringLiteral("workerID")).toString(), lower);

    store.save(loaded);
    EXPECT_EQ(openFile()->value(QStringLiteral("workerID")).toString(),
              QStringLiteral("6F9619FF-8B86-D011-B42D-00CF4FC964FF"));
}

TEST_F(SettingsStoreTest, TextFieldsFallBackWhenUnusable) {
    store(QStringLiteral("workerName"), QString());
    store(QStringLiteral("serverURL"), QStringLiteral("http://exa mple.com/"));
    Settings loaded = loadFresh();
    EXPECT_EQ(loaded.workerName, Settings::defaultWorkerName());
    EXPECT_EQ(loaded.serverURL, QUrl(QStringLiteral(KW_DEFAULT_SERVER_URL)));

    store(QStringLiteral("workerName"), QStringLiteral("Render Box, 2nd floor"));
    store(QStringLiteral("serverURL"), QStringLiteral("http://10.0.0.5:8000"));
    loaded = loadFresh();
    EXPECT_EQ(loaded.workerName, QStringLiteral("Render Box, 2nd floor"));
    EXPECT_EQ(loaded.serverURL, QUrl(QStringLiteral("http://10.0.0.5:8000")));
}

TEST_F(SettingsStoreTest, IntegersAreTakenAsStoredWhenPresent) {
    Settings loaded = loadFresh();
    EXPECT_EQ(loaded.pollInterval, 10);
    EXPECT_EQ(loaded.maxConcurrency, Settings::defaultConcurrency(Settings::activeCoreCount()));

    store(QStringLiteral("pollInterval"), 0);
    store(QStringLiteral("maxConcurrency"), 1000);
    loaded = loadFresh();
    EXPECT_EQ(loaded.pollInterval, 0);
    EXPECT_EQ(loaded.maxConcurrency, 1000);

    store(QStringLiteral("pollInterval"), QStringLiteral("soon"));
    store(QStringLiteral("maxConcurrency"), QStringLiteral("ten"));
    loaded = loadFresh();
    EXPECT_EQ(loaded.pollInterval, 0);
    EXPECT_EQ(loaded.maxConcurrency, 0);
}

TEST_F(SettingsStoreTest, BooleansConvertAsStored) {
    store(QStringLiteral("autoStartPollingOnLaunch"), QStringLiteral("false"));
    store(QStringLiteral("launchAtLogin"), QStringLiteral("1"));
    store(QStringLiteral("hideDockIcon"), QStringLiteral("0"));
    const Settings loaded = loadFresh();
    EXPECT_FALSE(loaded.autoStartPollingOnLaunch);
    EXPECT_TRUE(loaded.launchAtLogin);
    EXPECT_FALSE(loaded.hideDockIcon);
}

TEST_F(SettingsStoreTest, SaveThenLoadRoundTripsEveryField) {
    Settings settings;
    settings.serverURL = QUrl(QStringLiteral("https://media.example.org:8443/kestrel/"));
    settings.workerName = QStringLiteral("Grading Suite \"B\" — Øresund");
    settings.workerID = QUuid::createUuid();
    settings.pollInterval = 45;
    settings.maxConcurrency = 3;
    settings.scratchDirectory = QStringLiteral("/mnt/Other Volume/kestrel scratch");
    settings.autoStartPollingOnLaunch = false;
    settings.launchAtLogin = true;
    settings.hideDockIcon = true;

    {
        auto defaults = openFile();
        UserDefaultsSettingsStore(*defaults).save(settings);
    }
    auto file = openFile();
    EXPECT_EQ(file->allKeys().size(), 9);
    EXPECT_EQ(file->value(QStringLiteral("scratchDirectory")).toString(),
              QStringLiteral("/mnt/Other Volume/kestrel scratch"));
    EXPECT_EQ(file->value(QStringLiteral("serverURL")).toString(),
              QStringLiteral("https://media.example.org:8443/kestrel/"));

    const Settings loaded = loadFresh();
    EXPECT_EQ(loaded, settings);
    EXPECT_EQ(loaded.effectiveScratchDirectory(),
              QStringLiteral("/mnt/Other Volume/kestrel scratch"));
}

TEST_F(SettingsStoreTest, AbsentScratchDirectoryRemovesTheKey) {
    auto defaults = openFile();
    UserDefaultsSettingsStore store(*defaults);
    Settings settings = store.load();
    settings.scratchDirectory = QStringLiteral("/srv/scratch");
    store.save(settings);
    ASSERT_TRUE(openFile()->contains(QStringLiteral("scratchDirectory")));

    settings.scratchDirectory.reset();
    store.save(settings);
    EXPECT_FALSE(openFile()->contains(QStringLiteral("scratchDirectory")));

    const Settings loaded = loadFresh();
    EXPECT_FALSE(loaded.scratchDirectory.has_value());
    EXPECT_EQ(loaded.effectiveScratchDirectory(),
              QDir::tempPath() + QStringLiteral("/com.talmark.KestrelWorker"));
}

TEST_F(SettingsStoreTest, EmptyScratchPathMeansNoChoice) {
    store(QStringLiteral("scratchDirectory"), QString());
    EXPECT_FALSE(loadFresh().scratchDirectory.has_value());
}

TEST(SettingsDefaults, ConcurrencyIsOnePerFourCoresBetweenOneAndEight) {
    const std::pair<int, qint64> table[] = {
        {1, 1}, {2, 1}, {3, 1}, {4, 1}, {8, 2}, {12, 3}, {31, 7}, {32, 8}, {64, 8},
    };
    for (const auto& [cores, expected] : table) {
        EXPECT_EQ(Settings::defaultConcurrency(cores), expected) << cores << " cores";
    }
}

TEST(SettingsDefaults, EachDefaultDrawsANewWorkerID) {
    EXPECT_NE(Settings::makeDefault().workerID, Settings::makeDefault().workerID);
}

TEST(SettingsDefaults, WorkerIDTextIsUpperCaseWithoutBraces) {
    EXPECT_EQ(Settings::workerIDText(
                  QUuid::fromString(QStringLiteral("{6f9619ff-8b86-d011-b42d-00cf4fc964ff}"))),
              QStringLiteral("6F9619FF-8B86-D011-B42D-00CF4FC964FF"));
}

TEST(SettingsDefaults, WorkerNameComesFromPrettyHostName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("machine-info"));
    const std::pair<const char*, QString> table[] = {
        {"PRETTY_HOSTNAME=\"Ada's Workstation\"\n", QStringLiteral("Ada's Workstation")},
        {"PRETTY_HOSTNAME=Render-Box\n", QStringLiteral("Render-Box")},
        {"PRETTY_HOSTNAME='Edit Bay 3'\n", QStringLiteral("Edit Bay 3")},
        {"# set by hostnamectl\nCHASSIS=desktop\nPRETTY_HOSTNAME=\"Say \\\"cheese\\\"\"\n"
         "DEPLOYMENT=production\n",
         QStringLiteral("Say \"cheese\"")},
        {"PRETTY_HOSTNAME=\"Café Ünit\"", QStringLiteral("Café Ünit")},
        {"PRETTY_HOSTNAME=\"\"\n", QSysInfo::machineHostName()},
        {"CHASSIS=laptop\n", QSysInfo::machineHostName()},
    };
    for (const auto& [content, expected] : table) {
        SCOPED_TRACE(content);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        EXPECT_EQ(Settings::defaultWorkerName(path), expected);
    }
    EXPECT_EQ(Settings::defaultWorkerName(dir.filePath(QStringLiteral("missing"))),
              QSysInfo::machineHostName());
}

} // namespace
