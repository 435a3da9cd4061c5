// A text box: keys go to the runtime (TypeKey/TypeText); the box shows what the runtime
// holds, the caret at the end as the runtime keeps it, or the whole text selected.
#pragma once

#include <QLineEdit>

#include "desktop/peers/control_peer.h"
#include "platform/runtime/ui/controls.h"

namespace desk {

class TEditPeer : public QLineEdit, public TControlPeer {
 public:
  TEditPeer(rt::TEdit& edit, QWidget* parent);
  void SyncState() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  rt::TEdit& edit_;
};

}  // namespace desk
