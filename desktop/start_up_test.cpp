// The choice of Qt platform when the host starts without a display.
#include "desktop/start_up.h"

#include <gtest/gtest.h>

namespace desk {
namespace {

TEST(ChoosePlatform, NoDisplayMeansVncOnPort5900OrOffscreen) {
  struct Case {
    std::vector<std::string> args;
    bool display, qpa_env, vnc, screenshot;
    std::string qpa;  // "" = nothing chosen
    std::string notice_has;
  };
  const std::vector<Case> cases = {
      {{}, true, false, true, false, "", ""},
      {{}, false, true, true, false, "", ""},
      {{"-platform", "xcb"}, false, false, true, false, "", ""},
      {{}, false, false, true, false, "vnc:size=1280x800:port=5900", "connect a VNC viewer to 127.0.0.1:5900"},
      {{}, false, false, false, false, "offscreen", "No display and no VNC platform plugin"},
      {{"--screenshot", "x.png"}, false, false, true, true, "offscreen", ""},
  };
  for (const auto& c : cases) {
    auto choice = ChoosePlatform(c.args, c.display, c.qpa_env, c.vnc, c.screenshot);
    EXPECT_EQ(choice ? choice->qpa : "", c.qpa);
    if (choice) {
      EXPECT_NE(choice->notice.find(c.notice_has), std::string::npos) << choice->notice;
    }
  }
}

}  // namespace
}  // namespace desk
