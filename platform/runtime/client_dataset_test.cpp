#include "platform/runtime/client_dataset.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "platform/runtime/abort.h"

namespace rt {
namespace {

FieldDef Str(const std::string& name, int size) {
  FieldDef def;
  def.name = name;
  def.size = size;
  return def;
}

FieldDef Num(const std::string& name) {
  FieldDef def;
  def.name = name;
  def.type = FieldType::Float;
  return def;
}

// Three merged rows: NAME / QTY  A 1, B 2, C 3.
class DataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.SetFieldDefs({Str("NAME", 10), Num("QTY")});
    ds.CreateDataSet();
    for (auto [name, qty] : std::vector<std::pair<const char*, double>>{{"A", 1}, {"B", 2}, {"C", 3}}) {
      ds.Append();
      ds.FieldByName("NAME").SetAsString(name);
      ds.FieldByName("QTY").SetAsFloat(qty);
      ds.Post();
    }
    ds.MergeChangeLog();
    ds.First();
  }

  void SetRow(const std::string& name, double qty) {
    ds.FieldByName("NAME").SetAsString(name);
    ds.FieldByName("QTY").SetAsFloat(qty);
  }

  std::string State() const { return ds.Describe("NAME;QTY"); }

  TClientDataSet ds{"cdsTest"};
};

std::string Values(const Row& row) {
  std::string out;
  for (std::size_t i = 0; i < row.size(); ++i) {
    out += (i > 0 ? "|" : "") + (row[i].IsNull() ? std::string("-") : row[i].Describe());
  }
  return out;
}

// "modified(B|2 -> X|2) deleted(C|3 -> -|-)"
std::string DeltaText(const DataPacket& delta) {
  std::string out;
  for (const DeltaRow& change : delta.changes) {
    if (!out.empty()) out += " ";
    out += std::string(RowKindName(change.kind)) + "(" + Values(change.old_values) + " -> " +
           Values(change.new_values) + ")";
  }
  return out;
}

// ---- The change scenarios, each through the same three checks.

struct Scenario {
  const char* name;
  std::function<void(TClientDataSet&)> steps;
  const char* delta;
  const char* after;  // Describe("NAME;QTY")
};

void Go(TClientDataSet& ds, const char* name) { ASSERT_TRUE(ds.Locate("NAME", {Variant(name)})) << name; }
void Set(TClientDataSet& ds, const char* name, double qty) {
  ds.FieldByName("NAME").SetAsString(name);
  ds.FieldByName("QTY").SetAsFloat(qty);
}

const Scenario kScenarios[] = {
    {"edit",
     [](TClientDataSet& ds) {
       Go(ds, "B");
       ds.Edit();
       Set(ds, "X", 2);
       ds.Post();
     },
     "modified(\"B\"|2 -> \"X\"|2)", "1:A|1 2:X|2* 3:C|3 state=browse log=1"},
    {"repeated edits keep the values of the last merge",
     [](TClientDataSet& ds) {
       Go(ds, "B");
       ds.Edit();
       Set(ds, "X", 5);
       ds.Post();
       ds.Edit();
       Set(ds, "Y", 6);
       ds.Post();
     },
     "modified(\"B\"|2 -> \"Y\"|6)", "1:A|1 2:Y|6* 3:C|3 state=browse log=1"},
    {"insert",
     [](TClientDataSet& ds) {
       ds.Append();
       Set(ds, "D", 4);
       ds.Post();
     },
     "inserted(-|- -> \"D\"|4)", "1:A|1 2:B|2 3:C|3 4:D|4* state=browse log=1"},
    {"insert then modify stays an insert",
     [](TClientDataSet& ds) {
       ds.Append();
       Set(ds, "D", 4);
       ds.Post();
       ds.Edit();
       Set(ds, "E", 5);
       ds.Post();
     },
     "inserted(-|- -> \"E\"|5)", "1:A|1 2:B|2 3:C|3 4:E|5* state=browse log=1"},
    {"insert then delete cancels out",
     [](TClientDataSet& ds) {
       Go(ds, "B");
       ds.Insert();
       Set(ds, "D", 4);
       ds.Post();
       ds.Delete();
     },
     "", "1:A|1 2:B|2* 3:C|3 state=browse log=0"},
    {"modify then delete sends the values of the last merge",
     [](TClientDataSet& ds) {
       Go(ds, "B");
       ds.Edit();
       Set(ds, "X", 9);
       ds.Post();
       ds.Delete();
     },
     "deleted(\"B\"|2 -> -|-)", "1:A|1 2:C|3* state=browse log=1"},
    {"post without a change logs nothing",
     [](TClientDataSet& ds) {
       Go(ds, "B");
       ds.Edit();
       Set(ds, "B", 2);
       ds.Post();
     },
     "", "1:A|1 2:B|2* 3:C|3 state=browse log=0"},
    {"edit after a merge starts from the merged values",
     [](TClientDataSet& ds) {
       Go(ds, "B");
       ds.Edit();
       Set(ds, "X", 2);
       ds.Post();
       ds.MergeChangeLog();
       ds.Edit();
       Set(ds, "Y", 2);
       ds.Post();
     },
     "modified(\"X\"|2 -> \"Y\"|2)", "1:A|1 2:Y|2* 3:C|3 state=browse log=1"},
    {"a failed save stays and travels with the next",
     [](TClientDataSet& ds) {
       Go(ds, "A");
       ds.Edit();
       Set(ds, "X", 1);
       ds.Post();  // its save failed: no merge
       Go(ds, "C");
       ds.Edit();
       Set(ds, "Z", 3);
       ds.Post();
     },
     "modified(\"A\"|1 -> \"X\"|1) modified(\"C\"|3 -> \"Z\"|3)", "1:X|1 2:B|2 3:Z|3* state=browse log=2"},
};

