// Videos through libavformat: the reader's pictures, sound, times and seeks
// on files ffmpeg makes here in every video container, the length measured
// from the streams (a still-picture MPEG-1 stream, the shared MPEG-1 video),
// files it must refuse, and the libavformat MCI device (its feeding thread)
// into the capture file, also as what the GStreamer device falls back to
// when GStreamer has no demultiplexer for the file.
#include "platform/mci/libav_media.h"

#include "platform/mci/mci_device.h"
#include "platform/mci/mci_gstreamer.h"
#include "platform/mci/video_surface.h"
#include "support/scoped_env.h"
#include "support/shared_media.h"
#include "support/temp_home.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <utility>
#include <thread>

namespace qorve {
namespace {

using namespace std::chrono_literals;

constexpr int64_t kSecond = 1'000'000'000;

bool HaveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

// One second of a 160 × 128 test picture at 25 a second and a 440 Hz tone.
void MakeVideo(const std::filesystem::path& path, const std::string& options) {
  const std::string command =
      "ffmpeg -v error -y -f lavfi -i testsrc=size=160x128:rate=25:duration=1 -f lavfi -i "
      "sine=frequency=440:duration=1 " + options + " '" + path.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// One second of one still picture as an MPEG-1 system stream: its last packet
// carries the time of the first picture only.
void MakeStillMpeg(const std::filesystem::path& folder) {
  const std::string command = "cd '" + folder.string() +
                              "' && ffmpeg -v error -y -f lavfi -i color=c=red:size=160x120:rate=25 -frames:v 1 "
                              "still.png && ffmpeg -v error -y -loop 1 -i still.png -t 1 -r 25 -c:v mpeg1video "
                              "-f mpeg still.mpg";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

struct Container {
  const char* name;
  const char* file;
  const char* options;
  bool sound;
  // libavformat (5.1) cannot seek the sound of Ogg files: after a seek it
  // reads the sound from the start again under later times.
  bool soundSeeks = true;
};

class LibavContainers : public test::TempHome, public testing::WithParamInterface<Container> {};

TEST_P(LibavContainers, GiveEveryPictureAndTheSoundInOrderFromTheStartAndFromASeek) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg makes the files";
  const auto path = root() / GetParam().file;
  MakeVideo(path, GetParam().options);
  auto media = LibavMedia::Open(path.string());
  ASSERT_NE(media, nullptr);
  ASSERT_TRUE(media->HasPicture());
  EXPECT_EQ(media->PictureFormat().width, 160);
  EXPECT_EQ(media->PictureFormat().height, 128);
  // I420, rows padded to 4: 160 × 128 + 2 × 80 × 64.
  EXPECT_EQ(media->PictureBytes(), 30720u);
  EXPECT_EQ(media->HasSound(), GetParam().sound);

  int pictures = 0;
  int64_t lastPicture = -1;
  int64_t sound = 0;  // ns of sound given out
  int64_t firstSound = -1;
  for (;;) {
    const LibavMedia::Output out = media->Next();
    if (out.kind == LibavMedia::Kind::End) break;
    if (out.kind == LibavMedia::Kind::Picture) {
      ++pictures;
      EXPECT_EQ(out.bytes.size(), media->PictureBytes());
      EXPECT_GT(out.time, lastPicture) << "picture " << pictures;
      lastPicture = out.time;
    } else {
      const LibavMedia::Sound format = media->SoundFormat();
      EXPECT_EQ(out.bytes.size() % (2u * format.channels), 0u);
      if (firstSound < 0) firstSound = out.time;
     
      sound += static_cast<int64_t>(out.bytes.size() / (2u * format.channels)) * kSecond / format.rate;
    }
  }
  EXPECT_EQ(pictures, 25);
  EXPECT_LE(lastPicture, kSecond + kSecond / 100);
  if (GetParam().sound) {
    EXPECT_LT(firstSound, kSecond / 10);
    EXPECT_NEAR(static_cast<double>(sound) / kSecond, 1.0, 0.08);
  }

  // From half way: no picture that ended before, no sound before it.
  media->SeekTo(kSecond / 2);
  int picturesAfter = 0;
  int64_t soundAfter = 0;
  for (;;) {
    const LibavMedia::Output out = media->Next();
    if (out.kind == LibavMedia::Kind::End) break;
    if (out.kind == LibavMedia::Kind::Picture) {
      ++picturesAfter;
      EXPECT_GT(out.time + out.duration, kSecond / 2);
    } else {
      EXPECT_GE(out.time, kSecond / 2);
     
      soundAfter += static_cast<int64_t>(out.bytes.size() / (2u * media->SoundFormat().channels)) * kSecond /
                    media->SoundFormat().rate;
    }
  }
  EXPECT_NEAR(picturesAfter, 13, 1);
  if (GetParam().sound && GetParam().soundSeeks) {
    EXPECT_NEAR(static_cast<double>(soundAfter) / kSecond, 0.5, 0.08);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Videos, LibavContainers,
    testing::Values(Container{"Avi", "a.avi", "-c:v mpeg4 -c:a mp3", true},
                    Container{"MpegSystem", "a.mpg", "-c:v mpeg1video -c:a mp2 -f mpeg", true},
                    Container{"MpegProgram", "a.mpeg", "-c:v mpeg2video -c:a mp2 -f vob", true},
                    Container{"MpegVideoAlone", "a.mpe", "-c:v mpeg1video -an -f mpeg1video", false},
                    Container{"QuickTime", "a.mov", "-c:v mpeg4 -c:a aac", true},
                    Container{"Ogg", "a.ogm", "-c:v libtheora -c:a libvorbis -f ogg", true, false},
                    Container{"Asf", "a.wmv", "-c:v wmv2 -c:a wmav2 -f asf", true},
                    Container{"RealMedia", "a.rm", "-c:v rv10 -c:a ac3 -f rm", true}),
    [](const auto& info) { return info.param.name; });

class LibavLength : public test::TempHome {};

// An MPEG audio stream whose second half is of another rate and channel
// count: each half is converted as what it is (the second, read as the
// first's shape, once made the resampler read a channel that is not there).
TEST_F(LibavLength, SoundThatChangesItsShapeMidwayIsConvertedWhole) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg makes the files";
  const std::string folder = root().string();
  const std::string command = "cd '" + folder +
                              "' && ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 "
                              "-ac 2 -c:a mp2 -f mp2 stereo.mp2 && ffmpeg -v error -y -f lavfi -i "
                              "sine=frequency=440:sample_rate=32000:duration=1 -ac 1 -c:a mp2 -f mp2 mono.mp2 && "
                              "cat stereo.mp2 mono.mp2 > changing.mp2";
  ASSERT_EQ(std::system(command.c_str()), 0);
  auto media = LibavMedia::Open((root() / "changing.mp2").string());
  ASSERT_NE(media, nullptr);
  ASSERT_TRUE(media->HasSound());
  const LibavMedia::Sound format = media->SoundFormat();
  int64_t sound = 0;  // ns of sound given out
  for (LibavMedia::Output out = media->Next(); out.kind != LibavMedia::Kind::End; out = media->Next()) {
    if (out.kind != LibavMedia::Kind::Sound) continue;
    ASSERT_EQ(out.bytes.size() % (2u * format.channels), 0u);
    sound += static_cast<int64_t>(out.bytes.size() / (2u * format.channels)) * kSecond / format.rate;
  }
  EXPECT_NEAR(static_cast<double>(sound) / kSecond, 2.0, 0.1);
}



TEST_F(LibavLength, ComesFromThePicturesWhereTheContainerCannotTellIt) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg makes the files";
  MakeStillMpeg(root());
  EXPECT_NEAR(MediaLengthFromStreams((root() / "still.mpg").string()), 1000.0, 40.0);
  MakeVideo(root() / "a.wmv", "-c:v wmv2 -c:a wmav2 -f asf");
  EXPECT_NEAR(MediaLengthFromStreams((root() / "a.wmv").string()), 1000.0, 100.0);
}

TEST_F(LibavLength, OfTheSharedMpegVideoIsItsNineteenPictures) {
  QORVE_NEED_SHARED_MEDIA_AT(test::SharedMedia() / "mpg/filetype_fixture_mpeg1.mpg");
  // 19 pictures at 15 a second; its header's bit rate would say 3 ms.
  EXPECT_EQ(MediaLengthFromStreams((test::SharedMedia() / "mpg/filetype_fixture_mpeg1.mpg").string()), 1267u);
}

TEST_F(LibavLength, IsZeroAndNothingOpensForFilesThatAreNoMedia) {
  const auto noise = root() / "noise.avi";
  {
    std::ofstream out(noise, std::ios::binary);
    for (int i = 0; i < 4096; ++i) out.put(static_cast<char>((i * 7919 + 13) % 251));
  }
  // A playlist naming another file is not followed.
  if (HaveFfmpeg()) MakeVideo(root() / "a.avi", "-c:v mpeg4 -c:a mp3");
  const auto list = root() / "list.mpg";
  std::ofstream(list) << "ffconcat version 1.0\nfile '" << (root() / "a.avi").string() << "'\n";
  for (const auto& path : {noise, list, root() / "missing.mpg", root()}) {
    EXPECT_EQ(MediaLengthFromStreams(path.string()), 0u) << path;
    EXPECT_EQ(LibavMedia::Open(path.string()), nullptr) << path;
  }
  MCIERROR error = MCIERR_NO_ERROR;
  EXPECT_EQ(OpenLibavDevice(noise.string(), error), nullptr);
  EXPECT_EQ(error, MCIERR_INVALID_FILE);
}

// ---- The device ----------------------------------------------------------------

class LibavDevice : public test::TempHome {
 protected:
  void SetUp() override {
    test::TempHome::SetUp();
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg makes the files";
    video_ = root() / "a.wmv";
    MakeVideo(video_, "-c:v wmv2 -c:a wmav2 -f asf");
    // The capture layer appends to a file it has written before in this
    // process: each test writes its own.
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');  // parameterised tests' names
    capture_ = root() / (name + ".wav");
    audio_.Set("QORVE_AUDIO", ("wav-fast:" + capture_.string()).c_str());
  }
  static bool WaitForStop(MciDevice& device) {
    for (int i = 0; i < 2000 && device.Mode() == MCI_MODE_PLAY; ++i) std::this_thread::sleep_for(5ms);
    return device.Mode() == MCI_MODE_STOP;
  }
  // Seconds of 44.1 kHz stereo 16-bit sound in the capture file.
  double Captured() const {
    const std::string bytes = test::ReadFile(capture_);
    return bytes.size() > 44 ? static_cast<double>(bytes.size() - 44) / (44100.0 * 4) : 0.0;
  }

