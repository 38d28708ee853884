#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

struct ClaimedJob {
    bool claimed = false;
    std::optional<QString> jobID;
    std::optional<QString> jobType;
    std::optional<QString> fileName;
    std::optional<bool> preserveAudio;

    bool operator==(const ClaimedJob&) const = default;

    // Throws APIError::malformedResponse with the decoding problem.
    static ClaimedJob fromJson(const QByteArray& body);
};
