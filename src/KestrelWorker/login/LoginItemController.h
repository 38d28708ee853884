#pragma once

#include "async/WorkerError.h"

#include <QString>

// Starts the agent when the user logs in, through an XDG Autostart entry of
// its own. Applied once per launch; holds nothing but where the entry lives.
class LoginItemController {
public:
    class LoginItemError : public WorkerError {
    public:
        enum class Kind { registrationFailed };

        static LoginItemError registrationFailed(QString text) {
            return LoginItemError(Kind::registrationFailed, std::move(text));
        }

        Kind kind() const { return m_kind; }
        // The platform's description of the refusal.
        const QString& text() const { return m_text; }
        QString description() const override;

    private:
        LoginItemError(Kind kind, QString text)
            : m_kind(kind)
            , m_text(std::move(text)) {}

        Kind m_kind;
        QString m_text;
    };

    // What the autostart entry says. Only `notRegistered` and `enabled` occur
    // here; the other two exist on platforms that ask for approval.
    enum class Status { notRegistered, enabled, requiresApproval, notFound };

    static QString entryFileName(); // com.talmark.KestrelWorker.desktop

    // `executablePath`: what the entry starts (the running program's absolute
    // path). `autostartDirectory`: empty means $XDG_CONFIG_HOME/autostart.
    explicit LoginItemController(QString executablePath, QString autostartDirectory = {});

    QString entryPath() const;
    Status status() const;

    // Registers or unregisters so the entry matches `enabled`; does nothing when
    // it already does. Throws LoginItemError when the file cannot be written or
    // removed.
    void reconcile(bool enabled);

private:
    void registerEntry() const;
    void unregisterEntry() const;

    QString m_executablePath;
    QString m_autostartDirectory;
};
