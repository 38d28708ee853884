#pragma once

#include <QString>
#include <QUrl>

// The outcome of one update check.
class UpdateCheckResult {
public:
    enum class Kind { upToDate, updateAvailable, failed };

    static UpdateCheckResult upToDate(QString currentVersion) {
        return UpdateCheckResult(Kind::upToDate, std::move(currentVersion), {}, {});
    }
    static UpdateCheckResult updateAvailable(QString version, QUrl downloadURL) {
        return UpdateCheckResult(Kind::updateAvailable, std::move(version), std::move(downloadURL),
                                 {});
    }
    static UpdateCheckResult failed(QString errorText) {
        return UpdateCheckResult(Kind::failed, {}, {}, std::move(errorText));
    }

    Kind kind() const { return m_kind; }
    // upToDate: the running version; updateAvailable: the newer one.
    const QString& version() const { return m_version; }
    const QUrl& downloadURL() const { return m_downloadURL; }
    const QString& errorText() const { return m_errorText; }

private:
    UpdateCheckResult(Kind kind, QString version, QUrl downloadURL, QString errorText)
        : m_kind(kind)
        , m_version(std::move(version))
        , m_downloadURL(std::move(downloadURL))
        , m_errorText(std::move(errorText)) {}

    Kind m_kind;
    QString m_version;
    QUrl m_downloadURL;
    QString m_errorText;
};
