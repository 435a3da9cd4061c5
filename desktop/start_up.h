// Start-up decisions of the host that do not need a window: which Qt platform to use
// when there is no display, and the scripted opening of a budget (the --budget option
// of a screenshot run, and the desktop tests).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace desk {

class TMainWindow;

struct TPlatformChoice {
  std::string qpa;     // the QT_QPA_PLATFORM value to set
  std::string notice;  // what to tell the user
};

// With no display (no DISPLAY or WAYLAND_DISPLAY), no QT_QPA_PLATFORM and no -platform
// argument: the VNC platform on loopback (offscreen when the VNC plugin is missing, or
// for a screenshot run, which nobody watches). Otherwise nothing to choose.
std::optional<TPlatformChoice> ChoosePlatform(const std::vector<std::string>& args, bool has_display, bool has_qpa_env,
                                              bool vnc_available, bool screenshot_run);

// Whether Qt's VNC platform plugin is installed.
bool VncPluginAvailable();

// In the open allocation screen: types the budget number (and the sequence when given)
// and leaves the filter panel for the grid, as a user would, so that the grid loads.
// False when the screen is not open or an input call was refused.
bool OpenBudget(TMainWindow& window, const std::string& number, const std::string& sequence);

}  // namespace desk
