// kvl: command-line tool for the engine's formats. Dispatches to the registered
// command families.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "tools/kvl/kvl_command.h"

namespace {

std::vector<KvlCommand>& Table() {
    static std::vector<KvlCommand> table;
    return table;
}

void PrintOverview(FILE* out) {
    std::fprintf(out,
                 "usage: kvl COMMAND [ARGS...]\n"
                 "\n"
                 "Works with the ZARNOTH 3D engine's file formats.\n"
                 "\n"
                 "commands:\n");
    std::vector<KvlCommand> sorted = Table();
    std::sort(sorted.begin(), sorted.end(),
              [](const KvlCommand& a, const KvlCommand& b) { return std::strcmp(a.name, b.name) < 0; });
    for (const KvlCommand& c : sorted) {
        std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
    }
    std::fprintf(out, "\n'kvl COMMAND --help' describes a command; 'kvl --version' the version.\n");
}

}  // namespace

KvlCommandRegistration::KvlCommandRegistration(const KvlCommand& command) { Table().push_back(command); }

const std::vector<KvlCommand>& KvlCommands() { return Table(); }

int KvlFail(const std::string& message) {
    std::fprintf(stderr, "kvl: %s\n", message.c_str());
    return kKvlFailed;
}

int KvlUsageError(const KvlCommand& command, const std::string& message) {
    std::fprintf(stderr, "kvl: %s\n\n%s", message.c_str(), command.help);
    return kKvlUsage;
}

bool KvlIsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

bool KvlParseCount(const std::string& text, int32_t& value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || v > INT32_MAX) {
        return false;
    }
    value = static_cast<int32_t>(v);
    return true;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintOverview(stderr);
        return kKvlUsage;
    }
    const std::string word = argv[1];
    if (KvlIsHelp(word) || word == "help") {
        PrintOverview(stdout);
        return kKvlOk;
    }
    if (word == "--version") {
        std::printf("kvl %s\n", ZARNOTH_VERSION);
        return kKvlOk;
    }
    for (const KvlCommand& c : Table()) {
        if (word == c.name) {
            std::vector<std::string> args(argv + 2, argv + argc);
            if (!args.empty() && KvlIsHelp(args[0])) {
                std::fputs(c.help, stdout);
                return kKvlOk;
            }
            return c.run(args);
        }
    }
    std::fprintf(stderr, "kvl: unknown command '%s'\n\n", word.c_str());
    PrintOverview(stderr);
    return kKvlUsage;
}
