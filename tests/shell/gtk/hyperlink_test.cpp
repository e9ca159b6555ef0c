#include "shell/gtk/hyperlink.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "support/temp_dir.h"
#include "widget_dump.h"
#include "x_harness.h"

// GTK and its libraries keep caches for the life of the process; a banner that ends the
// process on a click must not be reported for them.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libgtk-3.so\nleak:libgdk-3.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
         "leak:libgio-2.0.so\nleak:libfontconfig.so\nleak:libpango\nleak:libcairo.so\n"
         "leak:libX11.so\nleak:libgdk_pixbuf\nleak:libharfbuzz.so\nleak:libatk\n";
}

namespace yulo {
namespace {

using test::Child;
using test::WidgetInfo;

constexpr test::Rgb kBlue = {0, 0, 200};
constexpr test::Rgb kRed = {200, 0, 0};

std::string openedFile;  // where the child's opener writes what a click asked to open

bool RecordOpen(const char* target) {
  std::ofstream(openedFile, std::ios::app) << target << '\n';
  return true;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class Banner : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new test::XServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(server_->Running()) << "Xvfb did not start"; }

  // A window holding one text banner, 320 x 60, at the top left of the screen.
  void ShowBanner(const char* text, int32_t exitOnClick,
                  const char* target = "https://example.org/winter", const char* theme = "") {
    const std::string dump = tmp_.Path() + "/widgets.txt";
    const std::string opened = tmp_.Path() + "/opened.txt";
    const std::string label = text;
    const std::string link = target;
    const std::string themeName = theme;
    child_ = std::make_unique<Child>([dump, opened, label, link, exitOnClick, themeName] {
      if (!themeName.empty()) g_setenv("GTK_THEME", themeName.c_str(), TRUE);
      if (!gtk_init_check(nullptr, nullptr)) return 90;
      openedFile = opened;
      SetHyperlinkOpener(RecordOpen);
      GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      gtk_window_set_title(GTK_WINDOW(window), "banner");
      gtk_window_move(GTK_WINDOW(window), 0, 0);
      GtkWidget* banner = CreateHyperlink();
      gtk_widget_set_size_request(banner, 320, 60);
      HyperlinkSetText(banner, label.c_str());
      HyperlinkSetTarget(banner, link.c_str());
      HyperlinkSetExitOnClick(banner, exitOnClick);
      gtk_container_add(GTK_CONTAINER(window), banner);
      g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
      gtk_widget_show_all(window);
      test::DumpWidgetsWhenShown(dump);
      gtk_main();
      return 0;
    });
    ASSERT_TRUE(test::WaitForFile(dump)) << "the banner never showed";
    const std::vector<WidgetInfo> widgets = test::ReadWidgetDump(dump);
    const WidgetInfo* banner = test::FindWidget(widgets, "banner");
    ASSERT_NE(banner, nullptr);
    banner_ = *banner;
    test::MovePointer(banner_.x + banner_.width + 200, banner_.y + banner_.height + 200);
    test::Settle();
  }

  std::vector<test::Rgb> Pixels() const {
    return test::ReadScreen(banner_.x, banner_.y, banner_.width, banner_.height);
  }
  std::string Opened() const { return ReadText(tmp_.Path() + "/opened.txt"); }

