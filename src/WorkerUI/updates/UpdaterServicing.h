#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>
#include <optional>

// What the Updates pane needs of an update mechanism. `changed` asks every
// view showing it to read all members again.
class UpdaterServicing : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // A user-initiated check may start now.
    virtual bool canCheckForUpdates() const = 0;
    // When the last check ran; none if never.
    virtual std::optional<QDateTime> lastUpdateCheckDate() const = 0;
    // The feed in use; none when updates are not configured.
    virtual std::optional<QUrl> feedURL() const = 0;
    virtual bool automaticChecksEnabled() const = 0;
    virtual void setAutomaticChecksEnabled(bool enabled) = 0;
    virtual bool automaticDownloadsEnabled() const = 0;
    virtual void setAutomaticDownloadsEnabled(bool enabled) = 0;
    // Starts a user-initiated check, which shows its outcome in a window of its own.
    virtual void checkForUpdates() = 0;
    // A short name of the mechanism, shown as a caption.
    virtual QString displayName() const = 0;

Q_SIGNALS:
    void changed();
};
