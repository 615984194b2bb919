// The two video classes end to end through the factory (VIDEOSET DSHOW picks
// DIRECTSHOW or MCIVIDEO), on videos made by ffmpeg and the shared real ones,
// in an offscreen video window: sizes, lengths, result codes of files that
// cannot play, pause and resume, stop, the window kept centred across two
// videos, full screen and back, the picture fitted in the window.
#include "player/formats/video/directshow.h"

#include "common/settings.h"
#include "player/core/media_factory.h"
#include "player/core/player_state.h"
#include "player/formats/media_maker.h"
#include "player/formats/media_tools.h"
#include "player/formats/video/mcivideo.h"
#include "player/visual/video_window.h"
#include "player/visual/video_window_widget.h"
#include "support/qt_application.h"
#include "support/scoped_env.h"
#include "support/settings_home.h"
#include "support/shared_media.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

namespace qorve {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Every generated video lasts 2 seconds.
constexpr double kMadeLength = 2.0;

struct MadeVideo {
  const char* name;  // file name; its extension is the format
  const char* options;  // ffmpeg output options
  int width;
  int height;
  bool sound;
};

constexpr MadeVideo kMadeVideos[] = {
    {"mpeg4.avi", "-c:v mpeg4 -c:a mp3", 320, 240, true},
    {"msmpeg4v2.avi", "-c:v msmpeg4v2 -an", 640, 360, false},
    {"msmpeg4.avi", "-c:v msmpeg4 -c:a pcm_s16le", 320, 240, true},
    {"mpeg1.mpg", "-c:v mpeg1video -c:a mp2 -f mpeg", 320, 240, true},
    {"mpeg2.mpeg", "-c:v mpeg2video -c:a mp2 -f vob", 640, 360, true},
    {"mpeg4.mov", "-c:v mpeg4 -c:a aac", 640, 360, true},
    {"wmv1.wmv", "-c:v wmv1 -c:a wmav2", 320, 240, true},
    {"wmv2.wmv", "-c:v wmv2 -an", 640, 360, false},
};

// The generated videos, made once for all tests in a folder of their own.
const fs::path& MadeFolder() {
  static const fs::path folder = [] {
    fs::path made = fs::temp_directory_path() / ("qorve-videos-" + std::to_string(::getpid()));
    fs::create_directories(made);
    for (const MadeVideo& video : kMadeVideos) {
      const std::string size = std::to_string(video.width) + "x" + std::to_string(video.height);
      std::string command = "ffmpeg -y -f lavfi -i testsrc=size=" + size + ":rate=25:duration=2";
      if (video.sound) command += " -f lavfi -i sine=frequency=440:duration=2";
      test::RunQuietly(command + " " + video.options + " " + test::Quote(made / video.name));
    }
    // A video stream of a codec nobody decodes, and bytes that are no video.
    test::RunQuietly("ffmpeg -y -f lavfi -i testsrc=size=64x48:rate=5:duration=1 -c:v rawvideo -pix_fmt bgr24 " +
                     test::Quote(made / "raw.avi"));
    std::string raw = test::Bytes(made / "raw.avi");
    raw.replace(188, 4, "QZQZ");
    raw.replace(112, 4, "QZQZ");
    test::PutBytes(made / "undecodable.avi", raw);
    test::PutBytes(made / "broken.avi", std::string(4096, '\x5A'));
    return made;
  }();
  return folder;
}

enum class VideoClass { DirectShow, MciVideo };

std::string ClassName(VideoClass c) { return c == VideoClass::DirectShow ? "DirectShow" : "MciVideo"; }

class VideoClassTest : public test::SettingsHome {
 protected:
  void SetUp() override {
    SettingsHome::SetUp();
    if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::TestApplication();
    env_.Set("QORVE_AUDIO", ("wav:" + (root() / "capture.wav").string()).c_str());
    // The picture classes take every extension: a video that does not open
    // would reach them and end with their code instead of the video class's.
    for (ClassGroup& group : ClassGroups()) {
      if (group.className == std::string("IMAGE")) std::swap(group.create, imageCreate_);
    }
  }
  void TearDown() override {
    Player().media.reset();
    DestroyVideoWindow();
    for (ClassGroup& group : ClassGroups()) {
      if (group.className == std::string("IMAGE") && imageCreate_) std::swap(group.create, imageCreate_);
    }
    SettingsHome::TearDown();
  }

  // Loads `path` as the player does with VIDEOSET DSHOW chosen for `which`.
  int Load(VideoClass which, const fs::path& path) {
    ProgramSettings().videosetDShow = which == VideoClass::DirectShow ? 1 : 0;
    std::string argument = path.string();
    const int result = LoadMedia(nullptr, argument, 0);
    QCoreApplication::processEvents();
    return result;
  }
  MediaFile& media() { return *Player().media; }
  MediaCreator imageCreate_ = nullptr;
  MediaState Status() { return test::StatusOf(media()); }

