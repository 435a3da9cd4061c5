// Components of the shared client library: the message table, the search button of an
// edit, the flat tool button, the application-server connection as a component, the
// data-access components (client dataset, data source) a layout creates, and a
// drop-down list of texts. Each is registered with the runtime's class registry by the
// library's unit initialisation (unit.h), under the class name it reports.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clientlib/app_server.h"
#include "platform/clientlib/messages.h"
#include "platform/clientlib/net/net_connection.h"
#include "platform/runtime/client_dataset.h"
#include "platform/runtime/data_source.h"
#include "platform/runtime/ui/controls.h"
#include "platform/runtime/ui/dbctrls.h"

namespace clib {

// A screen's message table ("key|text" items; layout property "Items").
class TMessages : public rt::TComponent, public TMessageTable {
 public:
  explicit TMessages(rt::TComponent* owner = nullptr) : rt::TComponent(owner) {}
  std::string ClassName() const override { return "TMessages"; }
};

// A flat tool button.
class TButtonFlat : public rt::TSpeedButton {
 public:
  explicit TButtonFlat(rt::TComponent* owner = nullptr);
  std::string ClassName() const override { return "TButtonFlat"; }
};

// The search button beside an edit: carries the edit it fills, the title of its search
// list and the text the list shows when it is empty. What a click does is the screen's
// OnClick handler.
class TBtnPesquisa : public TButtonFlat {
 public:
  explicit TBtnPesquisa(rt::TComponent* owner = nullptr);
  ~TBtnPesquisa() override { SetEdit(nullptr); }  // the edit must not call back into a freed button
  std::string ClassName() const override { return "TBtnPesquisa"; }
  rt::TEdit* Edit() const { return edit_; }
  void SetEdit(rt::TEdit* edit);
  const std::string& Titulo() const { return titulo_; }
  void SetTitulo(const std::string& titulo) { titulo_ = titulo; }
  const std::string& TextoVazio() const { return texto_vazio_; }
  void SetTextoVazio(const std::string& texto) { texto_vazio_ = texto; }
  // The title as Pesquisar takes it: "title|empty text" (just the title without one).
  std::string SearchTitle() const;

 private:
  rt::TEdit* edit_ = nullptr;
  int edit_ticket_ = -1;
  std::string titulo_;
  std::string texto_vazio_;
};

// A drop-down list of texts (the report-name list of the report screens).
class TComboBox : public rt::TWinControl {
 public:
  explicit TComboBox(rt::TComponent* owner = nullptr);
  std::string ClassName() const override { return "TComboBox"; }
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  int ItemIndex() const { return item_index_; }
  // Selects an item (-1: none) and shows its text; runs OnChange when the choice changes.
  void SetItemIndex(int index);
  bool Flat() const { return flat_; }
  void SetFlat(bool flat) { flat_ = flat; }
  rt::TNotifyEvent OnChange;

 private:
  std::vector<std::string> items_;
  int item_index_ = -1;
  bool flat_ = false;
};

// A client dataset that a layout creates and the form owns. Layout properties:
// "FieldDefs" (list of field definitions as in the packets' JSON form, plus optional
// "calculated"), "IndexFieldNames", and the events BeforeInsert, BeforeEdit,
// BeforePost, AfterPost, OnCalcFields wired to form handlers (void(TObject*)).
class TClientDataSetComponent : public rt::TComponent {
 public:
  explicit TClientDataSetComponent(rt::TComponent* owner = nullptr);
  std::string ClassName() const override { return "TClientDataSet"; }
  rt::TClientDataSet& DataSet() { return dataset_; }
  rt::TClientDataSet* operator->() { return &dataset_; }
  // The dataset carries the component's name, so that its failures say which it is.
  void NameChanged() override { dataset_.SetName(Name()); }

 private:
  rt::TClientDataSet dataset_;
};

// A data source that a layout creates; property "DataSet" names a TClientDataSet
// component of the form; event OnStateChange (void(TObject*)).
class TDataSourceComponent : public rt::TComponent, public rt::IDataSourceHolder {
 public:
  explicit TDataSourceComponent(rt::TComponent* owner = nullptr);
  std::string ClassName() const override { return "TDataSource"; }
  rt::TDataSource& Source() { return source_; }
  rt::TDataSource& HeldDataSource() override { return source_; }
  rt::TNotifyEvent OnStateChange;

 private:
  rt::TDataSource source_;
};

// The dataset of a client-dataset component of the form; throws std::invalid_argument
// naming it when the form has no such component.
rt::TClientDataSet& DataSetOf(const rt::TComponent& form, const std::string& name);

// The connection to the application server as a component. Properties "Host", "Port",
// "ServerName"; event "BeforeConnect" (void(TObject*)) runs before every open. Opening
// never raises; it signs in with the operator of the session. Calls go to the network,
// or to the in-process server installed with SetAppServer (tests, embedded use).
class TNetConnectionComponent : public rt::TComponent, public IAppServer {
 public:
  explicit TNetConnectionComponent(rt::TComponent* owner = nullptr);
  ~TNetConnectionComponent() override;
  std::string ClassName() const override { return "TNetConnection"; }

  TNetConnection& Connection() { return connection_; }
  const std::string& Host() const { return connection_.Host(); }
  void SetHost(const std::string& host) { connection_.SetHost(host); }
  int Port() const { return connection_.Port(); }
  void SetPort(int port) { connection_.SetPort(port); }
  const std::string& ServerName() const { return connection_.ServerName(); }
  void SetServerName(const std::string& name) { connection_.SetServerName(name); }

  bool Connected() const;
  void SetConnected(bool value);
  std::string LastError() const;

  ServerAnswer Call(const std::string& method, std::vector<Arg> args) override;

  // Routes this connection's calls to an in-process server (nullptr: the network).
  void SetAppServer(std::shared_ptr<IAppServer> server) { server_ = std::move(server); }
  IAppServer* AppServer() const { return server_.get(); }

  // Process-wide: a provider asked, when a connection opens without a server of its
  // own, for the in-process server to use (nullptr: the network).
  using TAppServerProvider = std::function<std::shared_ptr<IAppServer>(TNetConnectionComponent&)>;
  static void SetAppServerProvider(TAppServerProvider provider);

  rt::TNotifyEvent BeforeConnect;

 private:
  TNetConnection connection_;
  std::shared_ptr<IAppServer> server_;
  bool in_process_connected_ = false;
};

// Registers the classes above with the runtime's class registry (once).
void RegisterComponentClasses();

}  // namespace clib
