// The reader's view of a parsed JSON value (packet_json_reader.h walks it): its kind,
// its content, and a visit of the items or members of a container, over either parsed
// form, an nlohmann::json or a simdjson DOM element.
#pragma once

#include <simdjson.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace rt::packet_json {

// The kinds carry simdjson's tape letters, so that a parsed element tells its kind
// without a translation (a large packet asks every value).
enum class JsonKind : char {
  Null = 'n',
  Bool = 't',
  Int = 'l',
  OutOfRange = 'u',  // an integer only above the int64 range
  Float = 'd',
  String = '"',
  Array = '[',
  Object = '{',
  Other = 0
};

inline const char* JsonKindName(JsonKind k) {
  switch (k) {
    case JsonKind::Null:
      return "null";
    case JsonKind::Bool:
      return "boolean";
    case JsonKind::Int:
    case JsonKind::OutOfRange:
      return "integer";
    case JsonKind::Float:
      return "float";
    case JsonKind::String:
      return "string";
    case JsonKind::Array:
      return "array";
    case JsonKind::Object:
      return "object";
    case JsonKind::Other:
      break;
  }
  return "binary";
}

class NlohmannNode {
 public:
  explicit NlohmannNode(const nlohmann::json& j) : j_(&j) {}
  JsonKind Kind() const {
    using V = nlohmann::json::value_t;
    switch (j_->type()) {
      case V::null:
        return JsonKind::Null;
      case V::boolean:
        return JsonKind::Bool;
      case V::number_integer:
        return JsonKind::Int;
      case V::number_unsigned:
        return j_->get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? JsonKind::OutOfRange
                   : JsonKind::Int;
      case V::number_float:
        return JsonKind::Float;
      case V::string:
        return JsonKind::String;
      case V::array:
        return JsonKind::Array;
      case V::object:
        return JsonKind::Object;
      default:
        return JsonKind::Other;
    }
  }
  bool Bool() const { return j_->get<bool>(); }
  std::int64_t Int() const { return j_->get<std::int64_t>(); }
  double Float() const { return j_->get<double>(); }
  std::string_view Str() const { return j_->get_ref<const std::string&>(); }
  std::string NumberText() const { return j_->dump(); }
  std::size_t Size() const { return j_->size(); }
  template <class F>
  void ForEachItem(F&& f) const {
    for (const auto& item : *j_) f(NlohmannNode(item));
  }
  template <class F>
  void ForEachMember(F&& f) const {
    for (const auto& [key, value] : j_->items()) f(std::string_view(key), NlohmannNode(value));
  }

 private:
  const nlohmann::json* j_;
};

// Inlined by force: a large packet asks each of its values for its kind and content,
// and a call per question was a tenth of a decode.
#define ALLOC_HOT [[gnu::always_inline]] inline
class SimdNode {
 public:
  explicit SimdNode(simdjson::dom::element e) : e_(e) {}
  ALLOC_HOT JsonKind Kind() const {
    using T = simdjson::dom::element_type;
    static_assert(static_cast<char>(T::NULL_VALUE) == static_cast<char>(JsonKind::Null) &&
                  static_cast<char>(T::BOOL) == static_cast<char>(JsonKind::Bool) &&
                  static_cast<char>(T::INT64) == static_cast<char>(JsonKind::Int) &&
                  static_cast<char>(T::UINT64) == static_cast<char>(JsonKind::OutOfRange) &&
                  static_cast<char>(T::DOUBLE) == static_cast<char>(JsonKind::Float) &&
                  static_cast<char>(T::STRING) == static_cast<char>(JsonKind::String) &&
                  static_cast<char>(T::ARRAY) == static_cast<char>(JsonKind::Array) &&
                  static_cast<char>(T::OBJECT) == static_cast<char>(JsonKind::Object));
    return static_cast<JsonKind>(e_.type());
  }
  ALLOC_HOT bool Bool() const { return e_.get_bool().value_unsafe(); }
  ALLOC_HOT std::int64_t Int() const { return e_.get_int64().value_unsafe(); }
  ALLOC_HOT double Float() const { return e_.get_double().value_unsafe(); }
  ALLOC_HOT std::string_view Str() const { return e_.get_string().value_unsafe(); }
  std::string NumberText() const { return std::to_string(e_.get_uint64().value_unsafe()); }
  simdjson::dom::element Element() const { return e_; }
  std::size_t Size() const {
    return e_.is_array() ? e_.get_array().value_unsafe().size() : e_.get_object().value_unsafe().size();
  }
  template <class F>
  void ForEachItem(F&& f) const {
    simdjson::dom::array items;
    if (e_.get(items)) return;  // not reached: the reader asks only arrays for items
    for (simdjson::dom::element item : items) f(SimdNode(item));
  }
  template <class F>
  void ForEachMember(F&& f) const {
    simdjson::dom::object members;
    if (e_.get(members)) return;  // not reached: the reader asks only objects for members
    for (simdjson::dom::key_value_pair kv : members) f(kv.key, SimdNode(kv.value));
  }

 private:
  simdjson::dom::element e_;
};

}  // namespace rt::packet_json
