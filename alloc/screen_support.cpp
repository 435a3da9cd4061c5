#include "alloc/screen_support.h"

#include "platform/clientlib/net/client_texts.h"
#include "platform/clientlib/server_result.h"
#include "platform/clientlib/ui_routines.h"
#include "platform/runtime/ui/application.h"

namespace alloc {

void LoadPacket(rt::TClientDataSet& dataset, const rt::Variant& payload, const std::string& method) {
  if (payload.type() != rt::Variant::Type::Packet)
    clib::ThrowBadAnswer(method, clib::ClientText(clib::TClientText::kExpectedPacket));
  dataset.SetData(payload.AsPacket());
}

std::array<std::shared_ptr<const rt::DataPacket>, 4> AlocaForneAnswer(const rt::Variant& payload) {
  const auto refuse = [] {
    clib::ThrowBadAnswer("GetAlocaForne", clib::ClientText(clib::TClientText::kExpectedFourPackets));
  };
  if (payload.type() != rt::Variant::Type::Array || payload.AsArray().size() != 4) refuse();
  std::array<std::shared_ptr<const rt::DataPacket>, 4> packets;
  for (std::size_t i = 0; i < packets.size(); ++i) {
    const rt::Variant& element = payload.AsArray()[i];
    if (element.type() != rt::Variant::Type::Packet) refuse();
    packets[i] = element.PacketPtr();
  }
  return packets;
}

const rt::Variant& ArrayElement(const rt::Variant& payload, std::size_t i, const std::string& method) {
  if (payload.type() != rt::Variant::Type::Array || payload.AsArray().size() <= i)
    clib::ThrowBadAnswer(method, clib::ClientText(clib::TClientText::kExpectedPacketList, {std::to_string(i + 1)}));
  return payload.AsArray()[i];
}

bool BooleanAnswer(const rt::Variant& payload, const std::string& method) {
  if (payload.type() != rt::Variant::Type::Boolean)
    clib::ThrowBadAnswer(method, clib::ClientText(clib::TClientText::kExpectedBoolean));
  return payload.AsBool();
}

TBusyScope::TBusyScope(int kind) { clib::ActiveShowAvi(rt::Application().MainForm(), kind); }

void TBusyScope::Hide() {
  if (!shown_) return;
  shown_ = false;
  clib::DeactiveShowAvi();
}

void FocusFieldAfterFailure(rt::TField& field) {
  try {
    field.FocusControl();
  } catch (...) {  // as FocusAfterFailure
  }
}

void FocusAfterFailure(rt::TWinControl& control) {
  if (!control.CanFocus()) return;
  try {
    control.SetFocus();
  } catch (...) {  // see the header
  }
}

}  // namespace alloc