class ChangeScenarioTest : public DataSetTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(ChangeScenarioTest, DeltaHoldsTheExpectedOperations) {
  GetParam().steps(ds);
  EXPECT_EQ(State(), GetParam().after);
  const DataPacket delta = ds.Delta();
  EXPECT_TRUE(delta.IsDelta());
  EXPECT_EQ(DeltaText(delta), GetParam().delta);
  EXPECT_EQ(ds.ChangeCount(), static_cast<int>(delta.changes.size()));
  ds.MergeChangeLog();
  EXPECT_EQ(ds.ChangeCount(), 0);
  EXPECT_EQ(DeltaText(ds.Delta()), "");
}

TEST_P(ChangeScenarioTest, CancelRestoresExactly) {
  GetParam().steps(ds);
  const std::string before = State();
  const DataPacket data = ds.Data();
  const std::string delta = DeltaText(ds.Delta());
  const int recno = ds.RecNo();

  ds.Edit();
  Set(ds, "Q", 99);
  ds.Cancel();
  EXPECT_EQ(State(), before);
  ds.Insert();
  Set(ds, "Q", 99);
  ds.Cancel();
  EXPECT_EQ(State(), before);
  EXPECT_EQ(ds.RecNo(), recno);
  EXPECT_EQ(ds.Data(), data);
  EXPECT_EQ(DeltaText(ds.Delta()), delta);
}

TEST_P(ChangeScenarioTest, RoundTripThroughDataGivesAnEqualDataSet) {
  GetParam().steps(ds);
  TClientDataSet copy("cdsCopy");
  copy.SetFieldDefs(ds.FieldDefs());
  copy.SetData(ds.Data());
  EXPECT_EQ(copy.Data(), ds.Data());
  ds.MergeChangeLog();
  copy.SetRecNo(ds.RecNo());
  EXPECT_EQ(copy.Describe("NAME;QTY"), ds.Describe("NAME;QTY"));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ChangeScenarioTest, ::testing::ValuesIn(kScenarios), [](const auto& info) {
  std::string name;
  for (const char* p = info.param.name; *p != 0; ++p) name += std::isalnum(*p) ? *p : '_';
  return name;
});

// ---- Before-events

struct BeforeEventCase {
  const char* name;
  TClientDataSet::TDataSetNotifyEvent TClientDataSet::*event;
  std::function<void(TClientDataSet&)> prepare;  // reaches the state the operation starts from
  std::function<void(TClientDataSet&)> operation;
};

const BeforeEventCase kBeforeEvents[] = {
    {"BeforeInsert", &TClientDataSet::BeforeInsert, [](TClientDataSet&) {}, [](TClientDataSet& ds) { ds.Insert(); }},
    {"BeforeAppend", &TClientDataSet::BeforeInsert, [](TClientDataSet&) {}, [](TClientDataSet& ds) { ds.Append(); }},
    {"BeforeEdit", &TClientDataSet::BeforeEdit, [](TClientDataSet&) {}, [](TClientDataSet& ds) { ds.Edit(); }},
    {"BeforePost", &TClientDataSet::BeforePost,
     [](TClientDataSet& ds) {
       ds.Edit();
       ds.FieldByName("NAME").SetAsString("typed");
     },
     [](TClientDataSet& ds) { ds.Post(); }},
    {"BeforePostOfInsert", &TClientDataSet::BeforePost,
     [](TClientDataSet& ds) {
       ds.Insert();
       ds.FieldByName("NAME").SetAsString("new");
     },
     [](TClientDataSet& ds) { ds.Post(); }},
    {"BeforeDelete", &TClientDataSet::BeforeDelete, [](TClientDataSet&) {}, [](TClientDataSet& ds) { ds.Delete(); }},
};

