// The report engine's shared pieces: a run's rows by field name, and a layout field
// bound to them and formatted as the layout asks (report_document.h lists the formats).
// The document, the CSV and the summary all read values through these.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/locale_format.h"
#include "platform/runtime/packet.h"

namespace clib::report {

using TextMap = std::vector<std::pair<std::string, std::string>>;

// The raw text of a value: texts as they are, numbers in the user's plain form.
std::string Raw(const rt::Variant& v, const rt::FormatSettings& settings);
// A number's value; anything else counts 0.
double Number(const rt::Variant& v);
// dd/mm/yyyy hh:mm with the user's separators.
std::string DateTimeText(const rt::DateTime& dt, const rt::FormatSettings& settings);
// A number pattern without thousands separators (a spreadsheet reads "1234,50").
std::string WithoutGrouping(std::string format);

// Access to the run's rows by field name.
class Rows {
 public:
  explicit Rows(const rt::DataPacket& packet) : packet_(packet) {}
  // Throws std::invalid_argument when the rows have no such field.
  int Index(const std::string& field) const;
  const rt::Variant& At(std::size_t row, int index) const { return packet_.rows[row][static_cast<std::size_t>(index)]; }
  std::size_t size() const { return packet_.rows.size(); }
  // True when the row's field at `index` holds a non-blank value; every row counts as
  // present for an index below 0 (a layout without a `present` field).
  bool Filled(std::size_t row, int index, const rt::FormatSettings& settings) const;

 private:
  const rt::DataPacket& packet_;
};

// A field of the layout resolved against the rows.
struct BoundField {
  int index = -1;
  int type_index = -1;
  std::string format;
  TextMap map;

  std::string Text(const Rows& rows, std::size_t row, const rt::FormatSettings& s) const;
};

BoundField Bind(const Rows& rows, const std::string& field, const std::string& format,
                const std::string& type_field = "", TextMap map = {});

}  // namespace clib::report
