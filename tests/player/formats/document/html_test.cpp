#include "player/formats/document/html.h"

#include "platform/qt/activex_host.h"
#include "support/qt_application.h"
#include "support/temp_home.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qorve {
namespace {

// A browser control that records what it was asked to show.
struct RecordingControl final : ActiveXControl {
  explicit RecordingControl(std::vector<std::string>& log) : log_(log) { log_.push_back("created"); }
  ~RecordingControl() override { log_.push_back("released"); }
  void Navigate2(const std::string& address) override { log_.push_back(address); }
  std::vector<std::string>& log_;
};

class HtmlTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    test::TestApplication();
    owner_ = std::make_unique<QWidget>();
    owner_->resize(640, 480);
  }
  void TearDown() override {
    owner_.reset();
    RegisterActiveXControl("Shell.Explorer.2", saved_);
    TempHome::TearDown();
  }
  // Replaces the browser control for one test (null: no control at all).
  void UseControl(ActiveXControlFactory factory) { RegisterActiveXControl("Shell.Explorer.2", std::move(factory)); }
  void UseRecordingControl() {
    UseControl([this](void*) { return std::make_unique<RecordingControl>(calls_); });
  }

  QWidget& window() { return *owner_; }

  std::unique_ptr<QWidget> owner_;
  std::vector<std::string> calls_;
  ActiveXControlFactory saved_ = RegisteredActiveXControl("Shell.Explorer.2");
};

struct HintCase {
  const char* extension;
  const char* hint;
};

class HtmlMissingControlTest : public HtmlTest, public ::testing::WithParamInterface<HintCase> {};

TEST_P(HtmlMissingControlTest, Reports14WithTheComponentToInstall) {
  UseControl(nullptr);
  HTML html;
  EXPECT_EQ(html.Open("/docs/manual." + std::string(GetParam().extension), GetParam().extension, &window()),
            kResultNoActiveX);
  MediaInfo info;
  html.GetInfo(info);
  EXPECT_EQ(info.Kind, kKindDocument);
  EXPECT_STREQ(info.Codec, GetParam().hint);
  EXPECT_TRUE(window().findChildren<QWidget*>().isEmpty());  // the empty host is gone again
}

INSTANTIATE_TEST_SUITE_P(Extensions, HtmlMissingControlTest,
                         ::testing::Values(HintCase{"PDF", "Adobe Acrobat Reader"},
                                           HintCase{"HTM", "Internet Explorer 4.0 以上"},
                                           HintCase{"HTML", "Internet Explorer 4.0 以上"},
                                           HintCase{"SWF", "IE用 Flash プラグイン"}));

TEST_F(HtmlTest, NavigatesToTheFileAddressWithThePathUnchanged) {
  UseRecordingControl();
  window().show();
  {
    HTML html;
    EXPECT_EQ(html.Open("/home/u/My Docs/文書 #1.html", "HTML", &window()), kResultSuccess);
    ASSERT_EQ(window().findChildren<QWidget*>().size(), 1);
    EXPECT_EQ(window().findChildren<QWidget*>().front()->geometry(), QRect(0, 0, 640, 480));
    window().resize(700, 500);
    QApplication::processEvents();
    EXPECT_EQ(window().findChildren<QWidget*>().front()->size(), QSize(700, 500));  // it keeps filling the window
  }
  EXPECT_EQ(calls_, (std::vector<std::string>{"created", "file:///home/u/My Docs/文書 #1.html", "released"}));
  EXPECT_TRUE(window().findChildren<QWidget*>().isEmpty());
}

TEST_F(HtmlTest, WithoutOwnerWindowThereIsNoHost) {
  UseRecordingControl();
  HTML html;
  EXPECT_EQ(html.Open("/a.pdf", "PDF", nullptr), kResultNoActiveX);
  EXPECT_TRUE(calls_.empty());
}

// The real browser control, where the build has one: the page's colour shows
// in the window.
TEST_F(HtmlTest, BuiltInBrowserShowsThePage) {
  if (!saved_) GTEST_SKIP() << "built without Qt WebEngine";
  const std::filesystem::path page = root() / "page.html";
  test::WriteFile(page, "<html><body style='margin:0;background:rgb(0,160,80)'></body></html>");
  window().show();
  HTML html;
  ASSERT_EQ(html.Open(page.string(), "HTML", &window()), kResultSuccess);
  QElapsedTimer timer;
  timer.start();
  QColor centre;
  while (timer.elapsed() < 20000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    centre = window().grab().toImage().pixelColor(320, 240);
    if (centre == QColor(0, 160, 80)) break;
  }
  EXPECT_EQ(centre, QColor(0, 160, 80));
}

}  // namespace
}  // namespace qorve
