// Command table of the kvl tool. Each command family lives in its own source file and
// registers itself with a static KvlCommandRegistration.
//
// Exit status convention: 0 success, 1 failure (one line on standard error),
// 2 usage error (usage text on standard error).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kKvlOk = 0;
constexpr int kKvlFailed = 1;
constexpr int kKvlUsage = 2;

struct KvlCommand {
    const char* name;     // first word on the command line, e.g. "pak"
    const char* summary;  // one line for `kvl --help`
    const char* help;     // full text for `kvl NAME --help`
    // args excludes the program name and the command word.
    int (*run)(const std::vector<std::string>& args);
};

struct KvlCommandRegistration {
    explicit KvlCommandRegistration(const KvlCommand& command);
};

const std::vector<KvlCommand>& KvlCommands();

// Prints a one-line failure message on standard error and returns kKvlFailed.
int KvlFail(const std::string& message);
// Prints "kvl: MESSAGE" and the command's help on standard error; returns kKvlUsage.
int KvlUsageError(const KvlCommand& command, const std::string& message);
bool KvlIsHelp(const std::string& arg);
// A whole decimal number from 0 to INT32_MAX; false for anything else.
bool KvlParseCount(const std::string& text, int32_t& value);
