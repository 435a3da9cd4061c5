// Small helpers of the allocation screen: reading the payloads of server answers into
// datasets, and giving the focus back to a control after a failure.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "platform/runtime/client_dataset.h"
#include "platform/runtime/packet.h"
#include "platform/runtime/ui/controls.h"
#include "platform/runtime/variant.h"

namespace alloc {

// The dataset holds a record being edited or inserted.
inline bool Editando(const rt::TClientDataSet& ds) { return ds.State() == rt::dsEdit || ds.State() == rt::dsInsert; }

// A decimal digit "0" to "9" (a key of the filters).
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Loads a payload that must be a data packet into the dataset (replacing its data). An
// answer of another shape is a failure of the server (clib::EServerError naming the
// method), never a crash, and leaves the dataset as it was.
void LoadPacket(rt::TClientDataSet& dataset, const rt::Variant& payload, const std::string& method);

// The four packets of a GetAlocaForne answer (header, allocations, labour items,
// payables), checked all before any is loaded: an answer of another shape fails as
// above and every dataset keeps what it held.
std::array<std::shared_ptr<const rt::DataPacket>, 4> AlocaForneAnswer(const rt::Variant& payload);

// Element i of a payload that must be an array (GetProdForn's answer): a missing element
// or another shape is a failure of the server as above.
const rt::Variant& ArrayElement(const rt::Variant& payload, std::size_t i, const std::string& method);

// A payload that must be a boolean (the checks before generating payables).
bool BooleanAnswer(const rt::Variant& payload, const std::string& method);

// The busy animation of the given kind for a scope, on the application's main form:
// hidden on every path. Hide() hides it earlier (once).
class TBusyScope {
 public:
  explicit TBusyScope(int kind);
  ~TBusyScope() { Hide(); }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;
  void Hide();

 private:
  bool shown_ = true;
};

// Gives the control the focus on the way out of a failure. A control that cannot take
// it is left alone, and a failure of that focus move itself is dropped: the failure
// being passed on is the one the user must see.
void FocusAfterFailure(rt::TWinControl& control);
// The same for the control that shows a field (the grid's column of it).
void FocusFieldAfterFailure(rt::TField& field);

}  // namespace alloc
