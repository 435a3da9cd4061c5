#include "platform/runtime/packet_json.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace rt {
namespace {

FieldDef StringField(std::string name, int size) {
  FieldDef f;
  f.name = std::move(name);
  f.type = FieldType::String;
  f.size = size;
  return f;
}

FieldDef TypedField(std::string name, FieldType type) {
  FieldDef f;
  f.name = std::move(name);
  f.type = type;
  return f;
}

// Every type, and every optional property away from its default on some field.
DataPacket SamplePacket() {
  DataPacket p;
  p.fields = {StringField("CDFILIAL", 4),
              TypedField("NRFORNE", FieldType::Float),
              TypedField("QTPESSOAS", FieldType::Integer),
              TypedField("IDATIVO", FieldType::Boolean),
              TypedField("DTEVENTO", FieldType::DateTime),
              StringField("NMPRODUTO", 50)};
  p.fields[1].display_label = "Nr.";
  p.fields[1].display_width = 5;
  p.fields[1].size = 8;  // not the default: travels although the field is not a string
  p.fields[2].visible = false;
  p.fields[2].read_only = true;
  p.fields[2].required = true;
  p.fields[2].fixed_length = true;
  p.fields[0].edit_mask = "9999;0";
  p.fields[0].provider_flags = {true, true, true};
  p.fields[5].provider_flags = ProviderFlags::NotApplied();
  p.rows = {{"0001", 1.0, 120, true, DateTime{2026, 3, 14, 19, 30, 0}, "Garçom de salão"},
            {"0001", 2.5, -7, false, Variant(), ""},
            {Variant(), Variant(), Variant(), Variant(), Variant(), Variant()}};
  return p;
}

DataPacket SampleDelta() {
  DataPacket p;
  p.kind = DataPacket::Kind::Delta;
  p.fields = {StringField("CDFORNECED", 21), TypedField("VRPAGOFORNORC", FieldType::Float)};
  p.changes = {{RowKind::Modified, {"F1", 10.0}, {"F2", 12.5}},
               {RowKind::Inserted, {Variant(), Variant()}, {"F3", 3.0}},
               {RowKind::Deleted, {"F4", 4.0}, {Variant(), Variant()}}};
  return p;
}

// The message of the DecodeError thrown by `decode`, or a note that none was thrown.
template <class F>
std::string DecodeFailure(F&& decode) {
  try {
    decode();
  } catch (const DecodeError& e) {
    return e.what();
  }
  return "<no DecodeError>";
}

template <class F>
std::string EncodeFailure(F&& encode) {
  try {
    encode();
  } catch (const EncodeError& e) {
    return e.what();
  }
  return "<no EncodeError>";
}

TEST(PacketJsonRoundTrip, VariantsComeBackEqualAndOfTheSameType) {
  const std::vector<Variant> values = {Variant(),
                                       true,
                                       false,
                                       0,
                                       std::numeric_limits<std::int64_t>::min(),
                                       std::numeric_limits<std::int64_t>::max(),
                                       2.0,
                                       -0.5,
                                       1e300,
                                       5e-324,
                                       "",
                                       "Orçamento não cadastrado.",
                                       "quote \" backslash \\ nul " + std::string(1, '\0'),
                                       DateTime{1, 1, 1, 0, 0, 0},
                                       DateTime{2024, 2, 29, 23, 59, 59},
                                       VariantArray{},
                                       VariantArray{1, "a", VariantArray{VariantArray{}, Variant()}},
                                       SamplePacket(),
                                       SampleDelta(),
                                       VariantArray{SamplePacket(), true}};
  for (const Variant& v : values) {
    SCOPED_TRACE(v.Describe());
    const std::string text = EncodeVariant(v);
    for (const Variant& back : {DecodeVariant(text), VariantFromJson(nlohmann::json::parse(text))}) {
      EXPECT_EQ(back, v);
      EXPECT_EQ(back.type(), v.type());
    }
  }
}

TEST(PacketJsonRoundTrip, PacketsKeepEveryFieldPropertyAndRowKind) {
  for (const DataPacket& p : {SamplePacket(), SampleDelta()}) {
    EXPECT_EQ(DecodePacket(EncodePacket(p)), p);
    EXPECT_EQ(PacketFromJson(ToJson(p)), p);
  }
}

TEST(PacketJsonWriter, WritesTheDocumentedForm) {
  EXPECT_EQ(EncodeVariant(2.0), "2.0");
  EXPECT_EQ(EncodeVariant(2), "2");
  EXPECT_EQ(EncodeVariant(DateTime{2026, 1, 31, 10, 0, 0}), R"({"$date":"2026-01-31T10:00:00"})");

  DataPacket p;
  p.fields = {StringField("CDFILIAL", 4), TypedField("NRFORNE", FieldType::Float)};
  p.fields[1].visible = false;
  p.fields[1].provider_flags = {false, false, true};
  p.rows = {{"0001", 1}};
  EXPECT_EQ(EncodePacket(p), R"({"$packet":{"fields":[{"name":"CDFILIAL","size":4,"type":"string"},)"
                             R"({"name":"NRFORNE","providerFlags":["key"],"type":"float","visible":false}],)"
                             R"("rows":[["0001",1]],"version":1}})");

  EXPECT_EQ(ToJson(SampleDelta())["$packet"]["rows"][1],
            nlohmann::json::parse(R"({"kind":"inserted","old":[null,null],"new":["F3",3.0]})"));
}

// The text writer against an independent one: nlohmann's dump of the same value, and its
// parser reading our text back.
TEST(PacketJsonWriter, TextAgreesWithTheDomForm) {
  const std::vector<Variant> values = {
      Variant(),
      true,
      std::int64_t{-9'223'372'036'854'775'807} - 1,
      "aspas \" barra \\ / tab\t nl\n cr\r bs\b ff\f nul" + std::string(1, '\0') + "\x01\x1f\x7f",
      "São Paulo — ação ✓ 😀",
      VariantArray{1, "x", VariantArray{}, DateTime{2026, 2, 28, 23, 59, 59}},
  };
  for (const Variant& v : values) {
    SCOPED_TRACE(v.Describe());
    EXPECT_EQ(EncodeVariant(v), ToJson(v).dump());
    EXPECT_EQ(DecodeVariant(EncodeVariant(v)), v);
  }
  const std::string& s = values[3].AsString();
  EXPECT_EQ(EncodeVariant(s), nlohmann::json(s).dump());

  for (const DataPacket& p : {SamplePacket(), SampleDelta()})
    EXPECT_EQ(nlohmann::json::parse(EncodePacket(p)), ToJson(p));
}

TEST(PacketJsonWriter, FloatsAreShortestAndReadBackExactly) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {{2.0, "2.0"},    {-0.0, "-0.0"},           {0.1, "0.1"},       {1.5e300, "1.5e+300"},
                        {1e15, "1e+15"}, {123456.75, "123456.75"}, {5e-324, "5e-324"}, {-2.5e-7, "-2.5e-07"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string text = EncodeVariant(c.value);
    EXPECT_EQ(text, c.text);
    const nlohmann::json read = nlohmann::json::parse(text);
    ASSERT_TRUE(read.is_number_float());
    EXPECT_EQ(std::signbit(read.get<double>()), std::signbit(c.value));
    EXPECT_EQ(read.get<double>(), c.value);
    const Variant back = DecodeVariant(text);
    ASSERT_EQ(back.type(), Variant::Type::Float);
    EXPECT_EQ(back.AsFloat(), c.value);
  }
}

// Whole cents under 10,000 are written by a shortcut: it must give the shortest form's
// text for every one of them, and leave the values just beside them to the search.
TEST(PacketJsonWriter, AmountsInCentsAreWrittenAsTheirShortestForm) {
  const auto shortest = [](double d) {
    char buffer[32];
    std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, d).ptr);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
  };
  int wrong = 0;
  for (long long cents = -1'000'001; cents <= 1'000'001; ++cents) {
    const double d = static_cast<double>(cents) / 100;
    for (const double value : {d, std::nextafter(d, 1e9)}) {
      const std::string text = EncodeVariant(value);
      if (text != shortest(value) && wrong++ < 5) ADD_FAILURE() << text << " for " << shortest(value);
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Strings are checked eight bytes at a time: a character to escape, a non-ASCII one or
// a broken one is found at every place in and across those words.
TEST(PacketJsonWriter, StringsAreEscapedWhereverTheCharacterFalls) {
  for (const std::string special : {"\"", "\\", "\n", "\x01", "\x1f", "\x7f", "é", "ção"}) {
    for (std::size_t at = 0; at <= 17; ++at) {
      std::string text(17, 'a');
      text.insert(at, special);
      EXPECT_EQ(EncodeVariant(text), nlohmann::json(text).dump()) << at;
    }
  }
  for (std::size_t at = 0; at <= 17; ++at) {
    std::string broken(17, 'a');
    broken.insert(at, "\xC3");  // a character's first byte alone
    EXPECT_THROW(EncodeVariant(broken), EncodeError) << at;
  }
}

TEST(PacketJsonWriter, CalculatedFieldsDoNotTravel) {
  DataPacket p;
  p.fields = {StringField("HRINITUMOBRA", 5), StringField("QTHORAS", 8), TypedField("QTHREVENTO", FieldType::Float)};
  p.fields[1].calculated = true;
  p.rows = {{"0830", "05:30", 5.5}};
  DataPacket expected;
  expected.fields = {p.fields[0], p.fields[2]};
  expected.rows = {{"0830", 5.5}};
  EXPECT_EQ(DecodePacket(EncodePacket(p)), expected);

  p.kind = DataPacket::Kind::Delta;
  p.rows.clear();
  p.changes = {{RowKind::Modified, {"0830", "05:30", 5.5}, {"0900", "05:00", 5.5}}};
  expected.kind = DataPacket::Kind::Delta;
  expected.rows.clear();
  expected.changes = {{RowKind::Modified, {"0830", 5.5}, {"0900", 5.5}}};
  EXPECT_EQ(DecodePacket(EncodePacket(p)), expected);
}

TEST(PacketJsonWriter, RefusesWhatTheReaderWouldRefuse) {
  auto packet_with = [](Row row) {
    DataPacket p;
    p.fields = {StringField("CDFILIAL", 4), TypedField("NRFORNE", FieldType::Float)};
    p.rows = {std::move(row)};
    return Variant(std::move(p));
  };
  DataPacket inserted_with_old = SampleDelta();
  inserted_with_old.changes[1].old_values[0] = "F9";
  DataPacket data_with_changes = SamplePacket();
  data_with_changes.changes = SampleDelta().changes;
  Variant deep = VariantArray{};
  for (int i = 1; i < kMaxNestingDepth; ++i) deep = VariantArray{deep};
  ASSERT_NO_THROW(EncodeVariant(deep));

  const std::vector<std::pair<Variant, std::string>> cases = {
      {std::nan(""), "a non-finite float"},
      {-std::numeric_limits<double>::infinity(), "a non-finite float"},
      {DateTime{2026, 2, 30, 0, 0, 0}, "invalid date 2026-02-30T00:00:00"},
      {packet_with({"00010", 1.0}), "row 1, field 'CDFILIAL': string of 5 characters exceeds size 4"},
      {packet_with({"0001", "1,5"}), "row 1, field 'NRFORNE': expected float, got string"},
      {packet_with({"0001"}), "row 1 has 1 values, the packet has 2 fields"},
      {inserted_with_old, "row 2: an inserted row has old values"},
      {data_with_changes, "data packet carries delta rows"},
      {VariantArray{deep}, "nesting deeper than 64 levels"},
      {std::string("caf\xE9"), "not valid UTF-8"},
  };
  for (const auto& [value, message] : cases) {
    SCOPED_TRACE(value.Describe());
    const std::string from_text = EncodeFailure([&value = value] { EncodeVariant(value); });
    EXPECT_NE(from_text.find(message), std::string::npos) << from_text;
    const std::string from_json = EncodeFailure([&value = value] { ToJson(value); });
    EXPECT_NE(from_json.find(message), std::string::npos) << from_json;
  }
  DataPacket bad_label = SamplePacket();
  bad_label.fields[0].display_label = "Descri\xE7\xE3o";  // Latin-1, not UTF-8
  EXPECT_EQ(EncodeFailure([&] { ToJson(bad_label); }), "a string is not valid UTF-8");
}

TEST(PacketJsonReader, TellsDeltaFromDataByTheRowsShape) {
  EXPECT_TRUE(DecodePacket(EncodePacket(SampleDelta())).IsDelta());
  DataPacket empty_delta = SampleDelta();
  empty_delta.changes.clear();
  // With no rows nothing tells the two apart: it reads as a data packet.
  EXPECT_FALSE(DecodePacket(EncodePacket(empty_delta)).IsDelta());
}

TEST(PacketJsonReader, IntegerInAFloatFieldReadsAsFloat) {
  const DataPacket p = DecodePacket(R"({"$packet":{"version":1,"fields":[{"name":"N","type":"float"}],"rows":[[3]]}})");
  EXPECT_EQ(p.rows[0][0].type(), Variant::Type::Float);
  EXPECT_EQ(p.rows[0][0].AsFloat(), 3.0);
}

TEST(PacketJsonReader, StringSizeCountsCharactersNotBytes) {
  const char* text = R"({"$packet":{"version":1,"fields":[{"name":"S","type":"string","size":4}],"rows":[["ção!"]]}})";
  EXPECT_EQ(DecodePacket(text).rows[0][0], Variant("ção!"));
}

// Each hostile text is refused by both readers with a message that names the problem.
TEST(PacketJsonReader, RefusesHostileInputNamingTheProblem) {
  auto packet = [](const std::string& fields, const std::string& rows, const std::string& version = "1") {
    return R"({"$packet":{"version":)" + version + R"(,"fields":)" + fields + R"(,"rows":)" + rows + "}}";
  };
  const std::string three = R"([{"name":"A","type":"string","size":4},{"name":"B","type":"float"},)"
                            R"({"name":"C","type":"integer"}])";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {packet(three, R"([["a",1.5,1],["b",2.5]])"), "row 2 has 2 values, the packet has 3 fields"},
      {packet(three, R"([["a",1.5,1,1]])"), "row 1 has 4 values, the packet has 3 fields"},
      {packet(R"([{"name":"NRFORNE","type":"money"}])", "[]"), "field 'NRFORNE': unknown type 'money'"},
      {packet(three, R"([["a",1.5,1],["b","x",1]])"), "row 2, field 'B': expected float, got string"},
      {packet(three, R"([["a",1.5,1.0]])"), "row 1, field 'C': expected integer, got float"},
      {packet(three, R"([["a",1.5,true]])"), "row 1, field 'C': expected integer, got boolean"},
      {packet(three, R"([[["a"],1.5,1]])"), "row 1, field 'A': expected string, got array"},
      {packet(three, R"([["abcde",1.5,1]])"), "row 1, field 'A': string of 5 characters exceeds size 4"},
      {packet(three, R"([["a",1.5,18446744073709551615]])"),
       "row 1, field 'C': integer 18446744073709551615 is out of range"},
      {packet(R"([{"name":"D","type":"datetime"}])", R"([[{"$packet":{}}]])"),
       "field 'D': expected datetime, got an object"},
      {packet(R"([{"name":"D","type":"datetime"}])", R"([["2026-01-01T00:00:00"]])"),
       "field 'D': expected datetime, got string"},
      {packet(three, "[]", "2"), "unsupported packet version 2"},
      {packet(three, "[]", "\"1\""), "packet version is not an integer"},
      {R"({"$packet":{"fields":[],"rows":[]}})", "packet without version"},
      {R"({"$packet":{"version":1,"rows":[]}})", "packet without a list of fields"},
      {R"({"$packet":{"version":1,"fields":[],"rows":{}}})", "packet without a list of rows"},
      {R"({"$packet":{"version":1,"fields":[],"rows":[],"extra":0}})", "packet: unknown key 'extra'"},
      {R"({"$packet":[]})", "$packet: expected an object, got array"},
      {packet(R"([{"name":"X","type":"string","size":1000001}])", "[]"), "field 'X': size 1000001 is huge"},
      {packet(R"([{"name":"X","type":"string","size":0}])", "[]"), "field 'X': size 0 is below 1"},
      {packet(R"([{"name":"X","type":"string"}])", "[]"), "field 'X': a string field needs a size"},
      {packet(R"([{"name":"X","type":"string","size":"4"}])", "[]"),
       "field 'X': size: expected an integer, got string"},
      {packet(R"([{"name":"X","type":"float","calculated":true}])", "[]"), "field 'X': unknown key 'calculated'"},
      {packet(R"([{"name":"X","type":"float","providerFlags":["key","key"]}])", "[]"), "'key' given twice"},
      {packet(R"([{"name":"X","type":"float","providerFlags":["all"]}])", "[]"), "unknown flag 'all'"},
      {packet(R"([{"name":"X","type":"float","visible":1}])", "[]"),
       "field 'X': visible: expected a boolean, got integer"},
      {packet(R"([{"type":"float"}])", "[]"), "field 1 has no name"},
      {packet(R"([{"name":"","type":"float"}])", "[]"), "field 1 has an empty name"},
      {packet(R"([{"name":"X","type":"float"},{"name":"X","type":"float"}])", "[]"), "duplicate field 'X'"},
      {packet(R"([1])", "[]"), "field 1: expected an object, got integer"},
      {packet(three, R"([{"kind":"modified","old":["a",1,1],"new":["a",2,1]},["b",1,1]])"),
       "row 2: expected a delta row object like row 1, got array"},
      {packet(three, R"([["b",1,1],{"kind":"modified","old":["a",1,1],"new":["a",2,1]}])"),
       "row 2: expected a list of values, got object"},
      {packet(three, R"([{"kind":"changed","old":["a",1,1],"new":["a",2,1]}])"), "row 1: unknown kind 'changed'"},
      {packet(three, R"([{"kind":"modified","old":["a",1,1]}])"), "row 1: a delta row needs"},
      {packet(three, R"([{"kind":"modified","old":["a",1,1],"new":["a",2]}])"),
       "row 1 (new) has 2 values, the packet has 3 fields"},
      {packet(three, R"([{"kind":"modified","old":["a","1",1],"new":["a",2,1]}])"),
       "row 1 (old), field 'B': expected float, got string"},
      {packet(three, R"([{"kind":"inserted","old":["a",1,1],"new":["a",2,1]}])"),
       "row 1: an inserted row has old values"},
      {packet(three, R"([{"kind":"deleted","old":["a",1,1],"new":["a",2,1]}])"), "row 1: a deleted row has new values"},
      {R"({"$date":"2026-02-30T00:00:00"})", "invalid date '2026-02-30T00:00:00'"},
      {R"({"$date":"2026-01-01"})", "invalid date '2026-01-01'"},
      {R"({"$date":20260101})", "$date: expected a string, got integer"},
      {R"({"$date":"2026-01-01T00:00:00","x":1})", "an object with 2 keys is not a variant"},
      {R"({})", "an object with 0 keys is not a variant"},
      {R"({"name":"x"})", "an object with key 'name' is not a variant"},
      {R"([1,18446744073709551615])", "integer 18446744073709551615 is out of range"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    const std::string from_text = DecodeFailure([&text = text] { DecodeVariant(text); });
    EXPECT_NE(from_text.find(message), std::string::npos) << from_text;
    const std::string from_json = DecodeFailure([&text = text] { VariantFromJson(nlohmann::json::parse(text)); });
    EXPECT_NE(from_json.find(message), std::string::npos) << from_json;
  }
}

TEST(PacketJsonReader, DuplicateKeysInTheText) {  // an nlohmann::json has already merged them
  EXPECT_EQ(DecodeFailure([] { DecodeVariant(R"({"$packet":{"version":1,"version":1,"fields":[],"rows":[]}})"); }),
            "packet: duplicate key 'version'");
  EXPECT_EQ(DecodeFailure([] { DecodeVariant(R"({"$date":"2026-01-01T00:00:00","$date":"2026-01-01T00:00:00"})"); }),
            "an object with 2 keys is not a variant (expected {\"$date\":...} or {\"$packet\":...})");
}

TEST(PacketJsonReader, LongTextInAMessageIsCutBetweenCharacters) {
  const std::string name = std::string(39, 'x') + "çç" + std::string(100, 'y');  // 'ç' straddles byte 40
  const std::string message = DecodeFailure([&] { DecodeVariant(R"({")" + name + R"(":1})"); });
  EXPECT_EQ(message, "an object with key '" + std::string(39, 'x') +
                         "...' is not a variant (expected \"$date\" or \"$packet\")");
}

TEST(PacketJsonReader, TooManyFields) {
  std::string fields = "[";
  for (int i = 0; i <= kMaxFields; ++i)
    fields += std::string(i ? "," : "") + R"({"name":"F)" + std::to_string(i) + R"(","type":"float"})";
  const std::string text = R"({"$packet":{"version":1,"fields":)" + fields + R"(],"rows":[]}})";
  EXPECT_EQ(DecodeFailure([&] { DecodeVariant(text); }), "packet has 1025 fields, at most 1024 are allowed");
}

TEST(PacketJsonReader, RefusesMalformedJsonSayingWhere) {
  const std::string whole = EncodePacket(SamplePacket());
  for (std::size_t cut : {std::size_t{0}, std::size_t{1}, whole.size() / 2, whole.size() - 1}) {
    SCOPED_TRACE(cut);
    const std::string message = DecodeFailure([&] { DecodeVariant(std::string_view(whole).substr(0, cut)); });
    EXPECT_EQ(message.rfind("invalid JSON: ", 0), 0u) << message;
  }
  EXPECT_EQ(DecodeFailure([] { DecodeVariant("[1,,2]"); }),
            "invalid JSON: parse error at line 1, column 4: syntax error while parsing value - unexpected ','; "
            "expected '[', '{', or a literal");
  EXPECT_NE(DecodeFailure([] { DecodeVariant("[1] x"); }).find("invalid JSON"), std::string::npos);
  EXPECT_NE(DecodeFailure([] { DecodeVariant("\"caf\xE9\""); }).find("invalid JSON"), std::string::npos);
}

// A text in a string with room after it is parsed where it is: what lies beyond its end
// (here the rest of a longer text) is never taken as part of it.
TEST(PacketJsonReader, ATextReadWhereItIsEndsAtItsSize) {
  const std::string whole = EncodePacket(SamplePacket());
  std::string held = whole;
  held.append(200, ' ');
  held.resize(whole.size());
  ASSERT_GE(held.capacity(), held.size() + 64);
  EXPECT_EQ(DecodePacket(held), DecodePacket(std::string_view(whole)));

  std::string cut = whole + whole;  // the bytes after the cut still form valid JSON
  cut.resize(whole.size() / 2);
  EXPECT_EQ(DecodeFailure([&] { DecodePacket(cut); }).rfind("invalid JSON: ", 0), 0u);
  std::string closed = "[1]";
  closed.reserve(100);
  closed.append(",2]");
  closed.resize(3);
  EXPECT_EQ(DecodeVariant(closed), Variant(VariantArray{Variant(1)}));
}

TEST(PacketJsonReader, NestingIsBoundedWithoutRecursingIntoTheText) {
  auto nested = [](std::size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); };
  EXPECT_NO_THROW(DecodeVariant(nested(kMaxNestingDepth)));
  for (std::size_t levels : {std::size_t{65}, std::size_t{1000}, std::size_t{100000}}) {
    SCOPED_TRACE(levels);
    EXPECT_EQ(DecodeFailure([&] { DecodeVariant(nested(levels)); }), "nesting deeper than 64 levels");
  }
  // A packet counts its own levels: a date in a delta row sits six levels deep.
  std::string delta = R"({"$packet":{"version":1,"fields":[{"name":"D","type":"datetime"}],"rows":[)"
                      R"({"kind":"modified","old":[{"$date":"2026-01-01T00:00:00"}],"new":[null]}]}})";
  std::string wrapped = delta;
  for (int i = 0; i < kMaxNestingDepth - 6; ++i) wrapped.insert(0, 1, '[').push_back(']');
  EXPECT_NO_THROW(DecodeVariant(wrapped));
  EXPECT_EQ(DecodeFailure([&] { DecodeVariant("[" + wrapped + "]"); }), "nesting deeper than 64 levels");

  nlohmann::json deep = nlohmann::json::array();
  for (int i = 0; i < 1000; ++i) deep = nlohmann::json::array({std::move(deep)});
  EXPECT_EQ(DecodeFailure([&] { VariantFromJson(deep); }), "nesting deeper than 64 levels");
}

TEST(PacketJsonReader, TextSizeLimitIsTheCallersChoice) {
  const std::string text = EncodePacket(SamplePacket());
  EXPECT_NO_THROW(DecodeVariant(text, DecodeLimits{text.size()}));
  EXPECT_EQ(DecodeFailure([&] { DecodeVariant(text, DecodeLimits{text.size() - 1}); }),
            "text of " + std::to_string(text.size()) + " bytes exceeds the limit of " +
                std::to_string(text.size() - 1) + " bytes");
}

TEST(PacketJsonReader, DecodePacketWantsAPacket) {
  EXPECT_EQ(DecodeFailure([] { DecodePacket("[]"); }), "expected a packet, got array");
  EXPECT_EQ(DecodeFailure([] { DecodePacket(R"({"$date":"2026-01-01T00:00:00"})"); }),
            "expected a packet, got an object with key '$date'");
}

// The rows of a packet in parsed text, at the root or inside a value, are read straight
// off the parser's tape (packet_json_tape.h): reading the same text through nlohmann's
// parse (PacketFromJson, the checked loop only) is the reference for every value kind.
TEST(PacketJsonTapeRows, ReadWhatTheCheckedReaderReads) {
  const std::string fields =
      R"([{"name":"S","type":"string","size":4},{"name":"I","type":"integer"},{"name":"F","type":"float"},)"
      R"({"name":"B","type":"boolean"},{"name":"D","type":"datetime"}])";
  auto packet = [&](const std::string& rows) {
    return R"({"$packet":{"version":1,"fields":)" + fields + R"(,"rows":)" + rows + "}}";
  };
  const std::vector<std::string> texts = {
      packet("[]"),
      packet(R"([["abcd",-9223372036854775808,1.5,true,{"$date":"2026-03-14T19:30:00"}]])"),
      packet(R"([[null,null,null,null,null],["",0,-0.0,false,{"$date":"0001-01-01T00:00:00"}]])"),
      // An integer in a float field, the largest integer, a float's extremes.
      packet(R"([["x",9223372036854775807,3,true,null],["x",1,1e308,true,null],["x",1,5e-324,true,null]])"),
      // Four characters in more than four bytes; escapes, in values and in keys.
      packet(R"([["ção!",1,2.5,false,null],["a\"\\\n",1,2.5,false,null],["\u00e7\ud83d\ude00",1,2.5,false,null]])"),
      packet(R"([["a",1,2.5,false,{"\u0024date":"2026-01-01T00:00:00"}]])"),
      R"({"$packet":{"r\u006fws":[["a",1,2.5,false,null]],"fields":)" + fields + R"(,"version":1}})",
      // Rows before the fields, white space between the words.
      R"( { "$packet" : { "rows" : [ [ "a" , 1 , 2.5 , true , null ] ] , "version" : 1 , "fields" : )" + fields +
          " } } ",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const DataPacket expected = PacketFromJson(nlohmann::json::parse(text));
    EXPECT_EQ(DecodePacket(text), expected);
    const Variant as_variant = DecodeVariant(text);
    ASSERT_EQ(as_variant.type(), Variant::Type::Packet);
    EXPECT_EQ(as_variant.AsPacket(), expected);
    EXPECT_EQ(DecodeVariant("[1," + text + "]"), Variant(VariantArray{1, expected}));
  }
  // A large packet of every kind, at the root, inside a list, and as a node of a text
  // read by ReadJsonText (the client's answers).
  DataPacket large = SamplePacket();
  for (int i = 0; i < 2000; ++i) large.rows.push_back(SamplePacket().rows[i % 3]);
  EXPECT_EQ(DecodePacket(EncodePacket(large)), large);
  EXPECT_EQ(DecodeVariant(EncodeVariant(VariantArray{large})), Variant(VariantArray{large}));
  Variant from_node;
  ReadJsonText(R"({"value":)" + EncodePacket(large) + "}", {}, [&](const JsonNode& root) {
    root.ForEachMember([&](std::string_view, const JsonNode& value) { from_node = value.ToVariant(); });
  });
  EXPECT_EQ(from_node, Variant(large));
}

