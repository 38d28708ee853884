#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Base of every error this system throws. `description()` is the text the
// engine logs and reports (and the interface shows); `what()` mirrors it.
class WorkerError : public std::exception {
public:
    virtual QString description() const = 0;

    const char* what() const noexcept override {
        m_what = description().toUtf8();
        return m_what.constData();
    }

private:
    mutable QByteArray m_what;
};

// The text of any exception as the engine reports it.
QString describeError(const std::exception& error);
QString describeCurrentException();