class BeforeEventTest : public DataSetTest, public ::testing::WithParamInterface<BeforeEventCase> {};

TEST_P(BeforeEventTest, AnAbortLeavesTheDataSetExactlyAsItWas) {
  const BeforeEventCase& c = GetParam();
  ds.Next();
  c.prepare(ds);
  const std::string before = State();
  const std::string name = ds.FieldByName("NAME").AsString();
  ds.*(c.event) = [](TClientDataSet&) { Abort(); };
  EXPECT_THROW(c.operation(ds), EAbort);
  EXPECT_EQ(State(), before);
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), name);  // the user's values stay in the buffer
  EXPECT_EQ(ds.ChangeCount(), 0);

  ds.*(c.event) = [](TClientDataSet&) { throw std::runtime_error("refused"); };
  EXPECT_THROW(c.operation(ds), std::runtime_error);
  EXPECT_EQ(State(), before);

  ds.*(c.event) = nullptr;  // detached: the operation goes through
  EXPECT_NO_THROW(c.operation(ds));
  EXPECT_NE(State(), before);
}

INSTANTIATE_TEST_SUITE_P(Events, BeforeEventTest, ::testing::ValuesIn(kBeforeEvents),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataSetTest, PostRunsItsStepsInOrder) {
  std::string trace;
  TDataSource source;
  source.SetDataSet(&ds);
  TCallbackDataLink link;
  link.on_update_data = [&] {
    trace += "update ";
    ds.FieldByName("NAME").SetAsString("pending");  // the editor's text
  };
  link.SetDataSource(&source);
  ds.BeforePost = [&](TClientDataSet& d) {
    trace += "before(" + d.FieldByName("NAME").AsString() + "," + std::to_string(d.ChangeCount()) + ") ";
  };
  ds.AfterPost = [&](TClientDataSet& d) {
    trace += "after(" + std::string(DataSetStateName(d.State())) + "," + std::to_string(d.ChangeCount()) + ")";
  };
  ds.Edit();
  ds.Post();
  EXPECT_EQ(trace, "update before(pending,0) after(browse,1)");
}

// ---- Moving while editing

TEST_F(DataSetTest, ScrollWhileEditingPostsFirst) {
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("X");
  ds.Next();
  EXPECT_EQ(State(), "1:X|1 2:B|2* 3:C|3 state=browse log=1");
}

TEST_F(DataSetTest, ScrollFromAnUnchangedEditCancelsIt) {
  ds.Edit();
  ds.Next();
  EXPECT_EQ(State(), "1:A|1 2:B|2* 3:C|3 state=browse log=0");
  ds.Append();
  ds.First();  // an untouched new row goes away
  EXPECT_EQ(State(), "1:A|1* 2:B|2 3:C|3 state=browse log=0");
}

TEST_F(DataSetTest, AbortInBeforePostDuringAScrollCancelsTheScroll) {
  ds.Next();
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("X");
  ds.BeforePost = [](TClientDataSet&) { Abort(); };
  int scrolls = 0;
  ds.AfterScroll = [&](TClientDataSet&) { ++scrolls; };
  for (const auto& move :
       std::vector<std::function<void()>>{[&] { ds.Next(); }, [&] { ds.First(); }, [&] { ds.Last(); },
                                          [&] { ds.SetRecNo(3); }, [&] { ds.Append(); }}) {
    EXPECT_THROW(move(), EAbort);
    EXPECT_EQ(State(), "1:A|1 2:X|2* 3:C|3 state=edit log=0");
  }
  EXPECT_EQ(scrolls, 0);
}

// ---- Navigation

TEST_F(DataSetTest, NavigationFlags) {
  std::string seen;
  for (ds.First(); !ds.Eof(); ds.Next()) seen += ds.FieldByName("NAME").AsString();
  EXPECT_EQ(seen, "ABC");
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_TRUE(ds.Eof());
  ds.Prior();
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(ds.MoveBy(-5), -1);
  EXPECT_TRUE(ds.Bof());
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  ds.EmptyDataSet();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Eof() && ds.Bof());
  EXPECT_EQ(ds.RecNo(), 0);
  EXPECT_EQ(ds.ChangeCount(), 0);
  EXPECT_TRUE(ds.FieldByName("NAME").IsNull());
}

TEST_F(DataSetTest, DeletingTheLastRecordReachesTheEnd) {
  // The usual "delete or skip" loop ends.
  for (ds.First(); !ds.Eof();) {
    if (ds.FieldByName("NAME").AsString() != "B") {
      ds.Delete();
    } else {
      ds.Next();
    }
  }
  EXPECT_EQ(State(), "1:B|2* state=browse log=2");
  EXPECT_EQ(DeltaText(ds.Delta()), "deleted(\"A\"|1 -> -|-) deleted(\"C\"|3 -> -|-)");
}