// Rows and dates read off the tape count towards the nesting limit as the checked loop's
// do: a data packet's date sits five levels into its text.
TEST(PacketJsonTapeRows, KeepTheNestingLimit) {
  const std::string dated = R"({"$packet":{"version":1,"fields":[{"name":"D","type":"datetime"}],)"
                            R"("rows":[[{"$date":"2026-01-01T00:00:00"}]]}})";
  const std::string listed = R"({"$packet":{"version":1,"fields":[{"name":"F","type":"float"}],"rows":[[1.5]]}})";
  auto wrapped = [](std::string text, int levels) {
    for (int i = 0; i < levels; ++i) text.insert(0, 1, '[').push_back(']');
    return text;
  };
  for (const auto& [text, depth] : {std::pair{dated, 5}, std::pair{listed, 4}}) {
    SCOPED_TRACE(text);
    const std::string deepest = wrapped(text, kMaxNestingDepth - depth);
    EXPECT_EQ(DecodeVariant(deepest), VariantFromJson(nlohmann::json::parse(deepest)));
    const std::string too_deep = wrapped(text, kMaxNestingDepth - depth + 1);
    EXPECT_EQ(DecodeFailure([&too_deep] { DecodeVariant(too_deep); }), "nesting deeper than 64 levels");
  }
}

