#include "platform/runtime/data_source.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/runtime/client_dataset.h"

namespace rt {
namespace {

// A link that writes what it is told into one trace.
class TraceLink : public TCallbackDataLink {
 public:
  explicit TraceLink(std::string& trace) {
    on_active_changed = [&] { trace += "active "; };
    on_data_set_changed = [&] { trace += "changed "; };
    on_data_set_scrolled = [&](int d) { trace += "scroll(" + std::to_string(d) + ") "; };
    on_record_changed = [&](TField* f) { trace += "record(" + (f ? f->FieldName() : std::string("*")) + ") "; };
    on_state_changed = [&] { trace += std::string("state(") + DataSetStateName(DataSource()->State()) + ") "; };
    on_layout_changed = [&] { trace += "layout "; };
    on_update_data = [&] { trace += "update "; };
  }
};

class DataSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FieldDef name;
    name.name = "NAME";
    ds.SetFieldDefs({name});
    ds.CreateDataSet();
    for (const char* n : {"A", "B", "C"}) {
      ds.Append();
      ds.FieldByName("NAME").SetAsString(n);
      ds.Post();
    }
    ds.MergeChangeLog();
    ds.First();
    source.SetDataSet(&ds);
    source.OnStateChange = [this](TDataSource& s) {
      trace += std::string("dts(") + DataSetStateName(s.State()) + ") ";
    };
    link.SetDataSource(&source);
    trace.clear();
  }

  TClientDataSet ds{"cdsTest"};
  TDataSource source{"dtsTest"};
  std::string trace;
  TraceLink link{trace};
};

TEST_F(DataSourceTest, LinksFollowTheUsualOperations) {
  ds.Next();
  EXPECT_EQ(trace, "scroll(1) ");
  trace.clear();
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("X");
  EXPECT_EQ(trace, "state(edit) dts(edit) record(*) record(NAME) ");
  trace.clear();
  ds.Post();
  EXPECT_EQ(trace, "update state(browse) dts(browse) changed ");
  trace.clear();
  ds.Close();
  EXPECT_EQ(trace, "active state(inactive) dts(inactive) ");
  EXPECT_EQ(source.State(), dsInactive);
}

TEST_F(DataSourceTest, DisabledControlsHearNothingUntilTheFinalEnable) {
  ds.DisableControls();
  ds.DisableControls();
  EXPECT_TRUE(ds.ControlsDisabled());
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("X");
  ds.Post();  // no UpdateData either: the controls are not asked while disabled
  ds.Append();
  ds.FieldByName("NAME").SetAsString("D");
  ds.Post();
  ds.First();
  ds.Edit();
  EXPECT_EQ(source.State(), dsBrowse);  // lags while disabled
  ds.EnableControls();
  EXPECT_EQ(trace, "");
  ds.EnableControls();
  EXPECT_FALSE(ds.ControlsDisabled());
  // One catch-up: the state that differs from the one at DisableControls, then the rows.
  EXPECT_EQ(trace, "state(edit) dts(edit) changed ");
  ds.EnableControls();  // unbalanced: ignored
  EXPECT_FALSE(ds.ControlsDisabled());
}

TEST_F(DataSourceTest, BulkLoadWithControlsDisabledSendsOneChange) {
  ds.DisableControls();
  DataPacket packet = ds.Data();
  packet.rows.push_back({Variant("D")});
  ds.SetData(packet);
  ds.EmptyDataSet();
  ds.SetData(packet);
  ds.EnableControls();
  EXPECT_EQ(trace, "changed ");
  EXPECT_EQ(ds.RecordCount(), 4);
}

TEST_F(DataSourceTest, FocusControlStopsAtTheFirstLinkThatShowsTheField) {
  std::string asked;
  TCallbackDataLink navigator, grid, edit;
  navigator.on_focus_control = [&](TField&) {
    asked += "navigator ";
    return false;
  };
  grid.on_focus_control = [&](TField& f) {
    asked += "grid(" + f.FieldName() + ") ";
    return true;
  };
  edit.on_focus_control = [&](TField&) {
    asked += "edit ";
    return true;
  };
  navigator.SetDataSource(&source);
  grid.SetDataSource(&source);
  edit.SetDataSource(&source);
  ds.FieldByName("NAME").FocusControl();
  EXPECT_EQ(asked, "navigator grid(NAME) ");
}

TEST_F(DataSourceTest, LinkSourceAndDataSetMayGoInAnyOrder) {
  auto other = std::make_unique<TraceLink>(trace);
  other->SetDataSource(&source);
  EXPECT_EQ(source.Links().size(), 2u);
  other.reset();
  EXPECT_EQ(source.Links().size(), 1u);

  auto dataset = std::make_unique<TClientDataSet>("cdsGone");
  auto second = std::make_unique<TDataSource>();
  second->SetDataSet(dataset.get());
  TCallbackDataLink stays;
  stays.SetDataSource(second.get());
  dataset.reset();
  EXPECT_EQ(second->DataSet(), nullptr);
  EXPECT_EQ(second->State(), dsInactive);
  second.reset();
  EXPECT_EQ(stays.DataSource(), nullptr);
  EXPECT_FALSE(stays.Active());
}

TEST_F(DataSourceTest, DataChangeEventNamesTheField) {
  std::string changes;
  source.OnDataChange = [&](TDataSource&, TField* f) { changes += f ? f->FieldName() + " " : "* "; };
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("Z");
  ds.Cancel();
  EXPECT_EQ(changes, "* NAME * ");
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "A");
}

}  // namespace
}  // namespace rt
