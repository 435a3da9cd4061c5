#include "platform/runtime/packet_json_tape.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/runtime/packet_json.h"
#include "platform/runtime/packet_json_form.h"
#include "platform/runtime/variant.h"

namespace rt::packet_json {

namespace {

// simdjson's tape (its DOM's own layout): one 64-bit word per value, its tag in the top
// byte. A string's word holds the offset of its length (32 bits) and bytes in the
// string buffer; a number's value is the next word; an array's or an object's word holds
// the index past its closing word and the count of its items or members (saturated).
using Tag = simdjson::internal::tape_type;

class Tape {
 public:
  explicit Tape(const simdjson::dom::document& doc) : words_(doc.tape.get()), strings_(doc.string_buf.get()) {}

  Tag TagAt(std::size_t i) const { return static_cast<Tag>(words_[i] >> 56); }
  std::uint64_t Payload(std::size_t i) const { return words_[i] & simdjson::internal::JSON_VALUE_MASK; }
  // Arrays and objects.
  std::size_t After(std::size_t i) const { return static_cast<std::uint32_t>(words_[i]); }
  std::size_t Count(std::size_t i) const { return (words_[i] >> 32) & simdjson::internal::JSON_COUNT_MASK; }
  bool CountSaturated(std::size_t i) const { return Count(i) == simdjson::internal::JSON_COUNT_MASK; }
  // Any value.
  std::size_t Next(std::size_t i) const {
    switch (TagAt(i)) {
      case Tag::START_ARRAY:
      case Tag::START_OBJECT:
        return After(i);
      case Tag::INT64:
      case Tag::UINT64:
      case Tag::DOUBLE:
        return i + 2;
      default:
        return i + 1;
    }
  }
  std::string_view String(std::size_t i) const {
    const std::uint8_t* at = strings_ + Payload(i);
    std::uint32_t length;
    std::memcpy(&length, at, sizeof length);
    return {reinterpret_cast<const char*>(at + sizeof length), length};
  }
  template <class T>
  T NumberAfter(std::size_t i) const {
    T value;
    std::memcpy(&value, &words_[i + 1], sizeof value);
    return value;
  }

 private:
  const std::uint64_t* words_;
  const std::uint8_t* strings_;
};

// Appends the value at `at` to `row` when it plainly fits `field` (as the checked reader
// builds it) and moves `at` past it; false for anything else. `dates_fit`: a date's
// object is within the nesting limit.
inline bool AppendPlain(const Tape& tape, std::size_t& at, const FieldDef& field, bool dates_fit, Row& row) {
  const std::size_t i = at;
  switch (tape.TagAt(i)) {
    case Tag::NULL_VALUE:
      row.emplace_back();
      at = i + 1;
      return true;
    case Tag::STRING: {
      if (field.type != FieldType::String) return false;
      const std::string_view text = tape.String(i);
      if (!FitsSize(text, field.size)) return false;
      row.emplace_back(text);
      at = i + 1;
      return true;
    }
    case Tag::DOUBLE:
      if (field.type != FieldType::Float) return false;
      row.emplace_back(tape.NumberAfter<double>(i));
      at = i + 2;
      return true;
    case Tag::INT64: {
      const auto n = tape.NumberAfter<std::int64_t>(i);
      if (field.type == FieldType::Integer) {
        row.emplace_back(n);
      } else if (field.type == FieldType::Float) {
        row.emplace_back(static_cast<double>(n));
      } else {
        return false;
      }
      at = i + 2;
      return true;
    }
    case Tag::TRUE_VALUE:
    case Tag::FALSE_VALUE:
      if (field.type != FieldType::Boolean) return false;
      row.emplace_back(tape.TagAt(i) == Tag::TRUE_VALUE);
      at = i + 1;
      return true;
    case Tag::START_OBJECT: {
      // {"$date":"..."}: the object's word, the key, the value, the closing word.
      if (field.type != FieldType::DateTime || !dates_fit || tape.After(i) != i + 4) return false;
      if (tape.TagAt(i + 2) != Tag::STRING || tape.String(i + 1) != "$date") return false;
      DateTime date;
      if (!DateTime::FromIso(std::string(tape.String(i + 2)), date)) return false;
      row.emplace_back(date);
      at = i + 4;
      return true;
    }
    default:  // an integer beyond 64 bits, a list
      return false;
  }
}

// The rows of the list at `list`, every one a list of one plainly fitting value per field.
bool ReadList(const Tape& tape, std::size_t list, bool dates_fit, const std::vector<FieldDef>& fields,
              std::vector<Row>& rows) {
  if (tape.TagAt(list) != Tag::START_ARRAY) return false;
  const std::size_t end = tape.After(list) - 1;  // the closing word
  std::size_t count = tape.Count(list);
  if (tape.CountSaturated(list)) {
    count = 0;
    for (std::size_t r = list + 1; r < end; r = tape.Next(r)) ++count;
  }
  rows.reserve(count);
  const std::size_t width = fields.size();
  for (std::size_t r = list + 1; r < end;) {
    // A row's count saturates far above the most fields a packet may have.
    if (tape.TagAt(r) != Tag::START_ARRAY || tape.Count(r) != width) return false;
    Row& row = rows.emplace_back();
    row.reserve(width);
    std::size_t at = r + 1;
    for (const FieldDef& field : fields) {
      if (!AppendPlain(tape, at, field, dates_fit, row)) return false;
    }
    if (tape.TagAt(at) != Tag::END_ARRAY) return false;
    r = at + 1;
  }
  return true;
}

}  // namespace

bool TapeRows::Read(simdjson::dom::element list, int depth, const std::vector<FieldDef>& fields,
                    std::vector<Row>& rows) const {
  // A row list sits three containers into the packet body, a date four.
  if (depth + 3 > kMaxNestingDepth) return false;
  // An element is its place on the tape, simdjson's (document, index) reference; one of
  // another document is left to the checked reader.
  static_assert(sizeof(simdjson::dom::element) == sizeof(simdjson::internal::tape_ref) &&
                std::is_trivially_copyable_v<simdjson::dom::element> &&
                std::is_trivially_copyable_v<simdjson::internal::tape_ref>);
  simdjson::internal::tape_ref place;
  std::memcpy(static_cast<void*>(&place), &list, sizeof place);
  if (place.doc != &doc_) return false;
  if (ReadList(Tape(doc_), place.json_index, depth + 4 <= kMaxNestingDepth, fields, rows)) return true;
  rows.clear();
  return false;
}

}  // namespace rt::packet_json
