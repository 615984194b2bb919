// Files that name other files or addresses: the playlists and manifests of
// the fuzz corpus are recognised and refused by both devices, real media
// passes, and a libavformat context confined to its file opens nothing else
// even with a demultiplexer that follows what the file names (watched with
// inotify, which sees every open of the folder's files).
#include "platform/mci/file_gate.h"

#include "platform/mci/libav_media.h"
#include "platform/mci/mci_device.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace qorve {
namespace {

namespace fs = std::filesystem;

// Names of the files of a folder opened while it was watched.
class OpenWatch {
 public:
  explicit OpenWatch(const fs::path& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) inotify_add_watch(fd_, folder.c_str(), IN_OPEN);
  }
  ~OpenWatch() {
    if (fd_ >= 0) close(fd_);
  }
  std::vector<std::string> Opened() {
    std::vector<std::string> names;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0) names.emplace_back(event->name);
        at += sizeof(inotify_event) + event->len;
      }
    }
    return names;
  }

 private:
  int fd_;
};

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class FileGate : public test::TempHome {
 protected:
  void SetUp() override {
    test::TempHome::SetUp();
    audio_.Set("QORVE_AUDIO", "wav-fast:/dev/null");
    beside_ = root() / "beside";
    fs::create_directories(beside_);
    fs::create_directories(root() / "media");
    ASSERT_EQ(std::system(("sox -n -r 8000 -c 1 -b 16 '" + (beside_ / "named.wav").string() +
                           "' synth 0.2 sine 440 2>/dev/null").c_str()),
              0)
        << "sox makes the WAV file";
  }
  fs::path beside_;
  test::ScopedEnv audio_;
};

// Every playlist and manifest body of the libav_media seed corpus, saved
// under the extensions of sound and video: neither device opens it, and
// nothing beside it is read.
TEST_F(FileGate, PlaylistsAndManifestsOpenOnNoDeviceAndReadNothingElse) {
  std::vector<fs::path> bodies;
  for (const auto& entry : fs::directory_iterator(QORVE_FUZZ_CORPUS "/libav_media")) {
    if (entry.path().filename().string().starts_with("names_others_")) bodies.push_back(entry.path());
  }
  ASSERT_GE(bodies.size(), 10u);
  for (const fs::path& body : bodies) {
    std::ifstream in(body, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The bodies name a server and a folder of their own; here they name the folder beside.
    for (size_t at; (at = text.find("/srv/media")) != std::string::npos;) text.replace(at, 10, beside_.string());
    for (const char* extension : {".wav", ".avi", ".mp3"}) {
      const fs::path file = root() / "media" / (body.filename().string() + extension);
      WriteText(file, text);
      OpenWatch watch(beside_);
      MCIERROR error = MCIERR_NO_ERROR;
      EXPECT_EQ(OpenGstreamerDevice(file.string(), error), nullptr) << file;
      EXPECT_EQ(error, MCIERR_INVALID_FILE) << file;
      EXPECT_EQ(LibavMedia::Open(file.string()), nullptr) << file;
      EXPECT_EQ(MediaLengthFromStreams(file.string()), 0u) << file;
      EXPECT_TRUE(watch.Opened().empty()) << file << " read a file beside it";
    }
  }
}

TEST_F(FileGate, KnowsTheKindsThatNameOthersAndPassesRealMedia) {
  const fs::path hls = root() / "media" / "list.mp3";
  WriteText(hls, "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nhttp://127.0.0.1:9/a.ts\n#EXT-X-ENDLIST\n");
  EXPECT_EQ(ReferencingContent(hls.string()), "application/x-hls");
  const fs::path concat = root() / "media" / "list.avi";
  WriteText(concat, "ffconcat version 1.0\nfile '" + (beside_ / "named.wav").string() + "'\n");
  EXPECT_EQ(ReferencingContent(concat.string()), "concat");
  EXPECT_EQ(ReferencingContent((beside_ / "named.wav").string()), "");
  EXPECT_EQ(ReferencingContent((root() / "missing.wav").string()), "");

  // The real file still plays through both.
  MCIERROR error = MCIERR_NO_ERROR;
  EXPECT_NE(OpenGstreamerDevice((beside_ / "named.wav").string(), error), nullptr);
  EXPECT_NE(LibavMedia::Open((beside_ / "named.wav").string()), nullptr);
}

// The confinement holds where the demultiplexer is one that follows the
// names in its file: an HLS playlist read by libavformat's HLS demuxer,
// forced, may open its own file but not the segment it lists.
TEST_F(FileGate, ConfinedContextOpensOnlyItsOwnFile) {
  const fs::path list = root() / "media" / "list.m3u8";
  WriteText(list, "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + (beside_ / "named.wav").string() +
                      "\n#EXT-X-ENDLIST\n");
  const std::string url = "file:" + list.string();
  for (const bool confined : {false, true}) {
    OpenWatch watch(beside_);
    AVFormatContext* format = avformat_alloc_context();
    ASSERT_NE(format, nullptr);
    if (confined) ConfineLibavToUrl(format, url);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened = avformat_open_input(&format, url.c_str(), av_find_input_format("hls"), &options);
    av_dict_free(&options);
    if (opened >= 0) {
      avformat_find_stream_info(format, nullptr);
      avformat_close_input(&format);
    }
    const std::vector<std::string> seen = watch.Opened();
    const bool reached = std::find(seen.begin(), seen.end(), "named.wav") != seen.end();
    // Without the confinement the same playlist reaches the segment: the watch sees it.
    EXPECT_EQ(reached, !confined) << (confined ? "confined" : "unconfined");
  }
}

}  // namespace
}  // namespace qorve
