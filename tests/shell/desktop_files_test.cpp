// The desktop files say what the program does: they must follow its options and limits.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "base/shell_state.h"
#include "shell/options.h"

namespace yulo {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const char kDesktop[] = "../../desktop/";

// XScreenSaver leaves out the option of a slider left at its default, so each default
// must be the program's own.
TEST(DesktopFiles, XScreenSaverSlidersMatchTheOptionsAndTheirDefaults) {
  const std::string xml = ReadText(std::string(kDesktop) + "yulo.xml");
  ASSERT_FALSE(xml.empty());
  struct Slider {
    const char* id;
    const char* arg;
    uint32_t high;
    int32_t builtIn;
  };
  for (const Slider& s : {Slider{"volume", "--volume %", kMaxVolumeStep, kDefaultMusicVolume},
                          Slider{"maxfps", "--max-fps %", 60, kHostWindowFrameRate}}) {
    std::smatch slider;
    ASSERT_TRUE(std::regex_search(xml, slider,
                                  std::regex(std::string("<number id=\"") + s.id + R"("[^>]*/>)")))
        << s.id;
    const std::string tag = slider.str();
    EXPECT_NE(tag.find(std::string("arg=\"") + s.arg + "\""), std::string::npos) << tag;
    EXPECT_NE(tag.find("high=\"" + std::to_string(s.high) + "\""), std::string::npos) << tag;
    EXPECT_NE(tag.find("default=\"" + std::to_string(s.builtIn) + "\""), std::string::npos) << tag;
  }
}

TEST(DesktopFiles, ManualPageDescribesEveryOptionOfTheHelp) {
  // The page writes a dash as "\-".
  std::string page = ReadText(std::string(kDesktop) + "yulo.6");
  ASSERT_FALSE(page.empty());
  page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
  const std::string help = HelpText();
  std::set<std::string> options;
  const std::regex option(R"((?:^|[\s,])(--?[a-z][a-z-]+))");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
       it != std::sregex_iterator(); ++it)
    options.insert((*it)[1].str());
  EXPECT_GT(options.size(), 10u);
  for (const std::string& name : options)
    EXPECT_NE(page.find(name), std::string::npos) << name << " is missing from yulo.6";
}

}  // namespace
}  // namespace yulo
