// MCISOUND on sound files that GStreamer plays only in part, heard through the
// capture device and compared with what ffmpeg decodes from the same file:
// AIFF of every PCM depth and the AIFF-C codings, big-endian (RIFX) WAVE
// files, WMA where GStreamer has no ASF demultiplexer; and the shared WMA file
// that holds a header without any sound.
//
// The comparison is sample by sample. The reference is ffmpeg's decoding
// converted by libswresample to the capture's format (16-bit, 44.1 kHz,
// stereo); every file is made at 44.1 kHz in stereo, so no resampler and no
// channel mixing stands between the two. Each sample heard must lie within 2
// steps of 16 bits of the reference: GStreamer's converter dithers by up to a
// step when it narrows samples (8-bit ones too, which it widens through 32
// bits), libswresample cuts them without dither. A wrong byte order, depth,
// coding or channel order, a shifted start or a seek that lands elsewhere is
// off by thousands of steps.
#include "player/formats/audio/mcisound.h"

#include "common/settings.h"
#include "platform/mci/mci_gstreamer.h"
#include "player/formats/media_polling.h"
#include "player/formats/media_tools.h"
#include "support/scoped_env.h"
#include "support/shared_media.h"
#include "support/temp_home.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace qorve {
namespace {

constexpr int kMostStepsOff = 2;
constexpr std::size_t kCaptureHeaderBytes = 44;
constexpr std::size_t kSamplesPerSecond = 44100 * 2;  // stereo

// Interleaved 16-bit little-endian samples from `offset` on.
std::vector<int16_t> Samples(const std::string& bytes, std::size_t offset) {
  std::vector<int16_t> samples;
  if (bytes.size() <= offset) return samples;
  samples.resize((bytes.size() - offset) / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto low = static_cast<unsigned char>(bytes[offset + 2 * i]);
    const auto high = static_cast<unsigned char>(bytes[offset + 2 * i + 1]);
    samples[i] = static_cast<int16_t>(static_cast<uint16_t>(low | high << 8));
  }
  return samples;
}

// What ffmpeg decodes from `file`, in the capture's format (through `raw`).
std::vector<int16_t> FfmpegDecoding(const std::filesystem::path& file, const std::filesystem::path& raw) {
  if (!test::RunQuietly("ffmpeg -nostdin -v error -y -i " + test::Quote(file) + " -f s16le -ar 44100 -ac 2 " +
                        test::Quote(raw))) {
    return {};
  }
  return Samples(test::Bytes(raw), 0);
}

// Where the first sound ffmpeg decodes lies on the file's time line, in
// samples of the capture's format. A WMA decoder gives nothing for the first
// two packets, so its sound starts at their time: a seek to 0.5 s is then
// that much less than 0.5 s into the decoding.
std::size_t FirstSoundSample(const std::filesystem::path& file) {
  const std::string command = "ffprobe -v error -select_streams a:0 -read_intervals %+#8 -show_entries "
                              "frame=best_effort_timestamp_time -of csv=p=0 " + test::Quote(file);
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return 0;
  double seconds = 0;
  if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = 0;
  pclose(pipe);
  return static_cast<std::size_t>(std::lround(seconds * 44100)) * 2;
}

// `heard[from, from + count)` against `reference[at, at + count)`.
testing::AssertionResult SameSound(const std::vector<int16_t>& heard, std::size_t from,
                                   const std::vector<int16_t>& reference, std::size_t at, std::size_t count) {
  if (from + count > heard.size() || at + count > reference.size()) {
    return testing::AssertionFailure() << "too short: " << heard.size() << " samples heard, " << reference.size()
                                       << " in the reference";
  }
  for (std::size_t i = 0; i < count; ++i) {
    const int off = std::abs(static_cast<int>(heard[from + i]) - static_cast<int>(reference[at + i]));
    if (off > kMostStepsOff) {
      return testing::AssertionFailure() << "sample " << i << " (frame " << i / 2 << ") is " << heard[from + i]
                                         << ", ffmpeg decodes " << reference[at + i];
    }
  }
  return testing::AssertionSuccess();
}

double Rms(const std::vector<int16_t>& samples) {
  double sum = 0;
  for (const int16_t sample : samples) sum += static_cast<double>(sample) * sample;
  return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

struct SoundFile {
  const char* name;
  const char* file;       // made in the test's folder
  const char* extension;  // as the factory hands it to MCISOUND
  const char* command;    // makes %OUT from %IN (one second of two tones, 32-bit float)
  int bits = 0;           // the format fields MCISOUND shows (0: none read for the extension)
  bool withoutAsfDemuxer = false;
};

class McisoundDecoding : public test::TempHome, public testing::WithParamInterface<SoundFile> {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    if (!test::HaveTool("sox") || !test::HaveTool("ffmpeg")) GTEST_SKIP() << "sox and ffmpeg make the files";
    saved_ = ProgramSettings();
    settingsSaved_ = true;
    ProgramSettings().kestravoxLog = 0;
    // A different tone on each side, so that swapped channels show.
    tone_ = root() / "tone.wav";
    ASSERT_TRUE(test::RunQuietly("sox -n -r 44100 -c 2 -b 32 -e floating-point " + test::Quote(tone_) +
                                 " synth 1 sine 440 sine 660 vol 0.6"));
    capture_ = root() / "capture.wav";
    env_.Set("QORVE_AUDIO", ("wav-fast:" + capture_.string()).c_str());
  }
  void TearDown() override {
    if (asfDemuxer_) {
      gst_plugin_feature_set_rank(asfDemuxer_, asfRank_);
      gst_object_unref(asfDemuxer_);
    }
    if (settingsSaved_) ProgramSettings() = saved_;
    TempHome::TearDown();
  }

  // As where the plugin set holding it is not installed.
  void TakeAwayAsfDemuxer() {
    ASSERT_TRUE(GstreamerAvailable());
    asfDemuxer_ = gst_registry_lookup_feature(gst_registry_get(), "asfdemux");
    if (!asfDemuxer_) GTEST_SKIP() << "GStreamer has no ASF demultiplexer to take away";
    asfRank_ = gst_plugin_feature_get_rank(asfDemuxer_);
    gst_plugin_feature_set_rank(asfDemuxer_, GST_RANK_NONE);
  }

  // Plays from `from` (seconds; < 0: where it stands) until the device has
  // stopped at the end, as the controller sees it.
  static void PlayThrough(MediaFile& media, double from) {
    MediaInfo info;
    media.GetInfo(info);
    media.Play(from);
    const MediaState state = test::PollUntil(
        media, [&](const MediaState& now) { return now.PlayState == kStopped && now.TimePos >= info.Length; });
    ASSERT_EQ(state.PlayState, kStopped);
    ASSERT_GE(state.TimePos, info.Length);
  }

  Settings saved_;
  bool settingsSaved_ = false;
  std::filesystem::path tone_;
  std::filesystem::path capture_;
  test::ScopedEnv env_;
  GstPluginFeature* asfDemuxer_ = nullptr;
  guint asfRank_ = 0;
};

TEST_P(McisoundDecoding, HearsWhatFfmpegDecodesFromTheStartAndFromTheMiddle) {
  const SoundFile& sound = GetParam();
  if (sound.withoutAsfDemuxer) {
    TakeAwayAsfDemuxer();
    if (IsSkipped()) return;
  }
  const auto file = root() / sound.file;
  std::string command = sound.command;
  command.replace(command.find("%IN"), 3, test::Quote(tone_));
  command.replace(command.find("%OUT"), 4, test::Quote(file));
  ASSERT_TRUE(test::RunQuietly(command)) << command;
  const std::vector<int16_t> reference = FfmpegDecoding(file, root() / "reference.raw");
  ASSERT_GE(reference.size(), kSamplesPerSecond * 9 / 10) << "ffmpeg decodes " << file;
  ASSERT_GT(Rms(reference), 3000.0);

  {
    MCISOUND media;
    ASSERT_EQ(media.Open(file.string(), sound.extension, nullptr), kResultSuccess);
    MediaInfo info;
    media.GetInfo(info);
    // WMA's length is its header's, which need not end on the last block.
    EXPECT_NEAR(info.Length, static_cast<double>(reference.size()) / kSamplesPerSecond, 0.05);
    EXPECT_STREQ(info.Format, sound.extension);
    if (sound.bits != 0) {
      EXPECT_EQ(info.SampleRate, 44100);
      EXPECT_EQ(info.Channels, 2);
      EXPECT_EQ(info.Bits, sound.bits);
    }
    PlayThrough(media, -1.0);
    if (HasFatalFailure()) return;
    PlayThrough(media, 0.5);
  }

  // The whole file, then all from 0.5 s on again.
  const std::vector<int16_t> heard = Samples(test::Bytes(capture_), kCaptureHeaderBytes);
  const std::size_t half = kSamplesPerSecond / 2 - FirstSoundSample(file);
  ASSERT_EQ(heard.size(), reference.size() + (reference.size() - half));
  EXPECT_TRUE(SameSound(heard, 0, reference, 0, reference.size())) << "from the start";
  EXPECT_TRUE(SameSound(heard, reference.size(), reference, half, reference.size() - half)) << "from 0.5 s";

}

INSTANTIATE_TEST_SUITE_P(
    Files, McisoundDecoding,
    testing::Values(
        SoundFile{"Aiff8", "song.aif", "AIF", "sox %IN -e signed-integer -b 8 %OUT"},
        SoundFile{"Aiff16", "song.aif", "AIF", "sox %IN -e signed-integer -b 16 %OUT"},
        SoundFile{"Aiff24", "song.aif", "AIF", "sox %IN -e signed-integer -b 24 %OUT"},
        SoundFile{"Aiff32", "song.aif", "AIF", "sox %IN -e signed-integer -b 32 %OUT"},
        SoundFile{"AiffcSowt", "song.aif", "AIF", "ffmpeg -nostdin -v error -y -i %IN -c:a pcm_s16le -f aiff %OUT"},
        SoundFile{"AiffcFl32", "song.aif", "AIF", "ffmpeg -nostdin -v error -y -i %IN -c:a pcm_f32be -f aiff %OUT"},
        SoundFile{"AiffcUlaw", "song.aif", "AIF", "ffmpeg -nostdin -v error -y -i %IN -c:a pcm_mulaw -f aiff %OUT"},
        SoundFile{"AiffcAlaw", "song.aif", "AIF", "ffmpeg -nostdin -v error -y -i %IN -c:a pcm_alaw -f aiff %OUT"},
        // sox writes the plain format chunk only as "wavpcm"; ffmpeg reads
        // no RIFX file with the extensible one.
        SoundFile{"Rifx16", "song.wav", "WAV", "sox %IN -B -e signed-integer -b 16 -t wavpcm %OUT", 16},
        SoundFile{"Rifx24", "song.wav", "WAV", "sox %IN -B -e signed-integer -b 24 -t wavpcm %OUT", 24},
        SoundFile{"Rifx32", "song.wav", "WAV", "sox %IN -B -e signed-integer -b 32 -t wavpcm %OUT", 32},
        SoundFile{"WmaWithoutAsfDemuxer", "song.wma", "WMA",
                  "ffmpeg -nostdin -v error -y -i %IN -c:a wmav2 -b:a 192k %OUT", 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The shared file is the header of a longer WMA file without any of its
// packets: its header states 96 s, but there is nothing to decode (ffmpeg
// gives no sample either). MCISOUND refuses it as a file it cannot play,
// rather than playing silence for the stated length.
class McisoundSharedWma : public test::TempHome {};

TEST_F(McisoundSharedWma, HeaderWithoutAnyPacketIsRefusedAsAFileItCannotPlay) {
  const auto file = test::SharedMedia() / "wma/taglib_real_example.wma";
  QORVE_NEED_SHARED_MEDIA_AT(file);
  test::ScopedEnv env;
  env.Set("QORVE_AUDIO", "wav-fast:/dev/null");
  const Settings saved = ProgramSettings();
  ProgramSettings().kestravoxLog = 0;
  {
    MCISOUND media;
    EXPECT_EQ(media.Open(file.string(), "WMA", nullptr), kResultWrongExtension);
  }
  ProgramSettings() = saved;
  if (test::HaveTool("ffmpeg")) {
    EXPECT_TRUE(FfmpegDecoding(file, root() / "reference.raw").empty());
  }
}

}  // namespace
}  // namespace qorve
