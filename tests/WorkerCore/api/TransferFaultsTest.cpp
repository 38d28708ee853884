#include "ApiTestFixture.h"
#include "api/APIError.h"

#include <QFile>
#include <QTimer>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}

// Headers with a Content-Length, then the body trickled out by a timer.
void trickle(QTcpSocket* socket, QByteArray body, int chunk, int everyMs) {
    socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                  "\r\n\r\n");
    auto* timer = new QTimer(socket);
    auto offset = std::make_shared<qsizetype>(0);
    QObject::connect(timer, &QTimer::timeout, socket, [=] {
        socket->write(body.mid(*offset, chunk));
        *offset += chunk;
        if (*offset >= body.size()) {
            timer->stop();
        }
    });
    timer->start(everyMs);
}

} // namespace

class DownloadTest : public ApiTestFixture {
protected:
    QString destination() const { return temp.filePath("input.mov"); }
};

TEST_F(DownloadTest, WritesBodyToDestinationAndSendsNoContentType) {
    const QByteArray content = QByteArray(300000, 'x') + "end";
    answer(200, content, {{"Content-Type", "application/octet-stream"}});
    kwtest::runTask(client().downloadSource("j1", destination()));
    EXPECT_EQ(readFile(destination()), content);
    EXPECT_EQ(filesIn(temp.path()), QStringList{"input.mov"});
    const RecordedRequest& r = server.requests().first();
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/api/workers/jobs/j1/download/");
    EXPECT_FALSE(r.hasHeader("Content-Type"));
    EXPECT_EQ(r.header("Authorization"), "Worker tok-123");
}

TEST_F(DownloadTest, ReplacesAnExistingFile) {
    QFile old(destination());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents that are longer");
    old.close();
    answer(200, "new");
    kwtest::runTask(client().downloadSource("j1", destination()));
    EXPECT_EQ(readFile(destination()), "new");
}

TEST_F(DownloadTest, RejectedStatusLeavesExistingFileUntouched) {
    QFile old(destination());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("keep me");
    old.close();
    answer(404, "not here");
    EXPECT_EQ(failureText(client().downloadSource("j1", destination())), "Job not found (404)");
    EXPECT_EQ(readFile(destination()), "keep me");
    EXPECT_EQ(filesIn(temp.path()), QStringList{"input.mov"});
}

TEST_F(DownloadTest, StallAfterHeadersFailsOnIdleLimitLeavingNoFiles) {
    server.setHandler([](const RecordedRequest&, QTcpSocket* socket) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\npartial");
    });
    const QString text = failureText(client().downloadSource("j1", destination()));
    EXPECT_EQ(text, "Transport error: The request timed out.");
    EXPECT_TRUE(filesIn(temp.path()).isEmpty()) << filesIn(temp.path()).join(",").toStdString();
}

TEST_F(DownloadTest, SlowSteadyBodyIsNotCutOff) {
    // 12 chunks 250 ms apart: three times the 1 s idle limit in total.
    const QByteArray content = QByteArray(12 * 100, 'z');
    server.setHandler(
        [&](const RecordedRequest&, QTcpSocket* socket) { trickle(socket, content, 100, 250); });
    kwtest::runTask(client().downloadSource("j1", destination()));
    EXPECT_EQ(readFile(destination()), content);
}

TEST_F(DownloadTest, ConnectionDroppedMidBodyIsTransportErrorLeavingNoFiles) {
    server.setHandler([](const RecordedRequest&, QTcpSocket* socket) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(5000, 'a'));
        socket->flush();
        socket->disconnectFromHost();
    });
    const QString text = failureText(client().downloadSource("j1", destination()));
    EXPECT_TRUE(text.startsWith("Transport error: ")) << text.toStdString();
    EXPECT_TRUE(filesIn(temp.path()).isEmpty()) << filesIn(temp.path()).join(",").toStdString();
}

TEST_F(DownloadTest, CancellationEndsTheDownloadAtOnce) {
    const QByteArray content = QByteArray(100 * 1000, 'c');
    server.setHandler([&](const RecordedRequest&, QTcpSocket* socket) {
        trickle(socket, content, 1000, 100); // would take 10 s
    });
    std::stop_source stop;
    QTimer::singleShot(300, [&] { stop.request_stop(); });
    const auto begin = std::chrono::steady_clock::now();
    try {
        kwtest::runTask(client().downloadSource("j1", destination(), stop.get_token()));
        FAIL() << "cancelled download succeeded";
    } catch (const APIError& error) {
        EXPECT_EQ(error.kind(), APIError::Kind::transport);
        EXPECT_EQ(error.description(), "Transport error: cancelled");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    EXPECT_TRUE(filesIn(temp.path()).isEmpty()) << filesIn(temp.path()).join(",").toStdString();
}

TEST_F(DownloadTest, StopRequestedBeforeStartFailsAsTransport) {
    answer(200, "data");
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(failureText(client().downloadSource("j1", destination(), stop.get_token())),
              "Transport error: cancelled");
    EXPECT_FALSE(QFile::exists(destination()));
}

TEST_F(DownloadTest, RedirectToAnotherOriginDropsTheToken) {
    RawHttpServer storage;
    storage.setHandler([](const RecordedRequest&, QTcpSocket* socket) {
        RawHttpServer::respond(socket, 200, "from storage", {});
    });
    const QByteArray location = storage.baseURL().toEncoded() + "/bucket/object?sig=1";
    answer(302, {}, {{"Location", location}});
    kwtest::runTask(client().downloadSource("j1", destination()));
    EXPECT_EQ(readFile(destination()), "from storage");
    ASSERT_EQ(storage.requests().size(), 1);
    EXPECT_EQ(storage.requests().first().target, "/bucket/object?sig=1");
    EXPECT_FALSE(storage.requests().first().hasHeader("Authorization"));
}

TEST_F(DownloadTest, RedirectWithinTheOriginKeepsTheToken) {
    server.setHandler([](const RecordedRequest& request, QTcpSocket* socket) {
        if (request.target.startsWith("/api/")) {
            RawHttpServer::respond(socket, 307, {}, {{"Location", "/files/j1"}});
        } else {
            RawHttpServer::respond(socket, 200, "same origin", {});
        }
    });
    kwtest::runTask(client().downloadSource("j1", destination()));
    EXPECT_EQ(readFile(destination()), "same origin");
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[1].header("Authorization"), "Worker tok-123");
}

TEST_F(ApiTestFixture, PostRedirect307KeepsMethodAndBody) {
    server.setHandler([](const RecordedRequest& request, QTcpSocket* socket) {
        if (request.target == "/api/workers/claim-job/") {
            RawHttpServer::respond(socket, 307, {}, {{"Location", "/v2/claim-job/"}});
        } else {
            RawHttpServer::respond(socket, 200, R"({"claimed":false})");
        }
    });
    kwtest::runTask(client().claimJob(QUuid::createUuid(), "w", "p"));
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[1].method, "POST");
    EXPECT_EQ(server.requests()[1].body, server.requests()[0].body);
}

TEST_F(ApiTestFixture, StalledClaimFailsOnIdleLimit) {
    server.setHandler([](const RecordedRequest&, QTcpSocket*) {});
    EXPECT_EQ(failureText(client().claimJob(QUuid::createUuid(), "w", "p")),
              "Transport error: The request timed out.");
}
