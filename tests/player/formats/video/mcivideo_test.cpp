// MCIVIDEO against a scripted MCI driver: the "MPEGVideo" open and the open
// by extension after it, a length of 0 taken as 1 second, the window handed
// to the device, the source size, the destination rectangle on every
// SetVideoSize.
#include "player/formats/video/mcivideo.h"

#include "common/settings.h"
#include "player/visual/video_window.h"
#include "support/qt_application.h"
#include "support/settings_home.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <vector>

namespace qorve {
namespace {

struct Command {
  uint32_t message;
  uintptr_t flags;
  std::string type;      // MCI_OPEN
  MCI_RECT rect{};       // MCI_PUT
  uintptr_t window = 0;  // MCI_WINDOW
  uint32_t value = 0;    // MCI_PLAY's dwFrom, the speed of MCI_SET
};

class ScriptedVideoDevice {
 public:
  std::deque<MCIERROR> openResults;  // one per MCI_OPEN; empty: success
  uint32_t lengthMs = 0;
  MCI_RECT source{0, 0, 320, 240};
  std::vector<Command> sent;

  MCIERROR operator()(MCIDEVICEID, uint32_t message, uintptr_t flags, void* params) {
    Command command{message, flags, ""};
    MCIERROR result = MCIERR_NO_ERROR;
    switch (message) {
      case MCI_OPEN: {
        auto* open = static_cast<MCI_OPEN_PARMS*>(params);
        if (flags & MCI_OPEN_TYPE) command.type = open->lpstrDeviceType;
        if (!openResults.empty()) {
          result = openResults.front();
          openResults.pop_front();
        }
        if (result == MCIERR_NO_ERROR) open->wDeviceID = 7;
        break;
      }
      case MCI_STATUS: {
        auto* status = static_cast<MCI_STATUS_PARMS*>(params);
        status->dwReturn = status->dwItem == MCI_STATUS_LENGTH ? lengthMs : 0;
        break;
      }
      case MCI_WINDOW:
        command.window = static_cast<MCI_DGV_WINDOW_PARMS*>(params)->hWnd;
        break;
      case MCI_WHERE:
        static_cast<MCI_DGV_RECT_PARMS*>(params)->rc = source;
        break;
      case MCI_PUT:
        command.rect = static_cast<MCI_DGV_RECT_PARMS*>(params)->rc;
        break;
      case MCI_PLAY:
        command.value = static_cast<MCI_PLAY_PARMS*>(params)->dwFrom;
        break;
      case MCI_SET:
        if (flags & MCI_DGV_SET_SPEED) command.value = static_cast<MCI_DGV_SET_PARMS*>(params)->dwSpeed;
        break;
      default:
        break;
    }
    sent.push_back(command);
    return result;
  }

  std::vector<Command> All(uint32_t message) const {
    std::vector<Command> found;
    for (const Command& c : sent) {
      if (c.message == message) found.push_back(c);
    }
    return found;
  }
};

class McivideoObject : public test::SettingsHome {
 protected:
  void SetUp() override {
    SettingsHome::SetUp();
    test::TestApplication();
    SetMciDriverForTesting([this](MCIDEVICEID id, uint32_t m, uintptr_t f, void* p) { return device_(id, m, f, p); });
  }
  void TearDown() override {
    SetMciDriverForTesting(nullptr);
    DestroyVideoWindow();
    SettingsHome::TearDown();
  }
  ScriptedVideoDevice device_;
};

TEST_F(McivideoObject, RefusedByMpegVideoOpensByExtensionAndLengthZeroIsOneSecond) {
  device_.openResults = {MCIERR_INVALID_FILE, MCIERR_NO_ERROR};
  MCIVIDEO video;
  ASSERT_EQ(video.Open("/videos/clip.ogm", "OGM", nullptr), kResultSuccess);
  const auto opens = device_.All(MCI_OPEN);
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[0].type, "MPEGVideo");
  EXPECT_EQ(opens[1].type, "");
  MediaInfo info;
  video.GetInfo(info);
  EXPECT_EQ(info.Length, 1.0);
  EXPECT_EQ(info.Width, 320);
  EXPECT_EQ(info.Height, 240);
  EXPECT_STREQ(info.FileName, "clip.ogm");
  // The device draws through the video window.
  const auto windows = device_.All(MCI_WINDOW);
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].window, reinterpret_cast<uintptr_t>(VideoWindowSurface()));
}

TEST_F(McivideoObject, BothOpensRefusedGiveTheCodeOfTheLast) {
  device_.openResults = {MCIERR_INVALID_FILE, MCIERR_FILE_NOT_FOUND};
  MCIVIDEO video;
  EXPECT_EQ(video.Open("/videos/gone.avi", "AVI", nullptr), kResultFileNotFound);
  device_.sent.clear();
  video.Close();  // nothing is open: nothing is sent
  EXPECT_TRUE(device_.sent.empty());
}

TEST_F(McivideoObject, EverySizeEndsWithTheDestinationRectangle) {
  device_.lengthMs = 5000;
  MCIVIDEO video;
  ASSERT_EQ(video.Open("/videos/clip.avi", "AVI", nullptr), kResultSuccess);
  const MCI_RECT natural = device_.All(MCI_PUT).back().rect;
  EXPECT_EQ(natural.right, 320);  // width and height, not corners
  EXPECT_EQ(natural.bottom, 240);
  // Full screen twice: the second finds the screen covered and still fits.
  video.SetVideoSize(3, 0, 0);
  video.CenterVideo();
  const std::size_t puts = device_.All(MCI_PUT).size();
  video.SetVideoSize(3, 0, 0);
  EXPECT_EQ(device_.All(MCI_PUT).size(), puts + 1);
}

// Arguments no device value can hold: a position that is not finite and a
// negative speed send nothing; a huge position or speed is held to the
// largest the device takes.
TEST_F(McivideoObject, TransportRefusesWhatTheDeviceCannotTake) {
  device_.lengthMs = 5000;
  MCIVIDEO video;
  ASSERT_EQ(video.Open("/videos/clip.avi", "AVI", nullptr), kResultSuccess);
  device_.sent.clear();
  video.Play(std::nan(""));
  video.Play(-HUGE_VAL);
  video.SetSpeed(-5);
  EXPECT_TRUE(device_.sent.empty());

  video.Play(1e12);
  video.SetSpeed(std::numeric_limits<int>::max());
  ASSERT_EQ(device_.sent.size(), 2u);
  EXPECT_EQ(device_.sent[0].flags, MCI_FROM);
  EXPECT_EQ(device_.sent[0].value, std::numeric_limits<uint32_t>::max());
  EXPECT_EQ(device_.sent[1].flags, MCI_WAIT | MCI_DGV_SET_SPEED);
  EXPECT_EQ(device_.sent[1].value, std::numeric_limits<uint32_t>::max() / 10 * 10);
}

}  // namespace
}  // namespace qorve
