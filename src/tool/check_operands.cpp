#include "tool/check_operands.h"

#include <algorithm>

#include "platform/files.h"

namespace {

bool isReplayName(const std::string& name) {
  const std::string ending = ".wlx";
  if (name.size() < ending.size()) return false;
  for (std::size_t i = 0; i < ending.size(); ++i) {
    char c = name[name.size() - ending.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != ending[i]) return false;
  }
  return true;
}

// `ancestors` are the folders being walked, outermost first: one that comes
// back through a way the system does not show as a link is not walked again.
void walk(const std::string& folder, std::vector<std::string>& ancestors, std::vector<CheckItem>& items) {
  std::vector<FolderEntry> entries;
  std::string reason;
  if (!listFolder(folder, entries, reason)) {
    items.push_back(CheckItem{folder, "Could not open folder: " + reason});
    return;
  }
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  for (const FolderEntry& e : entries) {
    const std::string path = pathInFolder(folder, e.name);
    if (!e.folder) {
      if (isReplayName(e.name)) items.push_back(CheckItem{path, ""});
      continue;
    }
    if (std::any_of(ancestors.begin(), ancestors.end(), [&](const std::string& a) { return sameFile(a, path); })) continue;
    ancestors.push_back(path);
    walk(path, ancestors, items);
    ancestors.pop_back();
  }
}

}  // namespace

std::vector<CheckItem> checkItems(const std::vector<std::string>& operands) {
  std::vector<CheckItem> items;
  for (const std::string& operand : operands)
    for (const std::string& path : expandWildcards(operand)) {
      if (!isFolder(path)) {
        items.push_back(CheckItem{path, ""});
        continue;
      }
      const std::size_t before = items.size();
      std::vector<std::string> ancestors{path};
      walk(path, ancestors, items);
      if (items.size() == before) items.push_back(CheckItem{path, "No .wlx files in folder"});
    }
  return items;
}
