#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <variant>

// One ffmpeg run, as the exact argument list handed to the child (no shell in
// between, so paths go in as single, unquoted elements).
class FFmpegInvocation {
public:
    struct ProresVideoToolbox {
        QString input;
        QString output;
        bool preserveAudio = false;
    };
    struct ThumbnailFrame50 {
        QString input;
        QString output;
    };
    struct PreviewProxy400p {
        QString input;
        QString output;
    };
    using Op = std::variant<ProresVideoToolbox, ThumbnailFrame50, PreviewProxy400p>;

    explicit FFmpegInvocation(Op op)
        : m_op(std::move(op)) {}

    const Op& op() const { return m_op; }
    bool usesProresEncoder() const { return std::holds_alternative<ProresVideoToolbox>(m_op); }

    // The hardware encoder of the ProRes recipe, and the software one used where
    // ffmpeg lacks it (same profile, filter, rate and audio options).
    static QString hardwareProresEncoder() { return QStringLiteral("prores_videotoolbox"); }
    static QString softwareProresEncoder() { return QStringLiteral("prores_aw"); }
    static QString proresEncoderFor(const QSet<QString>& availableEncoders);

    // With the hardware ProRes encoder.
    QStringList arguments() const { return arguments(hardwareProresEncoder()); }
    // `proresEncoder` only matters for the ProRes recipe.
    QStringList arguments(const QString& proresEncoder) const;

    // ffprobe's arguments to print a source's container duration alone.
    static QStringList probeArguments(const QString& sourcePath);

private:
    Op m_op;
};
