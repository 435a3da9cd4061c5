// The page control: a tab bar over the client area where the pages are placed; a click
// on a tab asks the runtime to show that page.
#pragma once

#include <QWidget>

#include "desktop/peers/control_peer.h"
#include "platform/runtime/ui/controls.h"

class QTabBar;

namespace desk {

class TPagesPeer : public QWidget, public TControlPeer {
 public:
  // The tabs' height: the pages sit below it.
  static constexpr int kTabBarHeight = 22;

  TPagesPeer(rt::TPageControl& pages, QWidget* parent);
  void SyncState() override;

 private:
  rt::TPageControl& pages_;
  QTabBar* bar_;
};

}  // namespace desk
