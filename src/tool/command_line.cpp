#include "tool/command_line.h"

#include <cstring>

namespace {

const KnownOption* find(const std::vector<KnownOption>& known, const std::string& word) {
  for (const KnownOption& s : known)
    if (word == s.name || (s.alias != nullptr && word == s.alias)) return &s;
  return nullptr;
}

}  // namespace

bool CommandLine::has(const char* name) const { return value(name) != nullptr; }

const std::string* CommandLine::value(const char* name) const {
  for (const auto& [option, text] : options)
    if (std::strcmp(option->name, name) == 0) return &text;
  return nullptr;
}

bool parseCommandLine(const char* command, const std::vector<KnownOption>& known, int argc, char** argv,
                      CommandLine& line, std::string& error) {
  const std::string prefix = std::string(command) + ": ";
  bool optionsEnded = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {  // "-" alone is an operand
      line.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      line.help = true;
      continue;
    }
    const std::size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string word = arg.substr(0, equals);
    const KnownOption* option = find(known, word);
    if (option == nullptr) {
      error = prefix + "unknown option " + word;
      return false;
    }
    if (line.has(option->name)) {
      error = prefix + option->name + " given twice";
      return false;
    }
    std::string value;
    if (option->valueName == nullptr) {
      if (equals != std::string::npos) {
        error = prefix + option->name + " takes no value";
        return false;
      }
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      error = prefix + word + " needs " + option->valueName;
      return false;
    }
    line.options.emplace_back(option, std::move(value));
  }
  return true;
}
