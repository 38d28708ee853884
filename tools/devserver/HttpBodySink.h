#pragma once

#include <QtGlobal>

// Receives a request body piece by piece as it comes off the socket, so large
// bodies never have to sit in memory.
class HttpBodySink {
public:
    virtual ~HttpBodySink() = default;
    virtual void write(const char* data, qint64 size) = 0;
};
