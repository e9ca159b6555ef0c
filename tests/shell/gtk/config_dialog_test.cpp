#include "shell/gtk/config_dialog.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/read_file.h"
#include "bmp_file.h"
#include "shell/settings.h"
#include "support/temp_dir.h"
#include "widget_dump.h"
#include "x_harness.h"

namespace yulo {
namespace {

namespace fs = std::filesystem;
using test::Child;
using test::WidgetInfo;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string Record(int32_t volume) {
  std::string bytes = "....reserved-12";
  bytes.insert(bytes.begin(), '\0');  // 16 bytes: volume, then 12 reserved
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<char>(static_cast<uint32_t>(volume) >> (8 * i));
  return bytes;
}

// A private X server for the suite; each test has its own configuration home and install
// folder, and runs the dialog in a child process the way Configure mode does.
class ConfigDialog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new test::XServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(server_->Running()) << "Xvfb did not start";
    setenv("XDG_CONFIG_HOME", (tmp_.Path() + "/config").c_str(), 1);
    install_ = tmp_.Path() + "/install";
    keyFolder_ = tmp_.Path() + "/config/velmora/screensavers/yulo";
    fs::create_directories(install_);
    fs::create_directories(keyFolder_);
    std::ofstream(keyFolder_ + "/InstallDir_Demo") << install_;
    std::ofstream(install_ + "/links.txt") << "link1=Winter page\r\nlink2=Second link\r\n";
    dump_ = tmp_.Path() + "/widgets.txt";
  }

  void StartDialog(unsigned long owner = 0) {
    const std::string dump = dump_;
    child_ = std::make_unique<Child>([dump, owner] {
      if (!gtk_init_check(nullptr, nullptr)) return 90;
      test::DumpWidgetsWhenShown(dump);
      LoadSettings();
      return RunConfigureDialog(owner);
    });
    ASSERT_TRUE(test::WaitForFile(dump_)) << "the dialog never showed";
    widgets_ = test::ReadWidgetDump(dump_);
    test::Settle();
  }

  const WidgetInfo& Widget(const char* kind, const char* text = nullptr) {
    const WidgetInfo* w = test::FindWidget(widgets_, kind, text);
    static const WidgetInfo none{};
    EXPECT_NE(w, nullptr) << kind << " " << (text != nullptr ? text : "");
    return w != nullptr ? *w : none;
  }

  void ClickOn(const WidgetInfo& w) { test::Click(test::CentreX(w), test::CentreY(w)); }

  std::string SettingsFile() const { return keyFolder_ + "/settings"; }

  // Opens the dialog, expects both banners to show their link text, and cancels.
  void ShowsBothBannersAsText();

  static test::XServer* server_;
  test::ScopedTempDir tmp_;
  std::string install_;
  std::string keyFolder_;
  std::string dump_;
  std::unique_ptr<Child> child_;
  std::vector<WidgetInfo> widgets_;
};

test::XServer* ConfigDialog::server_ = nullptr;

