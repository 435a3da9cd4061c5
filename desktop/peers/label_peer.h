// A label or a bound text: the runtime's caption as plain text; without a size of its
// own it takes its text's.
#pragma once

#include <QLabel>

#include "desktop/peers/control_peer.h"
#include "desktop/qt_text.h"
#include "platform/runtime/ui/controls.h"

namespace desk {

class TLabelPeer : public QLabel, public TControlPeer {
 public:
  TLabelPeer(rt::TControl& control, QWidget* parent) : QLabel(parent), control_(control) {
    setTextFormat(Qt::PlainText);
  }
  void SyncState() override {
    const QString caption = Q(control_.Caption());
    if (text() != caption) setText(caption);
  }
  QSize NaturalSize() override {
    SyncState();
    return sizeHint();
  }

 private:
  rt::TControl& control_;
};

}  // namespace desk
