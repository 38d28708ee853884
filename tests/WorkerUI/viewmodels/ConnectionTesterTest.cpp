#include "onboarding/ConnectionTester.h"

#include "RawHttpServer.h"
#include "RunTask.h"
#include "ViewModelFakes.h"
#include "api/APIError.h"
#include "onboarding/APIClientClaimer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

using Result = ConnectionTester::Result;

namespace {

// A port nothing listens on: bound once, then released.
quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

class ConnectionTesterTest : public ::testing::Test {
protected:
    Result test(const QUrl& url, const QString& token) {
        return kwtest::runTask(tester.test(url, token));
    }

    QNetworkAccessManager session;
    ConnectionTester tester{std::make_shared<APIClientClaimer>(&session)};
    RawHttpServer server;
};

} // namespace

TEST_F(ConnectionTesterTest, ClassifiesTheServersAnswer) {
    const struct {
        const char* name;
        int status;
        QByteArray body;
        Result expected;
    } cases[] = {
        {"nothing to claim", 200, R"({"claimed":false})", Result::ok()},
        {"a job handed out", 200,
         R"({"claimed":true,"job_id":"j1","job_type":"preview","file_name":"a.mov"})",
         Result::ok()},
        {"token rejected", 401, R"({"detail":"bad token"})", Result::tokenRejected()},
        {"server error", 500, "boom", Result::other("Server error 500: boom")},
        {"not found", 404, "", Result::other("Job not found (404)")},
        {"forbidden", 403, "no", Result::other("Client error 403: no")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.setHandler([&](const RecordedRequest&, QTcpSocket* socket) {
            RawHttpServer::respond(socket, c.status, c.body);
        });
        EXPECT_EQ(test(server.baseURL(), "tok"), c.expected);
    }

    // A body that is not the claim reply.
    server.setHandler([](const RecordedRequest&, QTcpSocket* socket) {
        RawHttpServer::respond(socket, 200, "not json");
    });
    const Result malformed = test(server.baseURL(), "tok");
    EXPECT_EQ(malformed.kind(), Result::Kind::other);
    EXPECT_TRUE(malformed.otherText().startsWith("Malformed response: "))
        << malformed.otherText().toStdString();
}

TEST_F(ConnectionTesterTest, NoServerIsUnreachable) {
    const QUrl url(QString("http://127.0.0.1:%1").arg(closedPort()));
    EXPECT_EQ(test(url, "tok"), Result::serverUnreachable());
}

TEST_F(ConnectionTesterTest, SendsOneRealClaimWithTheTypedToken) {
    server.setHandler([](const RecordedRequest&, QTcpSocket* socket) {
        RawHttpServer::respond(socket, 200, R"({"claimed":false})");
    });
    ASSERT_EQ(test(server.baseURL(), "typed-token-1"), Result::ok());
    ASSERT_EQ(test(server.baseURL(), "typed-token-1"), Result::ok());
    ASSERT_EQ(server.requests().size(), 2);
    const RecordedRequest& request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/workers/claim-job/");
    EXPECT_EQ(request.header("Authorization"), "Worker typed-token-1");
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    EXPECT_EQ(body.value("worker_name").toString(), "connection-test");
    EXPECT_EQ(body.value("worker_platform").toString(), APIClientClaimer::workerPlatform());
    EXPECT_TRUE(APIClientClaimer::workerPlatform().endsWith(" connection-test"));
    // A fresh random worker for every test.
    const QString first = body.value("worker_id").toString();
    const QString second = QJsonDocument::fromJson(server.requests().last().body)
                               .object()
                               .value("worker_id")
                               .toString();
    EXPECT_FALSE(QUuid::fromString(first).isNull());
    EXPECT_NE(first, second);
}

TEST(ConnectionTesterClassification, AnyFailureBecomesAResult) {
    auto claimer = std::make_shared<vmtest::FakeClaimer>();
    const ConnectionTester tester(claimer);
    const QUrl url("https://kestrel.example.com");
    const struct {
        const char* name;
        std::function<ClaimedJob()> outcome;
        Result expected;
    } cases[] = {
        {"unauthorized", []() -> ClaimedJob { throw APIError::unauthorized(); },
         Result::tokenRejected()},
        {"transport",
         []() -> ClaimedJob {
             throw APIError::transport(QNetworkReply::HostNotFoundError, "Host not found");
         },
         Result::serverUnreachable()},
        {"another API error", []() -> ClaimedJob { throw APIError::notFound(); },
         Result::other("Job not found (404)")},
        {"not an API error", []() -> ClaimedJob { throw std::runtime_error("disk on fire"); },
         Result::other("disk on fire")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        claimer->outcome = c.outcome;
        EXPECT_EQ(kwtest::runTask(tester.test(url, "t")), c.expected);
    }
}

TEST(ConnectionTesterResult, TextsAndTones) {
    EXPECT_EQ(Result::ok().text(), "Connection OK");
    EXPECT_EQ(Result::ok().tone(), Tone::green);
    EXPECT_EQ(Result::tokenRejected().text(), "Token rejected (401)");
    EXPECT_EQ(Result::serverUnreachable().text(), "Server unreachable");
    EXPECT_EQ(Result::other("invalid URL").text(), "Failed: invalid URL");
    for (const Result& failure :
         {Result::tokenRejected(), Result::serverUnreachable(), Result::other("x")}) {
        EXPECT_EQ(failure.tone(), Tone::red);
    }
    EXPECT_EQ(Result::other("a"), Result::other("a"));
    EXPECT_NE(Result::other("a"), Result::other("b"));
    EXPECT_NE(Result::ok(), Result::other(""));
}
