// A combo box: shows the runtime's items and index; choosing one sets the runtime's.
#pragma once

#include <QComboBox>

#include "desktop/peers/control_peer.h"
#include "desktop/qt_text.h"
#include "platform/clientlib/components.h"
#include "platform/runtime/ui/application.h"

namespace desk {

class TComboPeer : public QComboBox, public TControlPeer {
 public:
  TComboPeer(clib::TComboBox& combo, QWidget* parent) : QComboBox(parent), combo_(combo) {
    connect(this, &QComboBox::activated, this,
            [this](int index) { rt::Application().Guard([&] { combo_.SetItemIndex(index); }); });
  }
  void SyncState() override {
    QStringList items;
    for (const auto& item : combo_.Items()) items << Q(item);
    QStringList now;
    for (int i = 0; i < count(); ++i) now << itemText(i);
    if (now != items) {
      clear();
      addItems(items);
    }
    setCurrentIndex(combo_.ItemIndex());
  }

 private:
  clib::TComboBox& combo_;
};

}  // namespace desk
