#include "app/command_line.h"

#include "app/app_texts.h"

namespace {

// ASCII case-insensitive: every command and option is ASCII.
bool WordIs(const wchar_t* word, const char* name) {
  for (; *name != '\0'; ++word, ++name) {
    wchar_t c = *word;
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != static_cast<wchar_t>(static_cast<unsigned char>(*name))) return false;
  }
  return *word == L'\0';
}

struct Verb {
  const char* name;
  Command command;
  uint32_t minWords;  // after the verb
  uint32_t maxWords;
  const char* usage;
};

const Verb kVerbs[] = {
    {"list", Command::List, 0, 0, USAGE_TOO_MANY_WORDS},
    // The disks beyond the first are read so that the refusal names them.
    {"write", Command::Write, 2, kMaxArguments, USAGE_WRITE},
    {"create", Command::Create, 2, 2, USAGE_CREATE},
    {"hash", Command::Hash, 1, 1, USAGE_HASH},
    {"check", Command::Check, 1, 1, USAGE_CHECK},
    {"restore", Command::Restore, 1, 1, USAGE_RESTORE},
};

enum Option : uint8_t { kOptVerify, kOptNoVerify, kOptYes, kOptTrim, kOptQuiet, kOptCount };
const char* const kOptionNames[kOptCount] = {"--verify", "--no-verify", "--yes", "--trim", "--quiet"};

// Which options each command takes.
bool OptionApplies(Command command, uint8_t option) {
  if (option == kOptQuiet) return true;
  if (command == Command::Write) return option == kOptVerify || option == kOptNoVerify || option == kOptYes;
  if (command == Command::Create) return option == kOptTrim || option == kOptYes;
  if (command == Command::Check || command == Command::Restore) return option == kOptYes;
  return false;
}

const Verb* FindVerb(const wchar_t* word) {
  for (const Verb& verb : kVerbs) {
    if (WordIs(word, verb.name)) return &verb;
  }
  return nullptr;
}

CommandLine UsageError(const char* error, int32_t argument) {
  CommandLine line;
  line.error = error;
  line.errorArgument = argument;
  return line;
}

bool IsOption(const wchar_t* word) { return word[0] == L'-' || (word[0] == L'/' && word[1] == L'?' && word[2] == 0); }

}  // namespace

uint32_t SplitCommandLine(wchar_t* text, wchar_t** words, uint32_t maxWords) {
  uint32_t count = 0;
  wchar_t* in = text;
  // The program's name: no backslash rules, quotes only group.
  while (*in == L' ' || *in == L'\t') ++in;
  if (*in == L'\0' || maxWords == 0) return 0;
  words[count++] = in;
  wchar_t* out = in;
  bool quoted = false;
  for (; *in != L'\0'; ++in) {
    if (*in == L'"') {
      quoted = !quoted;
      continue;
    }
    if (!quoted && (*in == L' ' || *in == L'\t')) break;
    *out++ = *in;
  }
  const bool ended = *in == L'\0';
  *out = L'\0';
  if (ended) return count;
  ++in;
  while (count < maxWords) {
    while (*in == L' ' || *in == L'\t') ++in;
    if (*in == L'\0') break;
    words[count++] = in;
    out = in;
    quoted = false;
    while (*in != L'\0' && (quoted || (*in != L' ' && *in != L'\t'))) {
      uint32_t slashes = 0;
      while (*in == L'\\') {
        ++slashes;
        ++in;
      }
      if (*in == L'"') {
        for (uint32_t i = 0; i < slashes / 2; ++i) *out++ = L'\\';
        if (slashes % 2 == 1) {
          *out++ = L'"';
        } else if (quoted && in[1] == L'"') {
          *out++ = L'"';  // "" inside quotes is a literal quote
          ++in;
        } else {
          quoted = !quoted;
        }
        ++in;
        continue;
      }
      for (uint32_t i = 0; i < slashes; ++i) *out++ = L'\\';
      if (*in == L'\0' || (!quoted && (*in == L' ' || *in == L'\t'))) break;
      *out++ = *in++;
    }
    const bool last = *in == L'\0';
    *out = L'\0';
    if (last) break;
    ++in;
  }
  return count;
}

char ParseDisk(const wchar_t* word) {
  wchar_t c = word[0];
  if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  if (c >= L'A' && c <= L'Z' && (word[1] == L'\0' || (word[1] == L':' && word[2] == L'\0'))) {
    return static_cast<char>(c);
  }
  if (c >= L'0' && c <= L'9' && word[1] == L'\0') return static_cast<char>(c);
  const wchar_t prefix[] = L"\\\\.\\physicaldrive";
  uint32_t at = 0;
  for (; prefix[at] != L'\0'; ++at) {
    wchar_t w = word[at];
    if (w >= L'A' && w <= L'Z') w = static_cast<wchar_t>(w - L'A' + L'a');
    if (w != prefix[at]) return 0;
  }
  const wchar_t digit = word[at];
  return digit >= L'0' && digit <= L'9' && word[at + 1] == L'\0' ? static_cast<char>(digit) : 0;
}

