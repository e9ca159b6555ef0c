#include "shell/link_target.h"

#include <gtest/gtest.h>

namespace yulo {
namespace {

TEST(LinkTarget, OnlyWebAndMailLinksMayBeOpened) {
  struct Case {
    const char* target;
    bool openable;
  };
  const Case cases[] = {
      {"http://example.org/", true},
      {"https://example.org/winter?a=1", true},
      {"HTTPS://EXAMPLE.ORG", true},
      {"mailto:someone@example.org", true},
      {"MailTo:someone@example.org", true},
      {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},
      {"JavaScript:alert(1)", false},
      {"data:text/html,<b>x</b>", false},
      {"ftp://example.org/", false},
      {"/usr/bin/xterm", false},
      {"ad1.bmp", false},
      {" https://example.org/", false},  // leading blank: not a URL of ours
      {"https:", false},
      {"https://", false},
      {"mailto:", false},
      {"http:/example.org", false},
      {"https://example.org/\r\nfile:///etc", false},
      {"https://example.org/\x7f", false},
      {"", false},
      {nullptr, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsOpenableLinkTarget(c.target), c.openable) << (c.target ? c.target : "(null)");
}

}  // namespace
}  // namespace yulo
