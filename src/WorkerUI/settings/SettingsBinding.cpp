#include "settings/SettingsBinding.h"

#include "async/WorkerError.h"
#include "settings/ServerURLText.h"

#include <QPointer>
#include <algorithm>

SettingsBinding::SettingsBinding(Settings settings, Apply apply, QObject* parent)
    : QObject(parent)
    , m_draft(std::move(settings))
    , m_serverURLString(m_draft.serverURL.toString(QUrl::FullyEncoded))
    , m_apply(std::move(apply)) {}

template <typename T> void SettingsBinding::edit(T Settings::*field, T value) {
    if (m_draft.*field == value) {
        return;
    }
    m_draft.*field = std::move(value);
    emit draftChanged();
}

void SettingsBinding::setServerURLString(const QString& text) {
    if (text != m_serverURLString) {
        m_serverURLString = text;
        emit serverURLStringChanged();
    }
}

void SettingsBinding::setWorkerName(const QString& name) {
    edit(&Settings::workerName, name);
}

void SettingsBinding::setAutoStartPollingOnLaunch(bool on) {
    edit(&Settings::autoStartPollingOnLaunch, on);
}

void SettingsBinding::setLaunchAtLogin(bool on) {
    edit(&Settings::launchAtLogin, on);
}

void SettingsBinding::setHideDockIcon(bool on) {
    edit(&Settings::hideDockIcon, on);
}

void SettingsBinding::setMaxConcurrency(qint64 jobs) {
    edit(&Settings::maxConcurrency, std::clamp(jobs, minConcurrency, maxConcurrency));
}

void SettingsBinding::setPollInterval(qint64 seconds) {
    edit(&Settings::pollInterval, std::clamp(seconds, minPollInterval, maxPollInterval));
}

void SettingsBinding::setScratchDirectory(const QString& path) {
    edit(&Settings::scratchDirectory, std::optional<QString>(path));
}

void SettingsBinding::resetScratchDirectory() {
    edit(&Settings::scratchDirectory, std::optional<QString>());
}

void SettingsBinding::adopt(const Settings& settings) {
    m_draft = settings;
    emit draftChanged();
    setServerURLString(settings.serverURL.toString(QUrl::FullyEncoded));
}

bool SettingsBinding::isServerURLValid() const {
    return ServerURLText::isValid(m_serverURLString);
}

QCoro::Task<bool> SettingsBinding::save() {
    if (!isServerURLValid()) {
        co_return false;
    }
    Settings applied = m_draft;
    applied.serverURL = *ServerURLText::parse(m_serverURLString);
    QPointer<SettingsBinding> self(this);
    const Apply apply = m_apply;
    try {
        co_await apply(applied);
    } catch (...) {
        const QString description = describeCurrentException();
        if (self) {
            emit self->saveFailed(description);
        }
        co_return false;
    }
    if (!self) {
        co_return true;
    }
    // Only the URL is adopted: copying the whole applied value back would undo
    // whatever the operator edited while apply ran.
    self->edit(&Settings::serverURL, applied.serverURL);
    co_return true;
}