TEST_F(DataSetTest, InsertGoesBeforeTheCurrentRecordAndCancelReturnsToIt) {
  ds.Next();
  ds.Insert();
  EXPECT_EQ(State(), "1:A|1 2:|* 3:B|2 4:C|3 state=insert log=0");
  SetRow("N", 7);
  ds.Post();
  EXPECT_EQ(State(), "1:A|1 2:N|7* 3:B|2 4:C|3 state=browse log=1");
  EXPECT_EQ(ds.Data().rows.size(), 4u);
}

// ---- Fields

TEST_F(DataSetTest, OldAndNewValues) {
  TField& name = ds.FieldByName("NAME");
  EXPECT_EQ(name.OldValue(), Variant("A"));
  ds.Edit();
  name.SetAsString("X");
  EXPECT_EQ(name.OldValue(), Variant("A"));
  EXPECT_EQ(name.NewValue(), Variant("X"));
  ds.Post();
  ds.Edit();
  name.SetAsString("Y");
  ds.Post();
  EXPECT_EQ(name.OldValue(), Variant("A"));  // as at the last merge
  EXPECT_EQ(name.NewValue(), Variant("Y"));
  ds.MergeChangeLog();
  EXPECT_EQ(name.OldValue(), Variant("Y"));
  ds.Append();
  name.SetAsString("N");
  EXPECT_TRUE(name.OldValue().IsNull());
  ds.Post();
  EXPECT_TRUE(name.OldValue().IsNull());  // inserted since the merge
  EXPECT_EQ(name.NewValue(), Variant("N"));
}

TEST_F(DataSetTest, WritingOutsideEditIsRefusedWithAClearMessage) {
  try {
    ds.FieldByName("NAME").SetAsString("X");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("Dataset not in edit or insert mode"), std::string::npos);
  }
  try {
    ds.FieldByName("NOPE");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("'NOPE'"), std::string::npos);
  }
  EXPECT_EQ(ds.FindField("NOPE"), nullptr);
  EXPECT_THROW(ds.Post(), EDatabaseError);
}

TEST(DataSetFieldsTest, StringsAreCutToTheSizeInCharacters) {
  TClientDataSet ds;
  ds.SetFieldDefs({Str("CODE", 4), Str("NAME", 3)});
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("CODE").SetAsString("ABCDEFG");
  ds.FieldByName("NAME").SetAsString("ÁÉÍÓÚ");
  ds.Post();
  EXPECT_EQ(ds.FieldByName("CODE").AsString(), "ABCD");
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "ÁÉÍ");

  DataPacket packet = ds.Data();
  packet.rows[0] = {Variant("0123456789"), Variant("çãoxyz")};
  ds.SetData(packet);
  EXPECT_EQ(ds.FieldByName("CODE").AsString(), "0123");
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "ção");
}

// ---- Calculated fields

class CalcFieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FieldDef hours = Str("HOURS", 8);
    hours.calculated = true;
    ds.SetFieldDefs({Str("NAME", 10), Num("QTY"), hours});
    ds.OnCalcFields = [this](TClientDataSet& d) {
      ++calcs;
      states += DataSetStateName(d.State());
      d.FieldByName("HOURS").SetAsString(d.FieldByName("QTY").AsString() + "h");
    };
    DataPacket packet;
    packet.fields = {Str("NAME", 10), Num("QTY")};
    packet.rows = {{Variant("A"), Variant(1.0)}, {Variant("B"), Variant(2.0)}};
    ds.SetData(packet);
  }
  TClientDataSet ds;
  int calcs = 0;
  std::string states;
};

TEST_F(CalcFieldsTest, ComputedOnLoadScrollAndPost) {
  EXPECT_EQ(ds.Describe("NAME;HOURS"), "1:A|1h* 2:B|2h state=browse log=0");
  EXPECT_EQ(states.substr(0, 10), "calcfields");
  ds.Edit();
  ds.FieldByName("QTY").SetAsFloat(5);
  EXPECT_EQ(ds.FieldByName("HOURS").AsString(), "5h");
  ds.Post();
  EXPECT_EQ(ds.Describe("NAME;HOURS"), "1:A|5h* 2:B|2h state=browse log=1");
  const int before = calcs;
  ds.Next();
  EXPECT_GT(calcs, before);
  // Calculated fields never travel.
  EXPECT_EQ(ds.Data().fields.size(), 2u);
  EXPECT_EQ(ds.Delta().fields.size(), 2u);
  EXPECT_EQ(ds.Delta().changes.at(0).new_values.size(), 2u);
}