// Where a value does not plainly fit, the rows taken so far are dropped and the checked
// loop reads them all again: the message is the checked reader's, for a fault in the last
// of many good rows as in the first.
TEST(PacketJsonTapeRows, LeaveWhatDoesNotFitToTheCheckedReader) {
  const std::string fields =
      R"([{"name":"S","type":"string","size":4},{"name":"F","type":"float"},{"name":"D","type":"datetime"}])";
  std::string good;
  for (int i = 0; i < 100; ++i) good += R"(["ab",1.5,null],)";
  auto packet = [&](const std::string& last_row) {
    return R"({"$packet":{"version":1,"fields":)" + fields + R"(,"rows":[)" + good + last_row + "]}}";
  };
  const std::vector<std::pair<std::string, std::string>> cases = {
      {packet(R"(["abcde",1.5,null])"), "row 101, field 'S': string of 5 characters exceeds size 4"},
      {packet(R"(["ab",1.5])"), "row 101 has 2 values, the packet has 3 fields"},
      {packet(R"(["ab",1.5,null,null])"), "row 101 has 4 values, the packet has 3 fields"},
      {packet(R"({"kind":"modified","old":["ab",1.5,null],"new":["ab",1.5,null]})"),
       "row 101: expected a list of values, got object"},
      {packet(R"(["ab",18446744073709551615,null])"), "row 101, field 'F': integer 18446744073709551615 is out of range"},
      {packet(R"(["ab",true,null])"), "row 101, field 'F': expected float, got boolean"},
      {packet(R"([["ab"],1.5,null])"), "row 101, field 'S': expected string, got array"},
      {packet(R"(["ab",1.5,"2026-01-01T00:00:00"])"), "row 101, field 'D': expected datetime, got string"},
      {packet(R"(["ab",1.5,{"$date":"2026-02-30T00:00:00"}])"), "invalid date '2026-02-30T00:00:00'"},
      {packet(R"(["ab",1.5,{"$dat":"2026-01-01T00:00:00"}])"), "row 101, field 'D': expected datetime, got an object"},
      {packet(R"(["ab",1.5,{"$date":"2026-01-01T00:00:00","x":1}])"), "an object with 2 keys is not a variant"},
      {packet(R"(["ab",1.5,{"$date":20260101}])"), "$date: expected a string, got integer"},
      {packet("7"), "row 101: expected a list of values, got integer"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(message);
    const std::string from_tape = DecodeFailure([&text = text] { DecodePacket(text); });
    EXPECT_NE(from_tape.find(message), std::string::npos) << from_tape;
    EXPECT_EQ(from_tape, DecodeFailure([&text = text] { PacketFromJson(nlohmann::json::parse(text)); }));
    EXPECT_EQ(from_tape, DecodeFailure([&text = text] { DecodeVariant(text); }));
    EXPECT_EQ(from_tape, DecodeFailure([&text = text] { DecodeVariant("[" + text + "]"); }));
  }
}

// The fuzzer's seed corpus, replayed in the regular build: "valid_*" files decode and
// come back equal through the writer, "bad_*" files are refused with a DecodeError.
TEST(PacketJsonCorpus, EverySeedBehaves) {
  const std::filesystem::path dir = ALLOC_PACKET_CORPUS_DIR;
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    ++files;
    if (name.rfind("valid_", 0) == 0) {
      const Variant v = DecodeVariant(text.str());
      EXPECT_EQ(DecodeVariant(EncodeVariant(v)), v);
    } else {
      EXPECT_NE(DecodeFailure([&] { DecodeVariant(text.str()); }), "<no DecodeError>");
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace rt
