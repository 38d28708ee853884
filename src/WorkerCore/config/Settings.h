#pragma once

#include <QString>
#include <QUrl>
#include <QUuid>
#include <optional>

// The operator's configuration of the agent. A plain value: copied freely,
// compared field by field, and never validated here (editors bound the values).
struct Settings {
    QUrl serverURL;
    QString workerName;
    QUuid workerID;
    qint64 pollInterval = 10;
    qint64 maxConcurrency = 1;
    // A file-system path; absent means the default root under the temporary directory.
    std::optional<QString> scratchDirectory;
    bool autoStartPollingOnLaunch = true;
    bool launchAtLogin = false;
    bool hideDockIcon = false;

    bool operator==(const Settings&) const = default;

    // Draws a fresh worker ID and reads the core count and host names each time.
    static Settings makeDefault();

    // The scratch root in use; not created here.
    QString effectiveScratchDirectory() const;
    static QString defaultScratchDirectory();

    // One job per four cores, at least 1 and at most 8.
    static qint64 defaultConcurrency(int activeCores);
    static int activeCoreCount();

    // The pretty host name from /etc/machine-info, else the network host name.
    static QString defaultWorkerName();
    static QString defaultWorkerName(const QString& machineInfoPath);

    // 36 characters, upper-case hexadecimal, hyphenated, no braces: the form used
    // in the preferences and on the wire.
    static QString workerIDText(const QUuid& id);
};