TEST_F(ConfigDialog, ShowsItsCaptionAndControlsInTheirArrangement) {
  StartDialog();
  const WidgetInfo& window = Widget("window");
  EXPECT_EQ(window.text, "Yulo Screensaver");
  const WidgetInfo& ok = Widget("button", "OK");
  const WidgetInfo& cancel = Widget("button", "Cancel");
  const WidgetInfo& parameters = Widget("frame", "Parameters");
  const WidgetInfo& links = Widget("frame", "Enjoyable links");
  const WidgetInfo& volume = Widget("label", "Music volume");
  const WidgetInfo& zero = Widget("label", "0");
  const WidgetInfo& max = Widget("label", "max");
  const WidgetInfo& slider = Widget("scale");
  const WidgetInfo& banner1 = Widget("banner", "Winter page");
  const WidgetInfo& banner2 = Widget("banner", "Second link");
  EXPECT_TRUE(ok.hasDefault);
  EXPECT_FALSE(cancel.hasDefault);
  EXPECT_EQ(slider.lower, 0);
  EXPECT_EQ(slider.upper, 20);
  EXPECT_EQ(slider.value, 20) << "first run: the default volume, slider at the right end";

  if (const char* shots = std::getenv("YULO_SCREENSHOT_DIR")) {
    test::MovePointer(0, 0);
    test::Settle();
    test::RunProgram({"import", "-window", std::to_string(window.xid),
                      std::string(shots) + "/config-dialog.png"});
  }

  // The arrangement: buttons stacked at the right of the parameters, the slider inside
  // its group between the "0" and "max" labels, the banners one above the other below.
  EXPECT_GT(ok.x, parameters.x + parameters.width);
  EXPECT_EQ(cancel.x, ok.x);
  EXPECT_GT(cancel.y, ok.y + ok.height);
  EXPECT_LT(volume.y, slider.y);
  EXPECT_GE(slider.x, parameters.x);
  EXPECT_LE(slider.x + slider.width, parameters.x + parameters.width);
  EXPECT_LT(zero.x, max.x);
  EXPECT_GT(zero.y, slider.y);
  EXPECT_GT(links.y, parameters.y + parameters.height);
  EXPECT_GT(banner2.y, banner1.y + banner1.height);
  EXPECT_GE(banner1.x, links.x);
  EXPECT_LE(banner1.x + banner1.width, links.x + links.width);
  // Proportions: 202 x 180 units; banners 168 x 33; buttons 50 x 25.
  const double unitX = (links.width) / 183.0;
  const double unitY = (banner2.y - banner1.y) / 41.0;
  EXPECT_NEAR(banner1.width / unitX, 168, 3);
  EXPECT_NEAR(banner1.height / unitY, 33, 3);
  EXPECT_NEAR(ok.width / unitX, 50, 3);
  EXPECT_NEAR(ok.height / unitY, 25, 3);

  ClickOn(cancel);
  EXPECT_EQ(child_->Wait(), 0);
  EXPECT_FALSE(fs::exists(SettingsFile())) << "Cancel on a first run writes nothing";
}

TEST_F(ConfigDialog, OkStoresTheSliderPosition) {
  StartDialog();
  const WidgetInfo& slider = Widget("scale");
  ClickOn(slider);  // focuses the slider
  test::PressKeys({"Home", "Next", "Next", "Prior", "Right", "Right", "Right"});  // a page is 4
  ClickOn(Widget("button", "OK"));
  ASSERT_EQ(child_->Wait(), 0);
  const std::string stored = ReadBytes(SettingsFile());
  ASSERT_EQ(stored.size(), 16u);
  EXPECT_EQ(stored.substr(0, 4), std::string("\x07\0\0\0", 4));
  EXPECT_EQ(stored.substr(4), std::string(12, '\0'));
}

TEST_F(ConfigDialog, OkAtTheLeftEndStoresZero) {
  std::ofstream(SettingsFile(), std::ios::binary) << Record(6);
  StartDialog();
  EXPECT_EQ(Widget("scale").value, 6);
  ClickOn(Widget("scale"));
  test::PressKeys({"Home"});
  ClickOn(Widget("button", "OK"));
  ASSERT_EQ(child_->Wait(), 0);
  EXPECT_EQ(ReadBytes(SettingsFile()), Record(0)) << "volume 0, reserved bytes kept";
}

TEST_F(ConfigDialog, AChosenFrameRateCapIsKeptInTheReservedBytes) {
  // Reserved bytes that hold no cap read as none, and OK without a choice kept them
  // (OkAtTheLeftEndStoresZero); a choice replaces only the cap's four bytes.
  std::ofstream(SettingsFile(), std::ios::binary) << Record(6);
  StartDialog();
  ClickOn(Widget("combo", "No limit"));  // opens the list
  test::PressKeys({"End", "Return"});
  test::Settle();
  ClickOn(Widget("button", "OK"));
  ASSERT_EQ(child_->Wait(), 0);
  std::string expected = Record(6);
  expected.replace(4, 4, std::string("\x0a\0\0\0", 4));
  EXPECT_EQ(ReadBytes(SettingsFile()), expected) << "10 fps, the last of the list";

  fs::remove(dump_);
  StartDialog();
  EXPECT_NE(test::FindWidget(widgets_, "combo", "10 fps"), nullptr) << "the stored cap shows";
  ClickOn(Widget("button", "Cancel"));
  EXPECT_EQ(child_->Wait(), 0);
}

