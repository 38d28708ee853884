#pragma once

#include "RawHttpServer.h"
#include "RunTask.h"
#include "api/APIClient.h"
#include "async/WorkerError.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// A client wired to a raw loopback server, with a short idle limit so stall
// cases finish quickly.
class ApiTestFixture : public ::testing::Test {
protected:
    APIClient client(const QString& token = QStringLiteral("tok-123"), QString basePath = {}) {
        QUrl base = server.baseURL();
        base.setPath(basePath);
        APIClient::Options options;
        options.idleTimeout = std::chrono::milliseconds(1000);
        return APIClient(base, token, &session, options);
    }

    void answer(int status, QByteArray body,
                QList<QPair<QByteArray, QByteArray>> headers = {
                    {"Content-Type", "application/json"}}) {
        server.setHandler([=](const RecordedRequest&, QTcpSocket* socket) {
            RawHttpServer::respond(socket, status, body, headers);
        });
    }

    QStringList filesIn(const QString& dir) const {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QNetworkAccessManager session;
    RawHttpServer server;
    QTemporaryDir temp;
};

// The text of the APIError (or other error) the task ends with.
template <typename Task> QString failureText(Task&& task) {
    try {
        kwtest::runTask(std::forward<Task>(task));
    } catch (const WorkerError& error) {
        return error.description();
    }
    return QStringLiteral("<no error>");
}