TEST_F(CalcFieldsTest, WritesAreRefusedOutsideTheirState) {
  ds.Edit();
  EXPECT_THROW(ds.FieldByName("HOURS").SetAsString("x"), EDatabaseError);
  ds.Cancel();
  ds.OnCalcFields = [](TClientDataSet& d) { d.FieldByName("QTY").SetAsFloat(1); };
  ds.Edit();
  EXPECT_THROW(ds.FieldByName("NAME").SetAsString("Z"), EDatabaseError);
  EXPECT_EQ(ds.State(), dsEdit);  // the temporary state is always left
}

TEST_F(CalcFieldsTest, AnEmptiedDataSetMovesAndRefillsSafely) {
  ds.EmptyDataSet();
  ds.First();
  EXPECT_TRUE(ds.Eof());
  ds.Append();
  ds.FieldByName("NAME").SetAsString("C");
  ds.FieldByName("QTY").SetAsFloat(3);
  ds.Post();
  ds.First();
  EXPECT_EQ(ds.Describe("NAME;HOURS"), "1:C|3h* state=browse log=1");
}

// ---- Appending whole records: the bulk path (controls disabled, no handler) and the
// path through the fields must leave the same records, log and values behind.

struct AppendPath {
  const char* name;
  std::function<void(TClientDataSet&)> prepare;
};

class AppendRecordTest : public CalcFieldsTest, public ::testing::WithParamInterface<AppendPath> {};

TEST_P(AppendRecordTest, StoresConvertedValuesWithCalculatedFieldsAndLogsAnInsert) {
  GetParam().prepare(ds);
  Row values = {Variant("CUT AFTER TEN"), Variant(std::int64_t{4}), Variant("ignored")};
  ds.AppendRecord(values);
  EXPECT_EQ(Values(values), "\"CUT AFTER \"|4|\"4h\"");  // as stored: cut, a float, computed
  EXPECT_EQ(values[1].type(), Variant::Type::Float);
  values[0] = Variant("D");
  values[1] = Variant();
  ds.AppendRecord(values);
  if (ds.ControlsDisabled()) ds.EnableControls();
  EXPECT_EQ(ds.Describe("NAME;QTY;HOURS"), "1:A|1|1h 2:B|2|2h 3:CUT AFTER |4|4h 4:D||h* state=browse log=2");
  EXPECT_EQ(DeltaText(ds.Delta()), "inserted(-|- -> \"CUT AFTER \"|4) inserted(-|- -> \"D\"|-)");
}

TEST_P(AppendRecordTest, AValueAFieldCannotTakeAddsNothing) {
  GetParam().prepare(ds);
  Row values = {Variant("C"), Variant("not a number"), Variant()};
  EXPECT_THROW(ds.AppendRecord(values), EDatabaseError);
  Row short_row = {Variant("C")};
  EXPECT_THROW(ds.AppendRecord(short_row), EDatabaseError);
  ds.OnCalcFields = [](TClientDataSet& d) {
    if (d.FieldByName("NAME").AsString() == "BAD") throw EDatabaseError("refused by the calculation");
  };
  Row refused = {Variant("BAD"), Variant(1.0), Variant()};
  EXPECT_THROW(ds.AppendRecord(refused), EDatabaseError);
  if (ds.ControlsDisabled()) ds.EnableControls();
  EXPECT_EQ(ds.Describe("NAME;QTY"), "1:A|1 2:B|2* state=browse log=0");  // as after a cancelled Append
}

INSTANTIATE_TEST_SUITE_P(BothPaths, AppendRecordTest,
                         ::testing::Values(AppendPath{"Bulk", [](TClientDataSet& d) { d.DisableControls(); }},
                                           AppendPath{"ThroughFields",
                                                      [](TClientDataSet& d) { d.AfterPost = [](TClientDataSet&) {}; }}),
                         [](const ::testing::TestParamInfo<AppendPath>& info) { return std::string(info.param.name); });

TEST(DataSetFieldsTest, ARequiredFieldRefusesABulkAppendWithoutIt) {
  TClientDataSet ds("cdsReq");
  FieldDef code = Str("CODE", 4);
  code.required = true;
  ds.SetFieldDefs({code, Num("QTY")});
  ds.CreateDataSet();
  ds.DisableControls();
  Row values = {Variant(), Variant(1.0)};
  EXPECT_THROW(ds.AppendRecord(values), EDatabaseError);
  ds.EnableControls();
  EXPECT_EQ(ds.Describe(), "state=browse log=0");
}

// ---- Loading

