#include "tool/command_line.h"

#include <cstring>

#include "view/display_text.h"

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
    const bool isLong = arg.rfind("--", 0) == 0;
    std::size_t equals = isLong ? arg.find('=') : std::string::npos;
    // A short option's value may follow it in the same argument, as getopt
    // has it: "-oFILE"; "-o=FILE" is FILE too, like "--output=FILE".
    std::size_t attached = std::string::npos;
    if (!isLong && arg.size() > 2) {
      const KnownOption* shortOption = find(known, arg.substr(0, 2));
      if (shortOption != nullptr && shortOption->valueName != nullptr) attached = arg[2] == '=' ? 3 : 2;
    }
    const std::string word = arg.substr(0, attached != std::string::npos ? 2 : equals);
    if (attached != std::string::npos) equals = attached - 1;
    const KnownOption* option = find(known, word);
    if (word == "--help") {  // every command's, though not in `known`
      error = prefix + "--help takes no value";
      return false;
    }
    if (option == nullptr) {
      error = prefix + "unknown option " + displayText(word);
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
