#pragma once

#include "RawHttpServer.h"
#include "RunTask.h"
#include "config/KeychainTokenStore.h"
#include "updates/UpdaterServicing.h"

#include <QStringList>
#include <QTcpSocket>
#include <QUuid>
#include <QWidget>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QUrl& url, std::ostream* out) {
    *out << url.toString().toStdString();
}

namespace formstest {

// The widget named `name` under `root`; fails the test when there is none.
template <typename T> T* find(const QWidget& root, const QString& name) {
    T* widget = root.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << "no widget named " << name.toStdString();
    return widget;
}

// A loopback worker API that accepts one token on claim-job and rejects every
// other with 401, like a Kestrel server.
class ClaimServer {
public:
    ClaimServer() {
        server.setHandler([this](const RecordedRequest& request, QTcpSocket* socket) {
            if (request.header("Authorization") == "Worker " + acceptedToken) {
                RawHttpServer::respond(socket, 200, R"({"claimed":false})");
            } else {
                RawHttpServer::respond(socket, 401, R"({"detail":"Invalid token"})");
            }
        });
    }

    QByteArray acceptedToken = "accepted-token-4242";
    RawHttpServer server;
};

// The real keyring under a service name of this test's own, emptied afterwards.
struct ScopedKeychain {
    KeychainTokenStore store{QStringLiteral("com.talmark.KestrelWorker.test.forms.") +
                             QUuid::createUuid().toString(QUuid::WithoutBraces)};
    ~ScopedKeychain() {
        try {
            kwtest::runTask(store.deleteToken());
        } catch (...) {
        }
    }
};

// A test double of the update service: the real one lives in the desktop layer
// and checks a network feed with windows of its own. Records what the pane writes.
class RecordingUpdater : public UpdaterServicing {
public:
    bool canCheck = false;
    std::optional<QDateTime> lastCheck;
    std::optional<QUrl> feed;
    bool checks = true;
    bool downloads = false;
    QStringList writes;
    int checkCalls = 0;

    bool canCheckForUpdates() const override { return canCheck; }
    std::optional<QDateTime> lastUpdateCheckDate() const override { return lastCheck; }
    std::optional<QUrl> feedURL() const override { return feed; }
    bool automaticChecksEnabled() const override { return checks; }
    void setAutomaticChecksEnabled(bool enabled) override {
        checks = enabled;
        writes << QStringLiteral("checks=%1").arg(enabled);
    }
    bool automaticDownloadsEnabled() const override { return downloads; }
    void setAutomaticDownloadsEnabled(bool enabled) override {
        downloads = enabled;
        writes << QStringLiteral("downloads=%1").arg(enabled);
    }
    void checkForUpdates() override { ++checkCalls; }
    QString displayName() const override { return QStringLiteral("Update feed"); }
};

} // namespace formstest
