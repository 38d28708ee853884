#include "config/UserDefaultsSettingsStore.h"

#include "async/FileSystemError.h"

#include <QSettings>
#include <QStringList>

namespace {

const QString kServerURL = QStringLiteral("serverURL");
const QString kWorkerName = QStringLiteral("workerName");
const QString kWorkerID = QStringLiteral("workerID");
const QString kPollInterval = QStringLiteral("pollInterval");
const QString kMaxConcurrency = QStringLiteral("maxConcurrency");
const QString kScratchDirectory = QStringLiteral("scratchDirectory");
const QString kAutoStart = QStringLiteral("autoStartPollingOnLaunch");
const QString kLaunchAtLogin = QStringLiteral("launchAtLogin");
const QString kHideDockIcon = QStringLiteral("hideDockIcon");

// The stored value as text, if the key holds something that reads as text.
// A hand-edited INI value with commas comes back as a list, which is not text.
std::optional<QString> textValue(const QSettings& defaults, const QString& key) {
    if (!defaults.contains(key)) {
        return std::nullopt;
    }
    const QVariant value = defaults.value(key);
    if (value.typeId() == QMetaType::QStringList || !value.canConvert<QString>()) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<qint64> integerValue(const QSettings& defaults, const QString& key) {
    if (!defaults.contains(key)) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 number = defaults.value(key).toLongLong(&ok);
    return ok ? number : 0;
}

std::optional<bool> booleanValue(const QSettings& defaults, const QString& key) {
    if (!defaults.contains(key)) {
        return std::nullopt;
    }
    return defaults.value(key).toBool();
}

// Only the 36-character hyphenated form, either letter case. The nil UUID is
// refused: it is what every failed parse yields, never a drawn identity.
std::optional<QUuid> parseWorkerID(const QString& text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    const QUuid id = QUuid::fromString(text);
    if (id.isNull()) {
        return std::nullopt;
    }
    return id;
}

} // namespace

UserDefaultsSettingsStore::UserDefaultsSettingsStore(QSettings& defaults)
    : m_defaults(defaults) {}

Settings UserDefaultsSettingsStore::load() {
    Settings settings = Settings::makeDefault();

    if (const auto text = textValue(m_defaults, kServerURL); text && !text->isEmpty()) {
        const QUrl url(*text, QUrl::StrictMode);
        if (url.isValid()) {
            settings.serverURL = url;
        }
    }

    if (const auto name = textValue(m_defaults, kWorkerName); name && !name->isEmpty()) {
        settings.workerName = *name;
    }

    std::optional<QUuid> storedID;
    if (const auto text = textValue(m_defaults, kWorkerID)) {
        storedID = parseWorkerID(*text);
    }
    if (storedID) {
        settings.workerID = *storedID;
    } else {
        m_defaults.setValue(kWorkerID, Settings::workerIDText(settings.workerID));
        m_defaults.sync();
    }

    if (const auto value = integerValue(m_defaults, kPollInterval)) {
        settings.pollInterval = *value;
    }
    if (const auto value = integerValue(m_defaults, kMaxConcurrency)) {
        settings.maxConcurrency = *value;
    }

    // An empty path would make the working directory the scratch root, whose
    // per-job folders get deleted; treat it as no choice at all.
    if (const auto path = textValue(m_defaults, kScratchDirectory); path && !path->isEmpty()) {
        settings.scratchDirectory = *path;
    }

    if (const auto value = booleanValue(m_defaults, kAutoStart)) {
        settings.autoStartPollingOnLaunch = *value;
    }
    if (const auto value = booleanValue(m_defaults, kLaunchAtLogin)) {
        settings.launchAtLogin = *value;
    }
    if (const auto value = booleanValue(m_defaults, kHideDockIcon)) {
        settings.hideDockIcon = *value;
    }
    return settings;
}

void UserDefaultsSettingsStore::save(const Settings& settings) {
    m_defaults.setValue(kServerURL, settings.serverURL.toString(QUrl::FullyEncoded));
    m_defaults.setValue(kWorkerName, settings.workerName);
    m_defaults.setValue(kWorkerID, Settings::workerIDText(settings.workerID));
    m_defaults.setValue(kPollInterval, static_cast<qlonglong>(settings.pollInterval));
    m_defaults.setValue(kMaxConcurrency, static_cast<qlonglong>(settings.maxConcurrency));
    if (settings.scratchDirectory) {
        m_defaults.setValue(kScratchDirectory, *settings.scratchDirectory);
    } else {
        m_defaults.remove(kScratchDirectory);
    }
    m_defaults.setValue(kAutoStart, settings.autoStartPollingOnLaunch);
    m_defaults.setValue(kLaunchAtLogin, settings.launchAtLogin);
    m_defaults.setValue(kHideDockIcon, settings.hideDockIcon);
    m_defaults.sync();
    // QSettings only records a failed write; unchecked, it would pass for saved.
    if (m_defaults.status() != QSettings::NoError) {
        throw FileSystemError(
            QStringLiteral("cannot write the settings file"), m_defaults.fileName(),
            m_defaults.status() == QSettings::AccessError ? QStringLiteral("access denied")
                                                          : QStringLiteral("format error"));
    }
}
