#include "media/FFmpegInvocation.h"

namespace {

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

} // namespace

QString FFmpegInvocation::proresEncoderFor(const QSet<QString>& availableEncoders) {
    return availableEncoders.contains(hardwareProresEncoder()) ? hardwareProresEncoder()
                                                               : softwareProresEncoder();
}

QStringList FFmpegInvocation::arguments(const QString& proresEncoder) const {
    return std::visit(
        Overloaded{
            [&](const ProresVideoToolbox& op) {
                QStringList list{
                    QStringLiteral("-i"),
                    op.input,
                    QStringLiteral("-c:v"),
                    proresEncoder,
                    QStringLiteral("-profile:v"),
                    QStringLiteral("0"),
                    QStringLiteral("-vf"),
                    QStringLiteral("scale=3840:2160:force_original_aspect_ratio=decrease,"
                                   "pad=3840:2160:(ow-iw)/2:(oh-ih)/2"),
                    QStringLiteral("-r"),
                    QStringLiteral("25"),
                };
                if (op.preserveAudio) {
                    list << QStringLiteral("-c:a") << QStringLiteral("pcm_s16le")
                         << QStringLiteral("-ar") << QStringLiteral("48000")
                         << QStringLiteral("-ac") << QStringLiteral("2");
                } else {
                    list << QStringLiteral("-an");
                }
                list << QStringLiteral("-y") << op.output;
                return list;
            },
            [](const ThumbnailFrame50& op) {
                // The backslash keeps ffmpeg's filter parser from splitting eq(n,50).
                return QStringList{
                    QStringLiteral("-i"),
                    op.input,
                    QStringLiteral("-vf"),
                    QStringLiteral(
                        "select=eq(n\\,50),scale=400:400:force_original_aspect_ratio=decrease"),
                    QStringLiteral("-vframes"),
                    QStringLiteral("1"),
                    QStringLiteral("-q:v"),
                    QStringLiteral("2"),
                    QStringLiteral("-y"),
                    op.output,
                };
            },
            [](const PreviewProxy400p& op) {
                return QStringList{
                    QStringLiteral("-i"),
                    op.input,
                    QStringLiteral("-vf"),
                    QStringLiteral("scale=-2:400"),
                    QStringLiteral("-c:v"),
                    QStringLiteral("libx264"),
                    QStringLiteral("-preset"),
                    QStringLiteral("fast"),
                    QStringLiteral("-crf"),
                    QStringLiteral("23"),
                    QStringLiteral("-movflags"),
                    QStringLiteral("+faststart"),
                    QStringLiteral("-an"),
                    QStringLiteral("-y"),
                    op.output,
                };
            },
        },
        m_op);
}

QStringList FFmpegInvocation::probeArguments(const QString& sourcePath) {
    return QStringList{
        QStringLiteral("-v"),
        QStringLiteral("error"),
        QStringLiteral("-show_entries"),
        QStringLiteral("format=duration"),
        QStringLiteral("-of"),
        QStringLiteral("default=noprint_wrappers=1:nokey=1"),
        sourcePath,
    };
}