  // Waits up to `limit` for `done`, letting Qt run.
  static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  test::ScopedEnv env_;
};

class EachClass : public VideoClassTest, public testing::WithParamInterface<VideoClass> {};

TEST_P(EachClass, GeneratedVideosOpenWithTheirSizeAndLength) {
  for (const MadeVideo& video : kMadeVideos) {
    SCOPED_TRACE(video.name);
    ASSERT_EQ(Load(GetParam(), MadeFolder() / video.name), kResultSuccess);
    if (GetParam() == VideoClass::DirectShow) {
      EXPECT_NE(dynamic_cast<DIRECTSHOW*>(Player().media.get()), nullptr);
    } else {
      EXPECT_NE(dynamic_cast<MCIVIDEO*>(Player().media.get()), nullptr);
    }
    const MediaInfo info = test::InfoOf(media());
    EXPECT_EQ(info.Kind, kKindVideo);
    EXPECT_EQ(info.Width, video.width);
    EXPECT_EQ(info.Height, video.height);
    EXPECT_NEAR(info.Length, kMadeLength, 0.15);
    EXPECT_STREQ(info.FileName, video.name);
    // The window: natural size plus the frame, on screen.
    const VideoWindowRect window = VideoWindowRectangle();
    EXPECT_EQ(window.right - window.left, video.width + 4 * kVideoWindowEdge);
    EXPECT_EQ(window.bottom - window.top, video.height + 4 * kVideoWindowEdge);
    EXPECT_TRUE(VideoWindowWidget()->isVisible());
  }
  ASSERT_EQ(Load(GetParam(), MadeFolder() / "msmpeg4.avi"), kResultSuccess);
  EXPECT_STREQ(test::InfoOf(media()).Codec, "Microsoft MPEG-4 v3");
}

TEST_P(EachClass, SharedRealVideosOpen) {
  QORVE_NEED_SHARED_MEDIA();
  struct Real {
    const char* path;
    int width;
    int height;
  };
  for (const Real& real : {Real{"avi/filetype_msmpeg4v2_adpcm.avi", 640, 356}, Real{"mpg/filetype_fixture_mpeg1.mpg", 160, 120},
                           Real{"mov/filetype_h264.mov", 268, 156}, Real{"wmv/filetype_wmv2.wmv", 640, 356}}) {
    SCOPED_TRACE(real.path);
    ASSERT_EQ(Load(GetParam(), test::SharedMedia() / real.path), kResultSuccess);
    const MediaInfo info = test::InfoOf(media());
    EXPECT_EQ(info.Width, real.width);
    EXPECT_EQ(info.Height, real.height);
  }
}

TEST_P(EachClass, FilesThatCannotPlayGiveTheClassCode) {
  // DirectShow: the graph cannot render (4). MCI: the device refuses the file (5) or it is missing (3).
  const bool dshow = GetParam() == VideoClass::DirectShow;
  EXPECT_EQ(Load(GetParam(), MadeFolder() / "broken.avi"), dshow ? kResultUnsupported : kResultWrongExtension);
  EXPECT_EQ(Load(GetParam(), MadeFolder() / "undecodable.avi"), dshow ? kResultUnsupported : kResultWrongExtension);
  EXPECT_EQ(Load(GetParam(), MadeFolder() / "missing.avi"), dshow ? kResultUnsupported : kResultFileNotFound);
  EXPECT_EQ(test::InfoOf(media()).Kind, kKindUnplayable);
  // No video window is left behind a file that could not play.
  if (dshow) {
    EXPECT_EQ(GetVideoWindow(), nullptr);
  }
}

TEST_P(EachClass, PauseTwiceResumesWhereItStood) {
  ASSERT_EQ(Load(GetParam(), MadeFolder() / "mpeg4.avi"), kResultSuccess);
  media().Play(-1.0);
  ASSERT_TRUE(WaitFor([&] { return Status().TimePos > 0.3; }));
  media().TogglePause();
  EXPECT_EQ(Status().PlayState, kPaused);
  const double held = Status().TimePos;
  std::this_thread::sleep_for(200ms);
  EXPECT_NEAR(Status().TimePos, held, 0.05);
  media().TogglePause();
  EXPECT_EQ(Status().PlayState, kPlaying);
  ASSERT_TRUE(WaitFor([&] { return Status().TimePos > held + 0.2; }));
  EXPECT_LT(Status().TimePos, held + 1.0);  // went on, did not start again
}

TEST_P(EachClass, StopThenPlay) {
  ASSERT_EQ(Load(GetParam(), MadeFolder() / "mpeg4.avi"), kResultSuccess);
  media().Play(-1.0);
  ASSERT_TRUE(WaitFor([&] { return Status().TimePos > 0.5; }));
  media().Stop();
  const double stoppedAt = Status().TimePos;
  // The graph's stop keeps the position; MCI's stop pauses at the start.
  if (GetParam() == VideoClass::DirectShow) {
    EXPECT_EQ(Status().PlayState, kStopped);
    EXPECT_GT(stoppedAt, 0.4);
  } else {
    EXPECT_EQ(Status().PlayState, kPaused);
    EXPECT_LT(stoppedAt, 0.05);
  }
  media().Play(-1.0);
  EXPECT_EQ(Status().PlayState, kPlaying);
  ASSERT_TRUE(WaitFor([&] { return Status().TimePos > stoppedAt + 0.2; }));
}

TEST_P(EachClass, PlaysToTheEndAndSeeksBack) {
  ASSERT_EQ(Load(GetParam(), MadeFolder() / "mpeg1.mpg"), kResultSuccess);
  const double length = test::InfoOf(media()).Length;
  media().Play(-1.0);
  media().Play(length - 0.5);
  ASSERT_TRUE(WaitFor([&] { return Status().TimePos >= length; }, 3s));
  media().Play(0.0);  // what the controller does in loop mode
  ASSERT_TRUE(WaitFor([&] { return Status().TimePos > 0.2 && Status().TimePos < 1.0; }, 3s));
}

TEST_P(EachClass, TwoVideosInARowKeepTheWindowCentre) {
  ASSERT_EQ(Load(GetParam(), MadeFolder() / "mpeg4.avi"), kResultSuccess);
  MoveVideoWindow(200, 150);
  QCoreApplication::processEvents();
  const VideoWindowRect first = VideoWindowRectangle();
  const QWidget* window = VideoWindowWidget();
  ASSERT_EQ(Load(GetParam(), MadeFolder() / "mpeg4.mov"), kResultSuccess);
  EXPECT_EQ(VideoWindowWidget(), window);  // reused
  const VideoWindowRect second = VideoWindowRectangle();
  EXPECT_EQ(second.right - second.left, 640 + 4 * kVideoWindowEdge);
  EXPECT_NEAR((first.left + first.right) / 2.0, (second.left + second.right) / 2.0, 1.0);
  EXPECT_NEAR((first.top + first.bottom) / 2.0, (second.top + second.bottom) / 2.0, 1.0);
}

TEST_P(EachClass, FullScreenAndBackFitThePicture) {
  ASSERT_EQ(Load(GetParam(), MadeFolder() / "mpeg4.avi"), kResultSuccess);
  int screenWidth = 0;
  int screenHeight = 0;
  VideoScreenSize(screenWidth, screenHeight);
  const auto picture = [] { return VideoWindowWidget()->findChild<QWidget*>()->geometry(); };
  // Natural size: the picture fills the box inside the frame.
  EXPECT_EQ(picture(), QRect(2 * kVideoWindowEdge, 2 * kVideoWindowEdge, 320, 240));
  // As the FULL key does it.
  media().SetVideoSize(3, 0, 0);
  media().ShowVideo();
  media().CenterVideo();
  QCoreApplication::processEvents();
  VideoWindowRect full = VideoWindowRectangle();
  EXPECT_EQ(full.left, 0);
  EXPECT_EQ(full.top, 0);
  EXPECT_EQ(full.right, screenWidth);
  EXPECT_EQ(full.bottom, screenHeight);
  const QRect fitted = picture();
  EXPECT_EQ(fitted.width() * 240 / 320, fitted.height());  // the aspect ratio kept
  EXPECT_TRUE(fitted.width() == screenWidth - 4 * kVideoWindowEdge ||
              fitted.height() == screenHeight - 4 * kVideoWindowEdge);
  // Full screen once more changes nothing.
  media().SetVideoSize(3, 0, 0);
  full = VideoWindowRectangle();
  EXPECT_EQ(full.right - full.left, screenWidth);
  media().SetVideoSize(0, 0, 0);
  media().CenterVideo();
  const VideoWindowRect back = VideoWindowRectangle();
  EXPECT_EQ(back.right - back.left, 320 + 4 * kVideoWindowEdge);
  EXPECT_EQ(back.left, (screenWidth - (320 + 4 * kVideoWindowEdge)) / 2);
}

TEST_F(VideoClassTest, WithoutTheGraphEveryVideoSaysDirectShowIsMissing) {
  SetFilterGraphAvailableForTesting(false);
  const int result = Load(VideoClass::DirectShow, MadeFolder() / "mpeg4.avi");
  SetFilterGraphAvailableForTesting(true);
  EXPECT_EQ(result, kResultNoDirectShow);
  char text[256] = {};
  media().GetErrorText(text, sizeof text);
  EXPECT_STREQ(text, "DirectShowが利用できません。");
  EXPECT_EQ(GetVideoWindow(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Classes, EachClass, testing::Values(VideoClass::DirectShow, VideoClass::MciVideo),
                         [](const testing::TestParamInfo<VideoClass>& info) { return ClassName(info.param); });

}  // namespace
}  // namespace qorve
