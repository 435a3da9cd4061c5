#include "desktop/peers/pages_peer.h"

#include <QTabBar>

#include "desktop/qt_text.h"
#include "platform/runtime/ui/application.h"

namespace desk {

TPagesPeer::TPagesPeer(rt::TPageControl& pages, QWidget* parent)
    : QWidget(parent), pages_(pages), bar_(new QTabBar(this)) {
  bar_->setFocusPolicy(Qt::NoFocus);
  bar_->setDrawBase(true);
  QObject::connect(bar_, &QTabBar::tabBarClicked, this, [this](int index) {
    auto sheets = pages_.Pages();
    if (index >= 0 && index < static_cast<int>(sheets.size()))
      rt::Application().Guard([&] { pages_.SetActivePage(sheets[static_cast<size_t>(index)]); });
  });
}

void TPagesPeer::SyncState() {
  const auto sheets = pages_.Pages();
  while (bar_->count() > static_cast<int>(sheets.size())) bar_->removeTab(bar_->count() - 1);
  for (int i = 0; i < static_cast<int>(sheets.size()); ++i) {
    const QString caption = Q(sheets[static_cast<size_t>(i)]->Caption());
    if (i >= bar_->count())
      bar_->addTab(caption);
    else if (bar_->tabText(i) != caption)
      bar_->setTabText(i, caption);
    if (sheets[static_cast<size_t>(i)] == pages_.ActivePage()) bar_->setCurrentIndex(i);
  }
  bar_->setGeometry(0, 0, width(), kTabBarHeight);
}

}  // namespace desk
