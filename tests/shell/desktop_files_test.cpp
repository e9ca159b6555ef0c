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

TEST(DesktopFiles, XScreenSaverSliderMatchesTheVolumeRange) {
  const std::string xml = ReadText(std::string(kDesktop) + "yulo.xml");
  ASSERT_FALSE(xml.empty());
  std::smatch slider;
  ASSERT_TRUE(std::regex_search(xml, slider, std::regex(R"(<number id="volume"[^>]*/>)")));
  const std::string tag = slider.str();
  EXPECT_NE(tag.find("arg=\"--volume %\""), std::string::npos);
  EXPECT_NE(tag.find("low=\"0\""), std::string::npos);
  EXPECT_NE(tag.find("high=\"" + std::to_string(kMaxVolumeStep) + "\""), std::string::npos);
  EXPECT_NE(tag.find("default=\"" + std::to_string(kDefaultMusicVolume) + "\""), std::string::npos)
      << "the slider's default is the built-in volume";
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