TEST(DataSetLoadTest, PacketFieldsMatchTheDefinitionsByName) {
  TClientDataSet ds("cdsAux");
  FieldDef label = Num("QTY");
  label.display_label = "Qt.";
  ds.SetFieldDefs({Str("NAME", 10), label});
  DataPacket packet;
  packet.fields = {Num("QTY"), Str("EXTRA", 5), Str("NAME", 10)};
  packet.rows = {{Variant(std::int64_t{3}), Variant("e"), Variant("A")}};
  ds.SetData(packet);
  EXPECT_EQ(ds.FieldCount(), 3);
  EXPECT_EQ(ds.FieldByName("QTY").DisplayLabel(), "Qt.");
  EXPECT_EQ(ds.FieldByName("QTY").Value().type(), Variant::Type::Float);
  EXPECT_EQ(ds.FieldByName("EXTRA").AsString(), "e");

  DataPacket missing;
  missing.fields = {Str("NAME", 10)};
  missing.rows = {{Variant("B")}};
  EXPECT_THROW(ds.SetData(missing), EDatabaseError);
  EXPECT_EQ(ds.Describe("NAME;QTY"), "1:A|3* state=browse log=0");  // unchanged

  DataPacket bad = packet;
  bad.rows.push_back({Variant("B")});
  EXPECT_THROW(ds.SetData(bad), EDatabaseError);
  bad.rows.back() = {Variant("not a number"), Variant(), Variant("B")};
  EXPECT_THROW(ds.SetData(bad), EDatabaseError);
  EXPECT_EQ(ds.RecordCount(), 1);
}

TEST(DataSetLoadTest, ClosedDataSetRefusesWork) {
  TClientDataSet ds("cdsX");
  EXPECT_THROW(ds.CreateDataSet(), EDatabaseError);
  ds.SetFieldDefs({Str("NAME", 10)});
  EXPECT_THROW(ds.Append(), EDatabaseError);
  EXPECT_THROW(ds.First(), EDatabaseError);
  ds.Open();
  EXPECT_TRUE(ds.Active());
  EXPECT_THROW(ds.SetFieldDefs({}), EDatabaseError);
  ds.Close();
  EXPECT_FALSE(ds.Active());
  EXPECT_TRUE(ds.FieldByName("NAME").IsNull());
}

// ---- Index

class IndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.SetFieldDefs({Str("NMPRODUTO", 50), Num("NRFORNE"), Str("NRTURNO", 2)});
    ds.CreateDataSet();
    // Two shifts of the same products, loaded shift by shift.
    const std::vector<std::tuple<Variant, double, const char*>> rows = {
        {"GARCOM", 1, "01"}, {"GARCOM", 2, "01"},  {"COPEIRO", 1, "01"}, {"GARCOM", 10, "01"},
        {"GARCOM", 1, "02"}, {"COPEIRO", 1, "02"}, {"garcom", 1, "02"},  {Variant(), 9, "02"},
    };
    for (const auto& [product, unit, shift] : rows) {
      ds.Append();
      ds.FieldByName("NMPRODUTO").SetValue(product);
      ds.FieldByName("NRFORNE").SetAsFloat(unit);
      ds.FieldByName("NRTURNO").SetAsString(shift);
      ds.Post();
    }
    ds.MergeChangeLog();
  }
  std::string Order() const { return ds.Describe("NMPRODUTO;NRFORNE;NRTURNO"); }
  TClientDataSet ds;
};

TEST_F(IndexTest, OrdersByTheFieldsStablyWithNullFirst) {
  ds.Locate("NMPRODUTO;NRTURNO", {Variant("COPEIRO"), Variant("02")});
  ds.SetIndexFieldNames("NMPRODUTO;NRFORNE");
  EXPECT_EQ(Order(),
            "1:|9|02 2:COPEIRO|1|01 3:COPEIRO|1|02* 4:GARCOM|1|01 5:GARCOM|1|02 6:GARCOM|2|01 7:GARCOM|10|01 "
            "8:garcom|1|02 state=browse log=0");
  ds.SetIndexFieldNames("");
  EXPECT_EQ(Order(),
            "1:GARCOM|1|01 2:GARCOM|2|01 3:COPEIRO|1|01 4:GARCOM|10|01 5:GARCOM|1|02 6:COPEIRO|1|02* "
            "7:garcom|1|02 8:|9|02 state=browse log=0");
  EXPECT_THROW(ds.SetIndexFieldNames("NOPE"), EDatabaseError);
  EXPECT_EQ(ds.IndexFieldNames(), "");
}

TEST_F(IndexTest, PostsKeepTheOrderAndTheCursorFollowsTheRecord) {
  ds.SetIndexFieldNames("NMPRODUTO;NRFORNE");
  ds.First();
  ds.Edit();
  ds.FieldByName("NMPRODUTO").SetAsString("GARCOM");
  ds.FieldByName("NRFORNE").SetAsFloat(3);
  ds.Post();
  EXPECT_EQ(ds.RecNo(), 6);
  EXPECT_EQ(ds.FieldByName("NRTURNO").AsString(), "02");
  ds.Append();
  ds.FieldByName("NMPRODUTO").SetAsString("AJUDANTE");
  ds.Post();
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_EQ(Order(),
            "1:AJUDANTE||* 2:COPEIRO|1|01 3:COPEIRO|1|02 4:GARCOM|1|01 5:GARCOM|1|02 6:GARCOM|2|01 "
            "7:GARCOM|3|02 8:GARCOM|10|01 9:garcom|1|02 state=browse log=2");
}

