#include "server/core/methods.h"

#include <algorithm>

namespace srv {

bool CallContext::SeesBranch(const std::string& branch) const {
  return std::find(session.branches.begin(), session.branches.end(), branch) != session.branches.end();
}

void CallContext::RequireBranch(const std::string& branch) const {
  if (!SeesBranch(branch)) {
    throw BranchRefused(texts::BranchNotGranted(branch, session.operator_id));
  }
}

std::vector<SqlValue> CallContext::BranchParams() const { return {session.branches.begin(), session.branches.end()}; }

std::string CallContext::BranchPlaceholders() const {
  if (session.branches.empty()) return "NULL";  // IN (NULL) matches nothing
  std::string out;
  for (std::size_t i = 0; i < session.branches.size(); ++i) out += i ? ", ?" : "?";
  return out;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool LockSequence(Database& db, const std::string& branch, const std::string& number, const std::string& sequence) {
  return !db.Query(std::string("SELECT 1 FROM budget_sequences WHERE branch = ? AND number = ? AND sequence = ?") +
                       db.ForUpdate(),
                   {branch, number, sequence})
              .empty();
}

}  // namespace srv
