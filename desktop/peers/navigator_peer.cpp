#include "desktop/peers/navigator_peer.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace desk {

TNavigatorPeer::TNavigatorPeer(rt::TDBNavigator& nav, QWidget* parent) : QWidget(parent), nav_(nav) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  static const char* const glyphs[] = {"|◀", "◀", "▶", "▶|", "+", "−", "▲", "✓", "✗", "↻"};
  static const char* const tips[] = {"Primeiro", "Anterior", "Próximo", "Último", "Incluir",
                                     "Excluir", "Alterar", "Gravar", "Cancelar", "Atualizar"};
  for (int b = rt::nbFirst; b <= rt::nbRefresh; ++b) {
    auto* button = new QToolButton(this);
    button->setText(QString::fromUtf8(glyphs[b]));
    button->setToolTip(QString::fromUtf8(tips[b]));
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
  }
}

}  // namespace desk