  static test::XServer* server_;
  test::ScopedTempDir tmp_;
  std::unique_ptr<Child> child_;
  WidgetInfo banner_{};
};

test::XServer* Banner::server_ = nullptr;

// Text of one colour on the banner, and none of the other.
bool ShowsOnly(const std::vector<test::Rgb>& pixels, test::Rgb colour, test::Rgb other) {
  return test::CountNear(pixels, colour, 40) > 20 && test::CountNear(pixels, other, 40) == 0;
}

TEST_F(Banner, TextIsBlueAndTurnsRedUnderThePointer) {
  ShowBanner("Enjoy the winter night", 0);
  EXPECT_TRUE(test::WaitUntil([&] { return ShowsOnly(Pixels(), kBlue, kRed); }));

  // The text sits in the middle: the outer eighth on the left stays background.
  const auto left = test::ReadScreen(banner_.x, banner_.y, banner_.width / 8, banner_.height);
  EXPECT_EQ(test::CountNear(left, kBlue, 60), 0);

  test::MovePointer(test::CentreX(banner_), test::CentreY(banner_));
  EXPECT_TRUE(test::WaitUntil([&] { return ShowsOnly(Pixels(), kRed, kBlue); }))
      << "red under the pointer";

  test::MovePointer(banner_.x + banner_.width + 100, banner_.y + 10);
  EXPECT_TRUE(test::WaitUntil([&] { return ShowsOnly(Pixels(), kBlue, kRed); }))
      << "blue again once the pointer has left";
}

TEST_F(Banner, TextStaysOnALightFaceInADarkTheme) {
  ShowBanner("Enjoy the winter night", 0, "https://example.org/winter", "Adwaita:dark");
  ASSERT_TRUE(test::WaitUntil([&] { return ShowsOnly(Pixels(), kBlue, kRed); }));
  const auto corner = test::ReadScreen(banner_.x, banner_.y, 8, 8);
  EXPECT_EQ(test::CountNear(corner, {240, 240, 240}, 4), 64);
}

TEST_F(Banner, LongTextStaysOnOneLineCutByTheEdges) {
  ShowBanner(std::string(200, 'W').c_str(), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return test::CountNear(Pixels(), kBlue, 60) > 0; }));
  // Centred and wider than the banner: both ends are covered, and nothing wraps below.
  const auto left = test::ReadScreen(banner_.x, banner_.y, 8, banner_.height);
  const auto right = test::ReadScreen(banner_.x + banner_.width - 8, banner_.y, 8, banner_.height);
  EXPECT_GT(test::CountNear(left, kBlue, 60), 0);
  EXPECT_GT(test::CountNear(right, kBlue, 60), 0);
  const auto top = test::ReadScreen(banner_.x, banner_.y, banner_.width, banner_.height / 4);
  EXPECT_EQ(test::CountNear(top, kBlue, 60), 0) << "one line, centred vertically";
}

TEST_F(Banner, ClickOpensTheTargetAndEndsTheProcessOnlyWhenAsked) {
  ShowBanner("stay", 0);
  const std::string once = "https://example.org/winter\n";
  test::Click(test::CentreX(banner_), test::CentreY(banner_));
  EXPECT_TRUE(test::WaitUntil([&] { return Opened() == once; })) << Opened();
  test::Settle();
  EXPECT_TRUE(child_->Alive()) << "exit-on-click off: the owner stays open";
  test::Click(test::CentreX(banner_), test::CentreY(banner_));
  EXPECT_TRUE(test::WaitUntil([&] { return Opened() == once + once; })) << Opened();
  child_.reset();

  std::remove((tmp_.Path() + "/opened.txt").c_str());
  std::remove((tmp_.Path() + "/widgets.txt").c_str());
  ShowBanner("leave", 1);
  test::RunProgram({"xdotool", "mousemove", std::to_string(test::CentreX(banner_)),
                    std::to_string(test::CentreY(banner_)), "click", "3"});  // not the left
  test::Settle();
  EXPECT_TRUE(child_->Alive());
  test::Click(test::CentreX(banner_), test::CentreY(banner_));
  EXPECT_EQ(child_->Wait(), 1);
  EXPECT_EQ(Opened(), "https://example.org/winter\n");
}

