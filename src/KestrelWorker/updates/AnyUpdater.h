#pragma once

#include "updates/UpdaterServicing.h"

// Wraps any update mechanism for the Updates pane. It keeps its own copy of
// the two flags (taken from the wrapped one at creation, written through on
// every change) and announces only changes of those; everything else is read
// from the wrapped mechanism when asked.
class AnyUpdater final : public UpdaterServicing {
    Q_OBJECT

public:
    // `wrapped` must outlive this object.
    explicit AnyUpdater(UpdaterServicing& wrapped, QObject* parent = nullptr);

    bool canCheckForUpdates() const override { return m_wrapped.canCheckForUpdates(); }
    std::optional<QDateTime> lastUpdateCheckDate() const override {
        return m_wrapped.lastUpdateCheckDate();
    }
    std::optional<QUrl> feedURL() const override { return m_wrapped.feedURL(); }
    bool automaticChecksEnabled() const override { return m_automaticChecks; }
    void setAutomaticChecksEnabled(bool enabled) override;
    bool automaticDownloadsEnabled() const override { return m_automaticDownloads; }
    void setAutomaticDownloadsEnabled(bool enabled) override;
    void checkForUpdates() override { m_wrapped.checkForUpdates(); }
    QString displayName() const override { return m_wrapped.displayName(); }

private:
    UpdaterServicing& m_wrapped;
    bool m_automaticChecks;
    bool m_automaticDownloads;
};
