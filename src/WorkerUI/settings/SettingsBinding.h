#pragma once

#include "config/Settings.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

// The Settings window's one shared draft: the General and Processing tabs edit
// it, and Save on either stores all of it. Built once at launch from the
// settings then current; lives as long as the application, so unsaved edits
// survive closing the window. Main thread only.
class SettingsBinding : public QObject {
    Q_OBJECT

public:
    // Stores, makes current and hands the settings to the engine (the shell's
    // commitSettings). May throw; save() reports that through saveFailed.
    using Apply = std::function<QCoro::Task<void>(Settings)>;

    static constexpr qint64 minConcurrency = 1;
    static constexpr qint64 maxConcurrency = 8;
    static constexpr qint64 minPollInterval = 1;
    static constexpr qint64 maxPollInterval = 300;

    SettingsBinding(Settings settings, Apply apply, QObject* parent = nullptr);

    // The edited settings. Its serverURL is the last saved one: the field's
    // text lives in serverURLString until Save.
    const Settings& draft() const { return m_draft; }
    const QString& serverURLString() const { return m_serverURLString; }
    void setServerURLString(const QString& text);

    // The controls' edits. The steppers' values are clamped to their ranges
    // (concurrency 1 to 8, poll interval 1 to 300 seconds); nothing else is
    // validated (an empty worker name is kept as it is).
    void setWorkerName(const QString& name);
    void setAutoStartPollingOnLaunch(bool on);
    void setLaunchAtLogin(bool on);
    void setHideDockIcon(bool on);
    void setMaxConcurrency(qint64 jobs);
    void setPollInterval(qint64 seconds);
    // The folder chosen in the panel (stored by a later Save).
    void setScratchDirectory(const QString& path);
    // "Reset to default": back to the default scratch root (stored by a later Save).
    void resetScratchDirectory();

    // Settings applied from elsewhere (onboarding) replace the whole draft, so a
    // later Save cannot put the old values back.
    void adopt(const Settings& settings);

    // The General tab's hint and its Save's enabled state.
    bool isServerURLValid() const;
    // "Reset to default" is offered only while a folder is chosen.
    bool showsResetScratchDirectory() const { return m_draft.scratchDirectory.has_value(); }
    // The Path row: the chosen folder, or the default root when none is chosen.
    QString scratchPathText() const { return m_draft.effectiveScratchDirectory(); }

    // Applies the draft with the typed URL and waits for it; afterwards the
    // draft's serverURL is the applied one. Does nothing (false) while the URL
    // is not valid. Gives true when applied; false, with saveFailed, when
    // apply threw. Edits made while apply runs stay in the draft, unsaved.
    // Never throws.
    QCoro::Task<bool> save();

signals:
    // Any field of draft() changed (an edit, or Save adopting the applied URL).
    void draftChanged();
    void serverURLStringChanged();
    void saveFailed(const QString& description);

private:
    template <typename T> void edit(T Settings::*field, T value);

    Settings m_draft;
    QString m_serverURLString;
    Apply m_apply;
};
