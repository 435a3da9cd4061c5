// The one table from a runtime control kind to its peer: the first kind the control is
// an instance of wins, so more derived kinds come before their bases.
#include <type_traits>

#include "desktop/grid_view.h"
#include "desktop/peers/check_peer.h"
#include "desktop/peers/combo_peer.h"
#include "desktop/peers/control_peer.h"
#include "desktop/peers/edit_peer.h"
#include "desktop/peers/frame_peer.h"
#include "desktop/peers/group_peer.h"
#include "desktop/peers/label_peer.h"
#include "desktop/peers/navigator_peer.h"
#include "desktop/peers/pages_peer.h"
#include "desktop/peers/tool_button_peer.h"
#include "platform/runtime/ui/dbctrls.h"
#include "platform/runtime/ui/dbgrid.h"

namespace desk {

namespace {

struct TPeerKind {
  bool (*fits)(rt::TControl& control);
  QWidget* (*make)(rt::TControl& control, QWidget* parent);
};

// A control of class Control is shown by a Peer, constructed from (Control&, parent).
template <class Control, class Peer>
constexpr TPeerKind Kind() {
  static_assert(std::is_base_of_v<QWidget, Peer> && std::is_base_of_v<TControlPeer, Peer>,
                "a peer is a widget and a TControlPeer");
  return {[](rt::TControl& control) { return dynamic_cast<Control*>(&control) != nullptr; },
          [](rt::TControl& control, QWidget* parent) -> QWidget* {
            return new Peer(static_cast<Control&>(control), parent);
          }};
}

const TPeerKind kPeerKinds[] = {
    Kind<rt::TDBGrid, TGridView>(),
    Kind<rt::TEdit, TEditPeer>(),
    Kind<rt::TCheckBox, TCheckPeer>(),
    Kind<rt::TDBNavigator, TNavigatorPeer>(),
    Kind<rt::TPageControl, TPagesPeer>(),
    Kind<clib::TComboBox, TComboPeer>(),
    Kind<rt::TSpeedButton, TToolButtonPeer>(),
    Kind<rt::TLabel, TLabelPeer>(),
    Kind<rt::TDBText, TLabelPeer>(),
    Kind<rt::TGroupBox, TGroupPeer>(),
    Kind<rt::TWinControl, TFramePeer>(),
};

}  // namespace

QWidget* MakeControlPeer(rt::TControl& control, QWidget* parent) {
  for (const TPeerKind& kind : kPeerKinds)
    if (kind.fits(control)) return kind.make(control, parent);
  return nullptr;
}

}  // namespace desk
