#include "platform/clientlib/report_units.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/clientlib/labour_units.h"

namespace clib::report {
namespace {

// The fields whose values together name one item of the unit group: the keys of that
// group and of every group around it.
std::vector<int> ItemKeys(const TReportLayout& layout, const Rows& rows, int group) {
  std::vector<int> keys;
  for (int g = 0; g <= group; ++g)
    for (const std::string& k : layout.groups[static_cast<std::size_t>(g)].keys) keys.push_back(rows.Index(k));
  return keys;
}

bool SameItem(const Rows& rows, const std::vector<int>& keys, std::size_t a, std::size_t b) {
  return std::all_of(keys.begin(), keys.end(), [&](int k) { return rows.At(a, k) == rows.At(b, k); });
}

// One past the last row of the item that starts at `first`.
std::size_t ItemEnd(const Rows& rows, const std::vector<int>& keys, std::size_t first) {
  std::size_t end = first + 1;
  while (end < rows.size() && SameItem(rows, keys, first, end)) ++end;
  return end;
}

}  // namespace

int UnitGroup(const TReportLayout& layout) {
  for (std::size_t g = 0; g < layout.groups.size(); ++g)
    if (!layout.groups[g].units.empty()) return static_cast<int>(g);
  return -1;
}

TFilled FilledUnits(const TReportLayout& layout, const Rows& rows, std::size_t first,
                    const rt::FormatSettings& settings) {
  const int group = UnitGroup(layout);
  if (group < 0 || first >= rows.size()) return {};
  const std::vector<int> keys = ItemKeys(layout, rows, group);
  const int present = layout.present.empty() ? -1 : rows.Index(layout.present);
  TFilled out;
  out.units = UnitsOf(Number(rows.At(first, rows.Index(layout.groups[static_cast<std::size_t>(group)].units))));
  for (std::size_t row = first, end = ItemEnd(rows, keys, first); row < end; ++row)
    out.filled += rows.Filled(row, present, settings) ? 1 : 0;
  return out;
}

rt::DataPacket WithFreeUnits(const TReportLayout& layout, const rt::DataPacket& packet,
                             const rt::FormatSettings& settings) {
  const int group = UnitGroup(layout);
  if (group < 0 || layout.present.empty()) return packet;
  const Rows rows(packet);
  const std::vector<int> keys = ItemKeys(layout, rows, group);
  const auto present = static_cast<std::size_t>(rows.Index(layout.present));
  rt::DataPacket out;
  out.fields = packet.fields;
  out.rows.reserve(packet.rows.size());
  for (std::size_t first = 0; first < rows.size();) {
    const std::size_t end = ItemEnd(rows, keys, first);
    for (std::size_t row = first; row < end; ++row)
      if (rows.Filled(row, static_cast<int>(present), settings)) out.rows.push_back(packet.rows[row]);
    const TFilled item = FilledUnits(layout, rows, first, settings);
    for (long long free = item.units - item.filled; free > 0; --free) {
      out.rows.push_back(packet.rows[first]);
      out.rows.back()[present] = nullptr;
    }
    first = end;
  }
  return out;
}

}  // namespace clib::report
