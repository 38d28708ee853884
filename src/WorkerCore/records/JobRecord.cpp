#include "records/JobRecord.h"

#include <array>
#include <utility>

namespace {
constexpr std::array<std::pair<JobRecord::State, const char*>, 7> kStates{{
    {JobRecord::State::claimed, "claimed"},
    {JobRecord::State::downloading, "downloading"},
    {JobRecord::State::encoding, "encoding"},
    {JobRecord::State::uploading, "uploading"},
    {JobRecord::State::completing, "completing"},
    {JobRecord::State::completed, "completed"},
    {JobRecord::State::failed, "failed"},
}};
constexpr std::array<std::pair<JobRecord::JobType, const char*>, 3> kTypes{{
    {JobRecord::JobType::prores, "prores"},
    {JobRecord::JobType::thumbnail, "thumbnail"},
    {JobRecord::JobType::preview, "preview"},
}};
} // namespace

QString JobRecord::toString(State state) {
    for (const auto& [value, text] : kStates) {
        if (value == state) {
            return QString::fromLatin1(text);
        }
    }
    return {};
}

QString JobRecord::toString(JobType type) {
    for (const auto& [value, text] : kTypes) {
        if (value == type) {
            return QString::fromLatin1(text);
        }
    }
    return {};
}

std::optional<JobRecord::State> JobRecord::stateFromString(const QString& text) {
    for (const auto& [value, raw] : kStates) {
        if (text == QLatin1String(raw)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<JobRecord::JobType> JobRecord::jobTypeFromString(const QString& text) {
    for (const auto& [value, raw] : kTypes) {
        if (text == QLatin1String(raw)) {
            return value;
        }
    }
    return std::nullopt;
}
