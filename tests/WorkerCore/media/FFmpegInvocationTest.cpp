#include "media/FFmpegInvocation.h"

#include <gtest/gtest.h>

namespace {

const QString kInput = QStringLiteral("/scratch/job 7/input \"it's\",1.mov");
const QString kOutput = QStringLiteral("/scratch/job 7/out, 'put'.mov");

const QStringList kProresHead = {
    "-i",
    kInput,
    "-c:v",
    "prores_videotoolbox",
    "-profile:v",
    "0",
    "-vf",
    "scale=3840:2160:force_original_aspect_ratio=decrease,pad=3840:2160:(ow-iw)/2:(oh-ih)/2",
    "-r",
    "25"};

struct ArgumentsCase {
    const char* name;
    FFmpegInvocation invocation;
    std::optional<QString> proresEncoder; // none: the default list
    QStringList expected;
};

std::vector<ArgumentsCase> argumentCases() {
    using Inv = FFmpegInvocation;
    QStringList proresAudio = kProresHead;
    proresAudio << "-c:a"
                << "pcm_s16le"
                << "-ar"
                << "48000"
                << "-ac"
                << "2"
                << "-y" << kOutput;
    QStringList proresSilent = kProresHead;
    proresSilent << "-an"
                 << "-y" << kOutput;
    QStringList softwareAudio = proresAudio;
    softwareAudio[3] = "prores_aw";
    return {
        {"ProresWithAudio", Inv(Inv::ProresVideoToolbox{kInput, kOutput, true}), {}, proresAudio},
        {"ProresWithoutAudio",
         Inv(Inv::ProresVideoToolbox{kInput, kOutput, false}),
         {},
         proresSilent},
        {"ProresHardwareEncoderExplicit", Inv(Inv::ProresVideoToolbox{kInput, kOutput, false}),
         QStringLiteral("prores_videotoolbox"), proresSilent},
        {"ProresSoftwareFallback", Inv(Inv::ProresVideoToolbox{kInput, kOutput, true}),
         QStringLiteral("prores_aw"), softwareAudio},
        {"Thumbnail",
         Inv(Inv::ThumbnailFrame50{kInput, kOutput}),
         {},
         {"-i", kInput, "-vf",
          "select=eq(n\\,50),scale=400:400:force_original_aspect_ratio=decrease", "-vframes", "1",
          "-q:v", "2", "-y", kOutput}},
        {"ThumbnailIgnoresProresEncoder",
         Inv(Inv::ThumbnailFrame50{kInput, kOutput}),
         QStringLiteral("prores_aw"),
         {"-i", kInput, "-vf",
          "select=eq(n\\,50),scale=400:400:force_original_aspect_ratio=decrease", "-vframes", "1",
          "-q:v", "2", "-y", kOutput}},
        {"Preview",
         Inv(Inv::PreviewProxy400p{kInput, kOutput}),
         {},
         {"-i", kInput, "-vf", "scale=-2:400", "-c:v", "libx264", "-preset", "fast", "-crf", "23",
          "-movflags", "+faststart", "-an", "-y", kOutput}},
    };
}

} // namespace

TEST(FFmpegInvocationTest, ArgumentListsElementByElement) {
    for (const ArgumentsCase& c : argumentCases()) {
        SCOPED_TRACE(c.name);
        const QStringList actual =
            c.proresEncoder ? c.invocation.arguments(*c.proresEncoder) : c.invocation.arguments();
        EXPECT_EQ(actual, c.expected);
        // Paths with spaces, quotes and commas stay single, untouched elements.
        EXPECT_EQ(actual.count(kInput), 1);
        EXPECT_EQ(actual.last(), kOutput);
        // Each reading gives the same list.
        EXPECT_EQ(actual, c.proresEncoder ? c.invocation.arguments(*c.proresEncoder)
                                          : c.invocation.arguments());
    }
}

TEST(FFmpegInvocationTest, ProresAudioElementsAndLengths) {
    using Inv = FFmpegInvocation;
    const QStringList withAudio = Inv(Inv::ProresVideoToolbox{kInput, kOutput, true}).arguments();
    ASSERT_EQ(withAudio.size(), 18);
    EXPECT_EQ(withAudio[10], "-c:a");
    EXPECT_EQ(withAudio[17], kOutput);
    const QStringList silent = Inv(Inv::ProresVideoToolbox{kInput, kOutput, false}).arguments();
    ASSERT_EQ(silent.size(), 13);
    EXPECT_EQ(silent[10], "-an");
    EXPECT_EQ(silent[12], kOutput);
    EXPECT_EQ(Inv(Inv::ThumbnailFrame50{kInput, kOutput}).arguments().size(), 10);
    EXPECT_EQ(Inv(Inv::PreviewProxy400p{kInput, kOutput}).arguments().size(), 15);
}

TEST(FFmpegInvocationTest, ThumbnailFilterHasOneBackslashBeforeTheComma) {
    using Inv = FFmpegInvocation;
    const QString filter = Inv(Inv::ThumbnailFrame50{kInput, kOutput}).arguments()[3];
    EXPECT_EQ(filter.size(), 67);
    EXPECT_EQ(filter.count(u'\\'), 1);
    EXPECT_EQ(filter.indexOf(u'\\'), filter.indexOf(QStringLiteral("eq(n")) + 4);
    EXPECT_EQ(filter[filter.indexOf(u'\\') + 1], u',');
}

TEST(FFmpegInvocationTest, EncoderChoiceFollowsWhatFFmpegHas) {
    EXPECT_EQ(FFmpegInvocation::proresEncoderFor({"prores_videotoolbox", "prores_aw"}),
              "prores_videotoolbox");
    EXPECT_EQ(FFmpegInvocation::proresEncoderFor({"prores_aw", "prores_ks", "libx264"}),
              "prores_aw");
    EXPECT_EQ(FFmpegInvocation::proresEncoderFor({}), "prores_aw");
}

TEST(FFmpegInvocationTest, ProbeArgumentsEndWithTheSourcePath) {
    EXPECT_EQ(FFmpegInvocation::probeArguments(kInput),
              (QStringList{"-v", "error", "-show_entries", "format=duration", "-of",
                           "default=noprint_wrappers=1:nokey=1", kInput}));
}
