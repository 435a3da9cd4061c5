// A check box: a click or Space goes to the runtime, which decides the state.
#pragma once

#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>

#include "desktop/peers/control_peer.h"
#include "desktop/qt_text.h"
#include "platform/runtime/ui/controls.h"
#include "platform/runtime/ui/input.h"

namespace desk {

class TCheckPeer : public QCheckBox, public TControlPeer {
 public:
  TCheckPeer(rt::TCheckBox& box, QWidget* parent) : QCheckBox(parent), box_(box) {}
  void SyncState() override {
    setText(Q(box_.Caption()));
    setChecked(box_.Checked());
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) rt::Input::Click(box_);
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Space)
      rt::Input::TypeKey(' ');
    else
      event->ignore();
  }
  void keyReleaseEvent(QKeyEvent* event) override { event->ignore(); }

 private:
  rt::TCheckBox& box_;
};

}  // namespace desk
