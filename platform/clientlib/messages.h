// TMessages: a screen's message table. Each item is "key|text"; Msg(key) gives the text.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

namespace clib {

class TMessageTable {
 public:
  // Items as "key|text"; the text is everything after the first "|" (it may itself hold
  // "|" and keeps its blanks). An item without "|" is a key with an empty text. When a
  // key appears twice the first item wins.
  void SetItems(std::vector<std::string> items);
  const std::vector<std::string>& Items() const { return items_; }

  // The text of key (keys are case-sensitive). An unknown key gives the key itself, so
  // that a missing text shows something traceable instead of an empty dialog.
  std::string Msg(const std::string& key) const;
  bool HasKey(const std::string& key) const { return texts_.count(key) != 0; }

 private:
  std::vector<std::string> items_;
  std::unordered_map<std::string, std::string> texts_;
};

}  // namespace clib
