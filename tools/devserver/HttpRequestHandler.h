#pragma once

#include "HttpBodySink.h"
#include "HttpRequest.h"

#include <memory>

class HttpConnection;

// What a connection asks of the application, once per request.
class HttpRequestHandler {
public:
    virtual ~HttpRequestHandler() = default;
    // The head is in, the body not yet. A sink returned here receives the body;
    // without one the body is kept in memory up to a small limit.
    virtual std::unique_ptr<HttpBodySink> openBody(const HttpRequest& head,
                                                   HttpConnection* connection) = 0;
    // The whole body is in. The handler must answer through connection->respond(),
    // now or later; the connection reads nothing more until it has.
    virtual void handle(HttpRequest request, std::unique_ptr<HttpBodySink> body,
                        HttpConnection* connection) = 0;
};
