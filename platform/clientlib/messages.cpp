#include "platform/clientlib/messages.h"

namespace clib {

void TMessageTable::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  texts_.clear();
  for (const auto& item : items_) {
    std::size_t bar = item.find('|');
    std::string key = bar == std::string::npos ? item : item.substr(0, bar);
    std::string text = bar == std::string::npos ? "" : item.substr(bar + 1);
    texts_.emplace(std::move(key), std::move(text));  // first item of a key wins
  }
}

std::string TMessageTable::Msg(const std::string& key) const {
  auto it = texts_.find(key);
  return it == texts_.end() ? key : it->second;
}

}  // namespace clib