TEST_F(IndexTest, BulkAppendsWithControlsDisabledAreOrderedOnce) {
  ds.SetIndexFieldNames("NMPRODUTO;NRFORNE");
  ds.DisableControls();
  for (int unit = 20; unit > 0; --unit) {
    ds.Append();
    ds.FieldByName("NMPRODUTO").SetAsString("BARMAN");
    ds.FieldByName("NRFORNE").SetAsFloat(unit);
    ds.Post();
  }
  ds.EnableControls();
  EXPECT_EQ(ds.FieldByName("NRFORNE").AsFloat(), 1);  // the last posted record stays current
  ds.First();
  ds.Next();
  std::string units;
  for (int i = 0; i < 20; ++i, ds.Next()) units += ds.FieldByName("NRFORNE").AsString() + " ";
  EXPECT_EQ(units, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 ");
}

TEST_F(IndexTest, LookingAtTheOrderDuringABulkInsertKeepsItRight) {
  ds.SetIndexFieldNames("NMPRODUTO;NRFORNE");
  ds.DisableControls();
  for (const char* product : {"ZELADOR", "BARMAN", "MOTORISTA"}) {
    ds.Append();
    ds.FieldByName("NMPRODUTO").SetAsString(product);
    ds.Post();
    ds.Append();
    EXPECT_EQ(ds.RecNo(), ds.RecordCount());  // the new record, not yet placed
    ds.FieldByName("NMPRODUTO").SetAsString(std::string(product) + "2");
    ds.Post();
  }
  ds.EnableControls();
  std::string order;
  for (ds.First(); !ds.Eof(); ds.Next()) order += ds.FieldByName("NMPRODUTO").AsString() + " ";
  EXPECT_EQ(order,
            " BARMAN BARMAN2 COPEIRO COPEIRO GARCOM GARCOM GARCOM GARCOM MOTORISTA MOTORISTA2 ZELADOR ZELADOR2 "
            "garcom ");
}

TEST_F(IndexTest, TheGridLoadBuildsByInsertThenOrdersOnce) {
  // The load of the grid: emptied, controls disabled, no index, one insert + post a row,
  // then the index, the controls and a merge.
  TDataSource source;
  source.SetDataSet(&ds);
  int changes = 0;
  TCallbackDataLink link;
  link.on_data_set_changed = [&] { ++changes; };
  link.SetDataSource(&source);
  ds.SetIndexFieldNames("NMPRODUTO;NRFORNE");
  ds.EmptyDataSet();
  ds.DisableControls();
  changes = 0;
  ds.SetIndexFieldNames("");
  for (auto [product, unit, shift] : std::vector<std::tuple<const char*, double, const char*>>{
           {"GARCOM", 1, "01"}, {"GARCOM", 2, "01"}, {"COPEIRO", 1, "01"}, {"GARCOM", 1, "02"}}) {
    ds.Insert();
    ds.FieldByName("NMPRODUTO").SetAsString(product);
    ds.FieldByName("NRFORNE").SetAsFloat(unit);
    ds.FieldByName("NRTURNO").SetAsString(shift);
    ds.Post();
  }
  // Each insert went before the current record.
  EXPECT_EQ(Order(), "1:GARCOM|1|02* 2:COPEIRO|1|01 3:GARCOM|2|01 4:GARCOM|1|01 state=browse log=4");
  ds.SetIndexFieldNames("NMPRODUTO;NRFORNE");
  ds.EnableControls();
  ds.MergeChangeLog();
  EXPECT_EQ(changes, 1);
  // Same product from two shifts interleave by unit; equal keys keep the order of creation.
  EXPECT_EQ(Order(), "1:COPEIRO|1|01 2:GARCOM|1|01 3:GARCOM|1|02* 4:GARCOM|2|01 state=browse log=0");
}

TEST_F(IndexTest, ViewsReadAnyRecordWithoutMovingTheCursor) {
  ds.SetIndexFieldNames("NMPRODUTO;NRFORNE");
  ds.SetRecNo(2);
  ds.Edit();
  ds.FieldByName("NRTURNO").SetAsString("99");
  int scrolls = 0;
  ds.AfterScroll = [&](TClientDataSet&) { ++scrolls; };
  std::string seen;
  for (int recno = 1; recno <= ds.RecordCount(); ++recno) {
    TReadRecordScope scope(ds, recno);
    seen += ds.FieldByName("NRTURNO").AsString() + " ";
    if (recno == 4) {
      TReadRecordScope inner(ds, 1);
      seen += "(" + ds.FieldByName("NRFORNE").AsString() + ") ";
    }
  }
  EXPECT_EQ(seen, "02 99 02 01 (9) 02 01 01 02 ");  // the edited record shows its buffer
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(ds.State(), dsEdit);
  EXPECT_EQ(scrolls, 0);
  EXPECT_THROW(TReadRecordScope(ds, 9), EDatabaseError);
  // Reading into a variant answers the same as Value, in a read scope, the buffer and storage.
  Variant into;
  for (int recno : {1, 2, 8}) {
    TReadRecordScope scope(ds, recno);
    ds.FieldByName("NMPRODUTO").ReadValue(into);
    EXPECT_EQ(into, ds.FieldByName("NMPRODUTO").Value()) << recno;
  }
  ds.FieldByName("NRTURNO").ReadValue(into);
  EXPECT_EQ(into, Variant("99"));
  ds.Cancel();
  ds.First();
  ds.FieldByName("NMPRODUTO").ReadValue(into);
  EXPECT_TRUE(into.IsNull());
  ds.Next();
  ds.FieldByName("NMPRODUTO").ReadValue(into);
  EXPECT_EQ(into, Variant("COPEIRO"));
}

TEST_F(DataSetTest, EmptyingPostsAPendingEditThroughTheUsualChecks) {
  int checks = 0;
  ds.BeforePost = [&](TClientDataSet&) { ++checks; };
  ds.Edit();
  SetRow("X", 5);
  ds.EmptyDataSet();
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(State(), "state=browse log=0");
  ds.Append();
  SetRow("Y", 1);
  ds.BeforePost = [](TClientDataSet&) { Abort(); };
  EXPECT_THROW(ds.EmptyDataSet(), EAbort);  // a refused post keeps everything
  EXPECT_EQ(State(), "1:Y|1* state=insert log=0");
}

TEST_F(DataSetTest, MovingFromAnUntouchedNewRowCountsWithoutIt) {
  ds.Append();
  ds.SetRecNo(4);  // was the new row's number: the row goes, the last one is current
  EXPECT_EQ(State(), "1:A|1 2:B|2 3:C|3* state=browse log=0");
  ds.First();
  ds.Insert();
  ds.SetRecNo(2);  // the numbers after the dropped row shift back
  EXPECT_EQ(State(), "1:A|1 2:B|2* 3:C|3 state=browse log=0");
}

TEST(DataSetFieldsTest, ARequiredFieldMustHaveAValueToPost) {
  TClientDataSet ds("cdsReq");
  FieldDef code = Str("CODE", 4);
  code.required = true;
  ds.SetFieldDefs({code, Str("NAME", 10)});
  ds.CreateDataSet();
  ds.Append();
  ds.FieldByName("NAME").SetAsString("x");
  try {
    ds.Post();
    FAIL() << "posted";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "cdsReq: Field 'CODE' must have a value");
  }
  EXPECT_EQ(ds.Describe("CODE;NAME"), "1:|x* state=insert log=0");
  ds.FieldByName("CODE").SetAsString("A1");
  ds.Post();
  EXPECT_EQ(ds.Describe("CODE;NAME"), "1:A1|x* state=browse log=1");
}