TEST_F(ConfigDialog, TabGoesFromOkToCancelThenToTheSlider) {
  std::ofstream(SettingsFile(), std::ios::binary) << Record(3);
  StartDialog();
  ClickOn(Widget("label", "Music volume"));          // keys go where the pointer is
  test::PressKeys({"Tab", "Tab", "End", "Return"});  // Return on the slider means OK
  ASSERT_EQ(child_->Wait(), 0);
  EXPECT_EQ(ReadBytes(SettingsFile()), Record(20));
}

TEST_F(ConfigDialog, CancelAndClosingChangeNothing) {
  std::ofstream(SettingsFile(), std::ios::binary) << Record(3);
  StartDialog();
  ClickOn(Widget("scale"));
  test::PressKeys({"End"});
  ClickOn(Widget("button", "Cancel"));
  ASSERT_EQ(child_->Wait(), 0);
  EXPECT_EQ(ReadBytes(SettingsFile()), Record(3));

  fs::remove(dump_);
  StartDialog();
  ClickOn(Widget("scale"));
  test::PressKeys({"End", "Escape"});
  ASSERT_EQ(child_->Wait(), 0);
  EXPECT_EQ(ReadBytes(SettingsFile()), Record(3));
}

TEST_F(ConfigDialog, OkThatCannotSaveSaysSoAndStaysOpen) {
  // A folder in the value's place can't be replaced by a file, even by root.
  fs::create_directories(SettingsFile() + "/inside");
  StartDialog();
  ClickOn(Widget("scale"));
  test::PressKeys({"End"});
  ClickOn(Widget("button", "OK"));
  auto windows = [] {
    return test::RunProgram({"xdotool", "search", "--onlyvisible", "--name", "^Yulo Screensaver$"});
  };
  EXPECT_TRUE(test::WaitUntil([&] { return windows().find('\n') != std::string::npos; }))
      << "an error message over the dialog";
  EXPECT_TRUE(child_->Alive());
  test::PressKeys({"Return"});  // closes the message
  EXPECT_TRUE(test::WaitUntil([&] {
    const std::string ids = windows();
    return !ids.empty() && ids.find('\n') == std::string::npos;
  })) << "the message is gone, the dialog stays";
  EXPECT_TRUE(child_->Alive());
  ClickOn(Widget("button", "Cancel"));
  EXPECT_EQ(child_->Wait(), 0);
  EXPECT_TRUE(fs::is_directory(SettingsFile() + "/inside"));
}

TEST_F(ConfigDialog, StaysAboveTheWindowThatOpenedIt) {
  const unsigned long owner = test::CreatePlainWindow();
  ASSERT_NE(owner, 0u);
  StartDialog(owner);
  const WidgetInfo& window = Widget("window");
  EXPECT_EQ(test::TransientFor(window.xid), owner);
  // Centred on the 1024 x 768 screen, as without an owner.
  EXPECT_NEAR(window.x + window.width / 2, 512, 2) << window.x;
  EXPECT_NEAR(window.y + window.height / 2, 384, 2) << window.y;
  ClickOn(Widget("label", "Music volume"));  // keys go where the pointer is
  test::PressKeys({"Escape"});
  EXPECT_EQ(child_->Wait(), 0);
  test::DestroyPlainWindow(owner);

  // An id that names no window is ignored.
  fs::remove(dump_);
  StartDialog(0x7FFFFFF0);
  EXPECT_EQ(test::TransientFor(Widget("window").xid), 0u);
  ClickOn(Widget("button", "Cancel"));
  EXPECT_EQ(child_->Wait(), 0);
}

