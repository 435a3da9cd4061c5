#include "desktop/peers/navigator_peer.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "desktop/qt_text.h"

namespace desk {

TNavigatorPeer::TNavigatorPeer(rt::TDBNavigator& nav, QWidget* parent) : QWidget(parent), nav_(nav) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  static const char* const glyphs[] = {"|◀", "◀", "▶", "▶|", "+", "−", "▲", "✓", "✗", "↻"};
  for (int b = rt::nbFirst; b <= rt::nbRefresh; ++b) {
    auto* button = new QToolButton(this);
    button->setText(QString::fromUtf8(glyphs[b]));
    button->setObjectName(rt::NavigateBtnName(static_cast<rt::TNavigateBtn>(b)));
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QObject::connect(button, &QToolButton::clicked, this, [this, b] { nav_.Press(static_cast<rt::TNavigateBtn>(b)); });
    layout->addWidget(button);
    buttons_.push_back(button);
  }
}

void TNavigatorPeer::SyncState() {
  const auto& shown = nav_.VisibleButtons();
  for (int b = rt::nbFirst; b <= rt::nbRefresh; ++b) {
    const auto button = static_cast<rt::TNavigateBtn>(b);
    buttons_[static_cast<size_t>(b)]->setVisible(shown.empty() || shown.count(button) > 0);
    buttons_[static_cast<size_t>(b)]->setEnabled(nav_.ButtonEnabled(button));
    // The runtime's tips: the layout's (and so the language module's) or the defaults.
    const QString tip = Q(nav_.Hint(button));
    if (buttons_[static_cast<size_t>(b)]->toolTip() != tip) buttons_[static_cast<size_t>(b)]->setToolTip(tip);
  }
}

}  // namespace desk