  std::filesystem::path video_;
  std::filesystem::path capture_;
  test::ScopedEnv audio_;
};

TEST_F(LibavDevice, PlaysToItsEndThenFromASeekIntoTheCapture) {
  MCIERROR error = MCIERR_DRIVER;
  {
    auto device = OpenLibavDevice(video_.string(), error);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(error, MCIERR_NO_ERROR);
    MCI_RECT picture{};
    EXPECT_EQ(device->Source(picture), MCIERR_NO_ERROR);
    EXPECT_EQ(picture.right, 160);
    EXPECT_EQ(picture.bottom, 128);
    const uint32_t length = device->Length();
    EXPECT_NEAR(length, 1000.0, 100.0);
    EXPECT_EQ(device->Mode(), MCI_MODE_STOP);
    EXPECT_EQ(device->Position(), 0u);

    ASSERT_EQ(device->Play(), MCIERR_NO_ERROR);
    ASSERT_TRUE(WaitForStop(*device));
    EXPECT_EQ(device->Position(), length);

    // At the end a seek moves back (the device stays stopped there); Play
    // goes on from it.
    ASSERT_EQ(device->Seek(600), MCIERR_NO_ERROR);
    EXPECT_EQ(device->Position(), 600u);
    EXPECT_EQ(device->Mode(), MCI_MODE_STOP);
    ASSERT_EQ(device->Play(), MCIERR_NO_ERROR);
    ASSERT_TRUE(WaitForStop(*device));
    EXPECT_EQ(device->Position(), length);
  }
  // The whole second and the 0.4 s after the seek.
  EXPECT_NEAR(Captured(), 1.4, 0.15);
}

// GStreamer without its ASF demultiplexer (as where the plugin set that has
// it is not installed) refuses WMV files; the device opens them through
// libavformat with the picture, length and sound.
class WithoutAsfDemuxer : public LibavDevice {
 protected:
  void SetUp() override {
    LibavDevice::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(GstreamerAvailable());
    feature_ = gst_registry_lookup_feature(gst_registry_get(), "asfdemux");
    if (!feature_) GTEST_SKIP() << "GStreamer has no ASF demultiplexer to take away";
    rank_ = gst_plugin_feature_get_rank(feature_);
    gst_plugin_feature_set_rank(feature_, GST_RANK_NONE);
  }
  void TearDown() override {
    if (feature_) {
      gst_plugin_feature_set_rank(feature_, rank_);
      gst_object_unref(feature_);
    }
  }
  GstPluginFeature* feature_ = nullptr;
  guint rank_ = 0;
};

TEST_F(WithoutAsfDemuxer, WmvFilesOpenThroughLibavformat) {
  MCIERROR error = MCIERR_DRIVER;
  auto device = OpenGstreamerDevice(video_.string(), error);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(error, MCIERR_NO_ERROR);
  MCI_RECT picture{};
  device->Source(picture);
  EXPECT_EQ(picture.right, 160);
  EXPECT_NEAR(device->Length(), 1000.0, 100.0);
  ASSERT_EQ(device->Play(), MCIERR_NO_ERROR);
  ASSERT_TRUE(WaitForStop(*device));
  device.reset();
  EXPECT_NEAR(Captured(), 1.0, 0.15);

  const auto shared = test::SharedMedia() / "wmv/filetype_wmv2.wmv";
  QORVE_NEED_SHARED_MEDIA_AT(shared);
  device = OpenGstreamerDevice(shared.string(), error);
  ASSERT_NE(device, nullptr);
  device->Source(picture);
  EXPECT_EQ(picture.right, 640);
  EXPECT_EQ(picture.bottom, 356);
  EXPECT_GT(device->Length(), 0u);
}


// Where no native window can be drawn into (a Wayland client), both video
// devices hand the surface every picture as 32-bit pixels at the stream's
// times, on their streaming threads.
class PaintingSurface final : public VideoSurface {
 public:
  uintptr_t NativeWindow() override { return 0; }
  bool TakesPictures() const override { return true; }
  void PlacePicture(int, int, int, int) override {}
  void ShowPicture(const uint8_t* pixels, int width, int height, int stride) override {
    std::lock_guard lock(mutex);
    ++pictures;
    size = {width, height};
    const uint8_t* middle = pixels + static_cast<size_t>(height / 2) * stride + static_cast<size_t>(width / 2) * 4;
    blue = middle[0];
    red = middle[2];
  }
  std::mutex mutex;
  int pictures = 0;
  std::pair<int, int> size;
  int blue = -1, red = -1;
};

class PaintedPictures : public LibavDevice, public testing::WithParamInterface<bool> {};

TEST_P(PaintedPictures, ReachTheSurfaceThatPaintsThemWithTheirSizeAndColours) {
  const auto red = root() / "red.avi";
  ASSERT_EQ(std::system(("ffmpeg -loglevel error -nostdin -y -f lavfi -i color=c=red:size=64x48:rate=25 -f lavfi -i "
                         "sine=frequency=440 -t 1 -c:v mpeg4 -q:v 2 -c:a mp2 '" + red.string() + "'").c_str()),
            0);
  MCIERROR error = MCIERR_DRIVER;
  auto device = GetParam() ? OpenLibavDevice(red.string(), error) : OpenGstreamerDevice(red.string(), error);
  ASSERT_NE(device, nullptr) << error;
  PaintingSurface surface;
  ASSERT_EQ(device->SetWindow(reinterpret_cast<uintptr_t>(&surface)), MCIERR_NO_ERROR);
  ASSERT_EQ(device->Play(), MCIERR_NO_ERROR);
  ASSERT_TRUE(WaitForStop(*device));
  device.reset();
  std::lock_guard lock(surface.mutex);
  EXPECT_GE(surface.pictures, 10);  // a second at 25 pictures a second, some dropped at most
  EXPECT_EQ(surface.size, std::make_pair(64, 48));
  EXPECT_GT(surface.red, 200);
  EXPECT_LT(surface.blue, 60);
}

INSTANTIATE_TEST_SUITE_P(Devices, PaintedPictures, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Libav" : "Gstreamer"; });

}  // namespace
}  // namespace qorve