TEST_F(DataSetTest, DeleteWhileInsertingDropsTheNewRow) {
  ds.Insert();
  SetRow("N", 1);
  ds.Delete();
  EXPECT_EQ(State(), "1:A|1* 2:B|2 3:C|3 state=browse log=0");
}

TEST(DataSetLoadTest, ColumnsAddedByALoadFollowTheNextPacket) {
  TClientDataSet ds("cdsPesq");
  TDataSource source;
  source.SetDataSet(&ds);
  int layouts = 0;
  TCallbackDataLink link;
  link.on_layout_changed = [&] { ++layouts; };
  link.SetDataSource(&source);
  DataPacket first;
  first.fields = {Str("A", 5), Str("B", 5)};
  first.rows = {{Variant("a1"), Variant("b1")}};
  ds.SetData(first);
  TField* a = &ds.FieldByName("A");
  ds.SetData(first);  // same columns: the same fields
  EXPECT_EQ(&ds.FieldByName("A"), a);
  EXPECT_EQ(layouts, 0);  // the first load opens the dataset: links see it become active
  DataPacket second;
  second.fields = {Str("C", 5)};
  second.rows = {{Variant("c1")}, {Variant("c2")}};
  ds.SetData(second);
  EXPECT_EQ(layouts, 1);
  EXPECT_EQ(ds.FindField("A"), nullptr);
  EXPECT_EQ(ds.Describe("C"), "1:c1* 2:c2 state=browse log=0");
}

}  // namespace
}  // namespace rt