TEST_F(ConfigDialog, BannerBitmapsShowAtNaturalSizeCutAtTheEdges) {
  ASSERT_TRUE(test::WriteSolidBmp(install_ + "/ad1.bmp", 60, 20, 0, 255, 0));
  ASSERT_TRUE(test::WriteSolidBmp(install_ + "/ad2.bmp", 2000, 300, 255, 0, 255));
  fs::current_path("/");  // the dialog finds the bitmaps in the install folder regardless
  StartDialog();
  const WidgetInfo& banner1 = Widget("banner", "Winter page");
  const WidgetInfo& banner2 = Widget("banner", "Second link");

  EXPECT_TRUE(test::WaitUntil([&] {
    return test::CountNear(test::ReadScreen(banner1.x, banner1.y, 60, 20), {0, 255, 0}, 8) ==
           60 * 20;
  })) << "the whole bitmap at the banner's top left";
  const auto beside1 =
      test::ReadScreen(banner1.x + 62, banner1.y, banner1.width - 62, banner1.height);
  EXPECT_EQ(test::CountNear(beside1, {0, 255, 0}, 8), 0) << "no stretching";
  EXPECT_EQ(test::CountNear(beside1, {0, 0, 200}, 60), 0) << "no text under a bitmap";

  const auto inside2 = test::ReadScreen(banner2.x, banner2.y, banner2.width, banner2.height);
  EXPECT_EQ(test::CountNear(inside2, {255, 0, 255}, 8), banner2.width * banner2.height);
  const auto below2 = test::ReadScreen(banner2.x, banner2.y + banner2.height + 1, banner2.width, 4);
  EXPECT_EQ(test::CountNear(below2, {255, 0, 255}, 8), 0) << "cut at the banner's edge";

  ClickOn(Widget("button", "Cancel"));
  EXPECT_EQ(child_->Wait(), 0);
}

// A named pipe or an oversized file in place of a banner bitmap: the dialog still
// appears at once, with the links' texts in the banners. So it does with bitmaps cut short
// (half of one, all but the last byte of the other).
TEST_F(ConfigDialog, BannerFilesThatAreNoPicturesShowTheText) {
  for (const bool cutShort : {false, true}) {
    SCOPED_TRACE(cutShort ? "cut short" : "pipe and oversized");
    fs::remove(install_ + "/ad1.bmp");
    ASSERT_TRUE(test::WriteSolidBmp(install_ + "/ad2.bmp", 60, 20, 0, 255, 0));
    if (cutShort) {
      ASSERT_TRUE(test::WriteSolidBmp(install_ + "/ad1.bmp", 60, 20, 0, 255, 0));
      fs::resize_file(install_ + "/ad1.bmp", fs::file_size(install_ + "/ad1.bmp") / 2);
      fs::resize_file(install_ + "/ad2.bmp", fs::file_size(install_ + "/ad2.bmp") - 1);
    } else {
      ASSERT_EQ(mkfifo((install_ + "/ad1.bmp").c_str(), 0600), 0);
      fs::resize_file(install_ + "/ad2.bmp", kBannerFileSizeLimit + 1);
    }
    ShowsBothBannersAsText();
  }
}

void ConfigDialog::ShowsBothBannersAsText() {
  fs::remove(dump_);
  StartDialog();
  test::MovePointer(0, 0);  // a banner under the pointer shows its hover colour
  for (const char* text : {"Winter page", "Second link"}) {
    const WidgetInfo& banner = Widget("banner", text);
    EXPECT_TRUE(test::WaitUntil([&] {
      return test::CountNear(test::ReadScreen(banner.x, banner.y, banner.width, banner.height),
                             {0, 0, 200}, 60) > 20;
    })) << text;
  }
  ClickOn(Widget("button", "Cancel"));
  EXPECT_EQ(child_->Wait(), 0);
}

}  // namespace
}  // namespace yulo
