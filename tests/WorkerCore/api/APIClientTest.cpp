#include "ApiTestFixture.h"
#include "api/APIError.h"
#include "api/InvalidJobIDError.h"

#include <QHttpServer>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>

namespace {
const QUuid kWorker = QUuid::fromString(QStringLiteral("0f8b6a9e-1c2d-4e5f-8a7b-123456789abc"));
}

using Exchange = std::function<QCoro::Task<void>(const APIClient&, const QString& dir)>;

struct StatusCase {
    const char* name;
    int status;
    QByteArray body;
    Exchange exchange;
    QString expected;
};

static QCoro::Task<void> claim(const APIClient& c, const QString&) {
    co_await c.claimJob(kWorker, QStringLiteral("w"), QStringLiteral("p"));
}
static QCoro::Task<void> progress(const APIClient& c, const QString&) {
    co_await c.reportProgress(QStringLiteral("j1"), 10, QStringLiteral("downloading"));
}
static QCoro::Task<void> download(const APIClient& c, const QString& dir) {
    co_await c.downloadSource(QStringLiteral("j1"), dir + QStringLiteral("/input.mov"));
}

class StatusMappingTest : public ApiTestFixture,
                          public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusMappingTest, MapsStatusToErrorText) {
    const StatusCase& c = GetParam();
    answer(c.status, c.body, {{"Content-Type", "text/plain"}});
    EXPECT_EQ(failureText(c.exchange(client(), temp.path())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, StatusMappingTest,
    ::testing::Values(
        StatusCase{"unauthorized", 401, "no", claim, "Token rejected (401)"},
        StatusCase{"forbiddenIsClientError", 403, "go away", claim, "Client error 403: go away"},
        StatusCase{"notFound", 404, "{}", progress, "Job not found (404)"},
        StatusCase{"goneDownloadHasEmptyBody", 410, "gone for good", download,
                   "Client error 410: "},
        StatusCase{"serverErrorNonUtf8Body", 500, QByteArray("\xff\xfe\x80", 3), claim,
                   "Server error 500: "},
        StatusCase{"serverErrorUtf8Body", 503, "busy", progress, "Server error 503: busy"},
        StatusCase{"redirectWithoutLocationIsNotFollowed", 302, "moved", claim,
                   "Server error 302: moved"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ApiTestFixture, ClaimSendsExactlyTheWireRequest) {
    answer(200, R"({"claimed":false})");
    const ClaimedJob job = kwtest::runTask(client().claimJob(kWorker, QStringLiteral("Studio Mac"),
                                                             QStringLiteral("Linux Debian 12")));
    EXPECT_FALSE(job.claimed);
    ASSERT_EQ(server.requests().size(), 1);
    const RecordedRequest& r = server.requests().first();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/api/workers/claim-job/");
    EXPECT_EQ(r.header("Authorization"), "Worker tok-123");
    EXPECT_EQ(r.header("Content-Type"), "application/json");
    const QJsonObject body = QJsonDocument::fromJson(r.body).object();
    EXPECT_EQ(body.size(), 3);
    EXPECT_EQ(body.value("worker_id").toString(), "0F8B6A9E-1C2D-4E5F-8A7B-123456789ABC");
    EXPECT_EQ(body.value("worker_name").toString(), "Studio Mac");
    EXPECT_EQ(body.value("worker_platform").toString(), "Linux Debian 12");
    EXPECT_FALSE(r.body.contains("\": ") || r.body.contains(", \"") || r.body.contains('\n'))
        << "compact JSON: " << r.body.toStdString();
}

struct ClaimBodyCase {
    const char* name;
    QByteArray body;
    std::optional<ClaimedJob> expected; // none: malformed
    QString malformedMentions;
};

class ClaimDecodingTest : public ApiTestFixture,
                          public ::testing::WithParamInterface<ClaimBodyCase> {};

TEST_P(ClaimDecodingTest, DecodesOrRejectsBody) {
    const ClaimBodyCase& c = GetParam();
    answer(200, c.body);
    if (c.expected) {
        EXPECT_EQ(kwtest::runTask(client().claimJob(kWorker, "w", "p")), *c.expected);
    } else {
        const QString text = failureText(client().claimJob(kWorker, "w", "p"));
        EXPECT_TRUE(text.startsWith("Malformed response: ")) << text.toStdString();
        EXPECT_TRUE(text.contains(c.malformedMentions)) << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ClaimDecodingTest,
    ::testing::Values(
        ClaimBodyCase{"noJob", R"({"claimed":false})", ClaimedJob{false}, {}},
        ClaimBodyCase{
            "fullJobExtraKeysIgnored",
            R"({"claimed":true,"job_id":"j-9","job_type":"prores","file_name":"a.mxf","preserve_audio":true,"extra":1})",
            ClaimedJob{true, QString("j-9"), QString("prores"), QString("a.mxf"), true},
            {}},
        ClaimBodyCase{"nullOptionals", R"({"claimed":true,"job_id":null})", ClaimedJob{true}, {}},
        ClaimBodyCase{"missingClaimed", R"({"job_id":"x"})", std::nullopt, "claimed"},
        ClaimBodyCase{"nonBooleanClaimed", R"({"claimed":"yes"})", std::nullopt, "claimed"},
        ClaimBodyCase{"emptyBody", "", std::nullopt, ""},
        ClaimBodyCase{"notAnObject", "[true]", std::nullopt, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ApiTestFixture, EmptyTokenStillSendsWorkerWithItsSpace) {
    answer(200, R"({"claimed":false})");
    kwtest::runTask(client(QString()).claimJob(kWorker, "w", "p"));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(server.requests().first().head.contains("\r\nAuthorization: Worker \r\n"))
        << server.requests().first().head.toStdString();
}

TEST_F(ApiTestFixture, TokenProviderIsAskedOncePerRequest) {
    answer(200, R"({"claimed":false})");
    int calls = 0;
    APIClient counting(
        server.baseURL(),
        [&calls]() -> QCoro::Task<QString> {
            ++calls;
            co_return QStringLiteral("t%1").arg(calls);
        },
        &session);
    kwtest::runTask(counting.claimJob(kWorker, "w", "p"));
    kwtest::runTask(counting.reportProgress("j", 30, "encoding"));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(server.requests().at(0).header("Authorization"), "Worker t1");
    EXPECT_EQ(server.requests().at(1).header("Authorization"), "Worker t2");
}

TEST_F(ApiTestFixture, BaseURLPathIsKeptInFrontOfEndpoint) {
    answer(200, R"({"claimed":false})");
    kwtest::runTask(client("t", "/kestrel").claimJob(kWorker, "w", "p"));
    kwtest::runTask(client("t", "/kestrel/").claimJob(kWorker, "w", "p"));
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests().at(0).target, "/kestrel/api/workers/claim-job/");
    EXPECT_EQ(server.requests().at(1).target, "/kestrel/api/workers/claim-job/");
}

TEST_F(ApiTestFixture, JobIDIsOnePercentEncodedSegment) {
    answer(200, "{}");
    const QList<QPair<QString, QByteArray>> cases{
        {"plain-42", "/api/workers/jobs/plain-42/progress/"},
        {"a/b", "/api/workers/jobs/a%2Fb/progress/"},
        {"x?y#z", "/api/workers/jobs/x%3Fy%23z/progress/"},
        {"sp ace", "/api/workers/jobs/sp%20ace/progress/"},
        {"...", "/api/workers/jobs/.../progress/"},
        {QString::fromUtf8("é"), "/api/workers/jobs/%C3%A9/progress/"},
        {"50%", "/api/workers/jobs/50%25/progress/"},
    };
    for (const auto& [id, target] : cases) {
        kwtest::runTask(client().reportProgress(id, 10, "downloading"));
        EXPECT_EQ(server.requests().last().target, target) << id.toStdString();
    }
}

TEST_F(ApiTestFixture, DotAndEmptyJobIDsAreRefusedBeforeSending) {
    for (const QString& id : {QString(), QString("."), QString("..")}) {
        EXPECT_THROW(kwtest::runTask(client().failJob(id, "x")), InvalidJobIDError);
        EXPECT_THROW(kwtest::runTask(client().downloadSource(id, temp.filePath("in"))),
                     InvalidJobIDError);
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(ApiTestFixture, UnreachableServerIsTransportError) {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    APIClient unreachable(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)), QString("t"),
                          &session);
    try {
        kwtest::runTask(unreachable.claimJob(kWorker, "w", "p"));
        FAIL() << "claim against a closed port succeeded";
    } catch (const APIError& error) {
        EXPECT_EQ(error.kind(), APIError::Kind::transport);
        EXPECT_TRUE(error.description().startsWith("Transport error: "));
        EXPECT_EQ(error.networkError(), QNetworkReply::ConnectionRefusedError);
    }
}

// The reporting endpoints against Qt's own HTTP server: the bodies the server
// framework parses are the ones the protocol defines.
TEST(APIClientHttpServerTest, ReportsCarryTheirJsonBodies) {
    QHttpServer http;
    QList<QPair<QString, QJsonObject>> seen;
    http.route(
        "/api/workers/jobs/<arg>/<arg>/", QHttpServerRequest::Method::Post,
        [&seen](const QString& id, const QString& action, const QHttpServerRequest& request) {
            seen.append({id + "/" + action, QJsonDocument::fromJson(request.body()).object()});
            return QHttpServerResponse("application/json", "{}");
        });
    const quint16 port = http.listen(QHostAddress::LocalHost, 0);
    ASSERT_NE(port, 0);
    QNetworkAccessManager session;
    APIClient c(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)), QString("t"), &session);

    kwtest::runTask(c.reportProgress("j1", 42, "encoding"));
    kwtest::runTask(c.completeJob("j1", "out/j1.mov", 5'000'000'000LL, 93));
    kwtest::runTask(c.failJob("j2", "ffmpeg exited 1: bad\nworse"));

    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen[0].first, "j1/progress");
    EXPECT_EQ(seen[0].second, (QJsonObject{{"progress", 42}, {"status", "encoding"}}));
    EXPECT_EQ(seen[1].first, "j1/complete");
    EXPECT_EQ(seen[1].second.value("output_s3_key").toString(), "out/j1.mov");
    EXPECT_EQ(seen[1].second.value("output_file_size").toInteger(), 5'000'000'000LL);
    EXPECT_EQ(seen[1].second.value("conversion_duration_seconds").toInteger(), 93);
    EXPECT_EQ(seen[2].first, "j2/fail");
    EXPECT_EQ(seen[2].second, (QJsonObject{{"error_message", "ffmpeg exited 1: bad\nworse"}}));
}
