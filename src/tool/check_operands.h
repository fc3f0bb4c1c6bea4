// What check's operands name, in order. A file is itself (on Windows a
// wildcard operand is the files it matches, in name order). A folder is
// the *.wlx files (any case) in it and in its subfolders, walked in name
// order, a subfolder's files where its name falls; links to folders are
// not walked, so a walk cannot loop. A folder that cannot be read, or an
// operand folder with no replay in it, is an error of its own.
#pragma once

#include <string>
#include <vector>

struct CheckItem {
  std::string path;
  std::string error;  // set: not a file to check, but why the folder at `path` gave nothing
};

std::vector<CheckItem> checkItems(const std::vector<std::string>& operands);