TEST_F(Banner, ClickOnAFileOrScriptTargetOpensNothingAndStays) {
  for (const char* target : {"file:///etc/passwd", "javascript:alert(1)"}) {
    std::remove((tmp_.Path() + "/widgets.txt").c_str());
    ShowBanner(target, 1, target);
    ASSERT_TRUE(test::WaitUntil([&] { return test::CountNear(Pixels(), kBlue, 60) > 0; }))
        << "the target is still shown as text";
    test::Click(test::CentreX(banner_), test::CentreY(banner_));
    test::Settle();
    EXPECT_TRUE(child_->Alive()) << target;
    EXPECT_EQ(Opened(), "") << target;
    child_.reset();
  }
}

// Runs checks inside a child that has GTK; its exit code counts the failures.
int failures = 0;
void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "failed: %s\n", what);
    ++failures;
  }
}

TEST_F(Banner, TableOfLiveBannersIsBoundedAndReusable) {
  Child child([] {
    if (!gtk_init_check(nullptr, nullptr)) return 90;
    GtkWidget* banners[kHyperlinkCapacity];
    for (GtkWidget*& banner : banners) banner = g_object_ref_sink(CreateHyperlink());
    Check(HyperlinkCount() == kHyperlinkCapacity, "255 live banners");

    GtkWidget* extra = g_object_ref_sink(CreateHyperlink());
    Check(HyperlinkCount() == kHyperlinkCapacity, "the 256th gets no record");
    Check(FindHyperlink(extra) == nullptr, "no record for the 256th");
    Check(!HyperlinkSetText(extra, "x") && !HyperlinkSetTarget(extra, "x") &&
              !HyperlinkSetExitOnClick(extra, 0) && !HyperlinkSetBitmap(extra, nullptr),
          "setters refuse a banner without a record");
    gtk_widget_destroy(extra);  // destroying it touches no other record
    g_object_unref(extra);
    Check(HyperlinkCount() == kHyperlinkCapacity, "count unchanged");

    // Records are found by their widget after earlier ones are removed.
    HyperlinkSetText(banners[200], "two hundred");
    gtk_widget_destroy(banners[3]);
    g_object_unref(banners[3]);
    Check(HyperlinkCount() == kHyperlinkCapacity - 1, "a destroy frees its entry");
    Check(std::strcmp(FindHyperlink(banners[200])->text, "two hundred") == 0,
          "later entries move down");
    for (int i = 0; i < 1000; ++i) {
      GtkWidget* banner = g_object_ref_sink(CreateHyperlink());
      Check(FindHyperlink(banner) != nullptr, "created after a destroy");
      gtk_widget_destroy(banner);
      g_object_unref(banner);
    }
    Check(HyperlinkCount() == kHyperlinkCapacity - 1, "create and destroy never fill the table");
    return failures;
  });
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(Banner, TextsAreCutToTheirFieldsAtWholeCharacters) {
  Child child([] {
    if (!gtk_init_check(nullptr, nullptr)) return 90;
    GtkWidget* banner = g_object_ref_sink(CreateHyperlink());
    const HyperlinkData* link = FindHyperlink(banner);
    Check(link != nullptr && link->exitOnClick == 1, "exit-on-click is on at creation");
    Check(link->text[0] == '\0' && link->target[0] == '\0', "empty at creation");

    HyperlinkSetTarget(banner, std::string(400, 't').c_str());
    Check(std::strlen(link->target) == kHyperlinkTargetCapacity - 1, "target cut to 254");
    HyperlinkSetText(banner, std::string(400, 'x').c_str());
    Check(std::strlen(link->text) == kHyperlinkTextCapacity - 1, "text cut to 256");
    // 255 ASCII bytes and a two-byte letter: the letter does not fit whole and is dropped.
    HyperlinkSetText(banner, (std::string(255, 'a') + "\xC3\xA9").c_str());
    Check(std::strlen(link->text) == 255, "no half character");
    Check(g_utf8_validate(link->text, -1, nullptr), "still valid UTF-8");
    return failures;
  });
  EXPECT_EQ(child.Wait(), 0);
}

}  // namespace
}  // namespace yulo
