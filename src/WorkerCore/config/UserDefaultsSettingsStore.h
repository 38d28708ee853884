#pragma once

#include "config/Settings.h"

class QSettings;

// Keeps `Settings` in the per-user preferences, one key per field named like
// the field. Neither operation fails: unusable stored values fall back field
// by field.
class UserDefaultsSettingsStore {
public:
    // `defaults` is not owned and must outlive the store.
    explicit UserDefaultsSettingsStore(QSettings& defaults);

    // May write "workerID" so that every later load returns the same identity.
    Settings load();
    // Throws FileSystemError when the preferences file cannot be written.
    void save(const Settings& settings);

private:
    QSettings& m_defaults;
};
