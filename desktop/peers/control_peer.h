// A control peer: the native widget of one kind of runtime control. TFormPeer makes one
// per control through the kind table (MakeControlPeer), syncs what every control has
// (bounds, visible, enabled, hint, font, a panel's colour) and the focus, then asks the
// peer to sync what only its kind has (SyncState). Adding a control kind is one peer
// file and one line in peer_kinds.cpp.
#pragma once

#include <QSize>

class QWidget;

namespace rt {
class TControl;
}

namespace desk {

class TControlPeer {
 public:
  virtual ~TControlPeer() = default;
  // Re-reads the kind's own state from the runtime (texts, checks, items, buttons).
  // Runs after the generic sync, so the widget already has its bounds.
  virtual void SyncState() = 0;
  // The size to show when the control has none of its own (a label takes its text's);
  // an invalid size keeps the control's bounds.
  virtual QSize NaturalSize() { return {}; }
};

// The peer widget of a control (a TControlPeer too), or nullptr for a control kind the
// host does not show.
QWidget* MakeControlPeer(rt::TControl& control, QWidget* parent);

}  // namespace desk
