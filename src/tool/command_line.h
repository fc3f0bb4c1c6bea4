// One grammar for every replaytool command. Options may come before or
// after the operands; "--" ends the options; an option that takes a value
// takes the next argument whatever it looks like, or "--opt=value"; a
// short one also "-oVALUE" and "-o=VALUE"; "-h"
// and "--help" ask for the command's help. An unknown option, a missing
// value, a value given to an option that takes none and an option given
// twice are errors, each named as such.
#pragma once

#include <string>
#include <vector>

struct KnownOption {
  const char* name;       // "--json"
  const char* alias;      // "-o", or nullptr
  const char* valueName;  // what the value is ("a frame number"); nullptr for a flag
};

struct CommandLine {
  std::vector<std::string> operands;
  std::vector<std::pair<const KnownOption*, std::string>> options;
  bool help = false;

  bool has(const char* name) const;
  // The option's value, or nullptr when it was not given.
  const std::string* value(const char* name) const;
};

// Parses the arguments after the command's name. False with `error`
// ("COMMAND: ...") on a command line that breaks the grammar.
bool parseCommandLine(const char* command, const std::vector<KnownOption>& known, int argc, char** argv,
                      CommandLine& line, std::string& error);