CommandLine ParseCommandLine(uint32_t count, const wchar_t* const* words) {
  CommandLine line;
  if (count == 0) return line;
  // A file's name alone (a file dropped on the icon) opens the window with it.
  if (count == 1 && !IsOption(words[0]) && FindVerb(words[0]) == nullptr) {
    line.file = words[0];
    return line;
  }
  bool given[kOptCount] = {};
  int32_t optionAt[kOptCount] = {};
  int32_t positional[kMaxArguments];
  uint32_t positionals = 0;
  bool optionsEnded = false;
  for (uint32_t i = 0; i < count && i < kMaxArguments; ++i) {
    const wchar_t* word = words[i];
    if (optionsEnded || !IsOption(word)) {
      positional[positionals++] = static_cast<int32_t>(i);
      continue;
    }
    if (WordIs(word, "--")) {
      optionsEnded = true;
    } else if (WordIs(word, "--help") || WordIs(word, "-h") || WordIs(word, "/?")) {
      line.command = Command::Help;
      return line;
    } else if (WordIs(word, "--lang")) {
      // The language of this run's texts: its value is the next word.
      if (i + 1 >= count || !(WordIs(words[i + 1], "en") || WordIs(words[i + 1], "zh-cn"))) {
        return UsageError(USAGE_LANGUAGE, i + 1 < count ? static_cast<int32_t>(i + 1) : -1);
      }
      ++i;
      line.languageGiven = true;
      line.english = WordIs(words[i], "en");
    } else if (WordIs(word, "--version")) {
      line.command = Command::Version;
      return line;
    } else {
      uint8_t option = 0;
      while (option < kOptCount && !WordIs(word, kOptionNames[option])) ++option;
      if (option == kOptCount) return UsageError(USAGE_UNKNOWN_OPTION, static_cast<int32_t>(i));
      given[option] = true;
      optionAt[option] = static_cast<int32_t>(i);
    }
  }
  if (count > kMaxArguments) return UsageError(USAGE_TOO_MANY_WORDS, static_cast<int32_t>(kMaxArguments));
  // --lang alone opens the window in that language; with just a file's name, showing it.
  bool otherOptions = false;
  for (uint8_t option = 0; option < kOptCount; ++option) otherOptions = otherOptions || given[option];
  if (line.languageGiven && !otherOptions &&
      (positionals == 0 || (positionals == 1 && FindVerb(words[positional[0]]) == nullptr))) {
    if (positionals == 1) line.file = words[positional[0]];
    return line;
  }
  if (positionals == 0) {
    // Options alone (--quiet by itself) ask for nothing.
    return UsageError(USAGE_NO_COMMAND, -1);
  }
  const Verb* verb = FindVerb(words[positional[0]]);
  if (verb == nullptr) return UsageError(USAGE_UNKNOWN_COMMAND, positional[0]);
  const uint32_t operands = positionals - 1;
  if (operands < verb->minWords) return UsageError(verb->usage, -1);
  if (operands > verb->maxWords) return UsageError(verb->usage, positional[verb->maxWords + 1]);
  for (uint8_t option = 0; option < kOptCount; ++option) {
    if (given[option] && !OptionApplies(verb->command, option)) return UsageError(USAGE_OPTION_NOT_HERE, optionAt[option]);
  }
  if (given[kOptVerify] && given[kOptNoVerify]) return UsageError(USAGE_VERIFY_BOTH, -1);
  line.command = verb->command;
  line.yes = given[kOptYes];
  line.quiet = given[kOptQuiet];
  line.trim = given[kOptTrim];
  line.verify = !given[kOptNoVerify];
  const int32_t* operand = positional + 1;
  int32_t diskWord = -1;
  if (line.command == Command::Write) {
    line.file = words[operand[0]];
    diskWord = operand[1];
  } else if (line.command == Command::Create) {
    diskWord = operand[0];
    line.file = words[operand[1]];
  } else if (line.command == Command::Hash) {
    line.file = words[operand[0]];
  } else if (line.command != Command::List) {
    diskWord = operand[0];
  }
  if (diskWord >= 0) {
    line.designator = ParseDisk(words[diskWord]);
    if (line.designator == 0) return UsageError(USAGE_NOT_A_DISK, diskWord);
  }
  if (line.command == Command::Write && operands > 2) {
    // Every disk is read, so a mistyped one is named as such first.
    for (uint32_t i = 2; i < operands; ++i) {
      if (ParseDisk(words[operand[i]]) == 0) return UsageError(USAGE_NOT_A_DISK, operand[i]);
    }
    return UsageError(USAGE_SEVERAL_DISKS, operand[2]);
  }
  return line;
}
