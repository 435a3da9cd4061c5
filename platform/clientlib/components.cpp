#include "platform/clientlib/components.h"

#include <stdexcept>

#include "platform/clientlib/session.h"

namespace clib {

TButtonFlat::TButtonFlat(rt::TComponent* owner) : rt::TSpeedButton(owner) { SetFlat(true); }

TBtnPesquisa::TBtnPesquisa(rt::TComponent* owner) : TButtonFlat(owner) {}

void TBtnPesquisa::SetEdit(rt::TEdit* edit) {
  if (edit_ && edit_ticket_ >= 0) edit_->RemoveDestroyObserver(edit_ticket_);
  edit_ = edit;
  edit_ticket_ = -1;
  // Forget an edit that goes away first, so that no dangling pointer stays behind.
  if (edit_) edit_ticket_ = edit_->AddDestroyObserver([this](rt::TComponent*) { edit_ = nullptr; });
}

std::string TBtnPesquisa::SearchTitle() const { return texto_vazio_.empty() ? titulo_ : titulo_ + "|" + texto_vazio_; }

TComboBox::TComboBox(rt::TComponent* owner) : rt::TWinControl(owner) { tab_stop_ = true; }

void TComboBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  if (item_index_ >= static_cast<int>(items_.size())) SetItemIndex(-1);
}

void TComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size()))
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  if (index == item_index_) return;
  item_index_ = index;
  SetText(index < 0 ? "" : items_[index]);
  if (OnChange) OnChange(this);
}

TClientDataSetComponent::TClientDataSetComponent(rt::TComponent* owner) : rt::TComponent(owner) {}

TDataSourceComponent::TDataSourceComponent(rt::TComponent* owner) : rt::TComponent(owner) {
  source_.OnStateChange = [this](rt::TDataSource&) {
    // While the form is being destroyed its handlers must not run: datasets leaving
    // the source then are no change of state the screen should react to.
    if (OnStateChange && !Destroying() && !(Owner() && Owner()->Destroying())) OnStateChange(this);
  };
}

rt::TClientDataSet& DataSetOf(const rt::TComponent& form, const std::string& name) {
  if (auto* c = form.Find<TClientDataSetComponent>(name)) return c->DataSet();
  throw std::invalid_argument("No client dataset named " + name);
}

namespace {
TNetConnectionComponent::TAppServerProvider& Provider() {
  static TNetConnectionComponent::TAppServerProvider provider;
  return provider;
}
}  // namespace

TNetConnectionComponent::TNetConnectionComponent(rt::TComponent* owner) : rt::TComponent(owner) {
  connection_.BeforeConnect = [this](TNetConnection&) {
    if (BeforeConnect) BeforeConnect(this);
  };
}

TNetConnectionComponent::~TNetConnectionComponent() { connection_.BeforeConnect = nullptr; }

void TNetConnectionComponent::SetAppServerProvider(TAppServerProvider provider) { Provider() = std::move(provider); }

bool TNetConnectionComponent::Connected() const { return server_ ? in_process_connected_ : connection_.Connected(); }

void TNetConnectionComponent::SetConnected(bool value) {
  if (value && !server_ && Provider()) server_ = Provider()(*this);
  if (server_) {  // an in-process server: opening runs the event and always succeeds
    if (value && !in_process_connected_ && BeforeConnect) BeforeConnect(this);
    in_process_connected_ = value;
    return;
  }
  if (value && !connection_.Connected()) {
    const TSession& s = Session();
    if (!s.operator_name.empty()) connection_.SetCredentials(s.operator_name, s.password);
  }
  connection_.SetConnected(value);
}

std::string TNetConnectionComponent::LastError() const { return server_ ? std::string() : connection_.LastError(); }

ServerAnswer TNetConnectionComponent::Call(const std::string& method, std::vector<Arg> args) {
  // The first call opens the connection: signs in with the session, or takes the
  // in-process server. Opened once per call: a failed open is the answer, not a reason
  // for the connection to try (and wait, and sign in) all over again.
  if (!server_ && !connection_.Connected()) SetConnected(true);
  if (server_) return server_->Call(method, std::move(args));
  if (!connection_.Connected()) {
    ServerAnswer failed;
    failed.error_text = connection_.LastError();
    return failed;
  }
  return connection_.Call(method, std::move(args));
}

}  // namespace clib
