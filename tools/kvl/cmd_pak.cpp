// kvl pak: list, extract, add and create PAK archives (standalone or attached to an
// "MZ" executable) through the engine's own archive streams.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"
#include "tools/kvl/kvl_command.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kArchiveBuffer = 65536;

extern const KvlCommand kPakCommand;

// The archive as the engine opens it: a 64 KiB buffered stream over the file.
struct Archive {
    KVLFileStream file;
    KVLBufferedStream stream;
    explicit Archive(const std::string& path) : file(KVLString(path.c_str())), stream(file, kArchiveBuffer) {}
};

bool CopyStream(KVLStream& from, KVLStream& to) {
    std::vector<char> chunk(kArchiveBuffer);
    for (;;) {
        const int32_t got = from.Read(chunk.data(), static_cast<int32_t>(chunk.size()));
        if (got <= 0) {
            return true;
        }
        if (to.Write(chunk.data(), got) != got) {
            return false;
        }
    }
}

int FindEntry(const KVLArray<KVLPAKEntry>& entries, const std::string& name) {
    for (int32_t i = 0; i < entries.GetCount(); ++i) {
        if (std::strncmp(entries[i].name, name.c_str(), kKVLPAKNameSize) == 0) {
            return i;
        }
    }
    return -1;
}

// The output file for a member when none is given: the part of the name after its
// last backslash, slash or drive colon. Names come from archives of any origin, so
// "..\x", "/etc/x" or "C:x" must not reach outside the current folder; a name that
// ends without a plain part ("dir\", "..") gives the empty string.
std::string DefaultOutput(const std::string& name) {
    const size_t cut = name.find_last_of("\\/:");
    std::string last = cut == std::string::npos ? name : name.substr(cut + 1);
    if (last == "." || last == "..") {
        last.clear();
    }
    return last;
}

int List(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return KvlUsageError(kPakCommand, "pak list takes one archive");
    }
    Archive archive(args[0]);
    KVLArray<KVLPAKEntry> entries;
    KVLString error;
    if (!KVLPAKReadDirectory(archive.stream, entries, &error)) {
        return KvlFail(args[0] + ": " + error.c_str());
    }
    for (const KVLPAKEntry& e : entries) {
        std::printf("%s\t%d\t%d\n", e.GetName().c_str(), e.offset, e.size);
    }
    return kKvlOk;
}

int Extract(const std::vector<std::string>& args) {
    if (args.size() != 2 && args.size() != 3) {
        return KvlUsageError(kPakCommand, "pak extract takes an archive, a member name and an optional output");
    }
    const std::string& name = args[1];
    std::string out;
    if (args.size() == 3) {
        out = args[2];
    } else {
        out = DefaultOutput(name);
        if (out.empty()) {
            return KvlFail(args[0] + ": member name '" + name + "' ends without a file name; give an output file");
        }
    }
    Archive archive(args[0]);
    KVLPAKStream member(archive.stream, KVLString(name.c_str()));
    if (!member.OpenRead()) {
        KVLArray<KVLPAKEntry> entries;
        KVLString error;
        if (!KVLPAKReadDirectory(archive.stream, entries, &error)) {
            return KvlFail(args[0] + ": " + error.c_str());
        }
        if (FindEntry(entries, name) < 0) {
            return KvlFail(args[0] + ": no member named '" + name + "'");
        }
        return KvlFail(args[0] + ": member '" + name + "' lies outside the archive (damaged archive)");
    }
    KVLFileStream target(KVLString(out.c_str()));
    if (!target.OpenWrite()) {
        return KvlFail("cannot write " + out);
    }
    const int32_t expected = member.GetLength();
    const bool copied = CopyStream(member, target);
    const int32_t written = target.Tell();
    const bool closed = target.Close();
    if (!copied || !closed) {
        return KvlFail("cannot write " + out);
    }
    if (written != expected) {
        return KvlFail(args[0] + ": member '" + name + "' is truncated");
    }
    return kKvlOk;
}

// Adds one file as member name. Checks first so that refusals come with a reason.
int AddMember(const std::string& archivePath, const std::string& name, const std::string& filePath) {
    if (name.empty() || name.size() > static_cast<size_t>(kKVLPAKNameSize)) {
        return KvlFail(archivePath + ": member name '" + name + "' must have 1 to 16 characters");
    }
    Archive archive(archivePath);
    if (archive.stream.Exists()) {
        KVLArray<KVLPAKEntry> entries;
        KVLString error;
        if (!KVLPAKReadDirectory(archive.stream, entries, &error)) {
            return KvlFail(archivePath + ": " + error.c_str());
        }
        const int index = FindEntry(entries, name);
        if (index >= 0 && index != entries.GetCount() - 1) {
            return KvlFail(archivePath + ": member '" + name +
                           "' exists and is not the last member; only the last member can be rewritten");
        }
        if (index < 0 && entries.GetCount() >= kKVLPAKMaxEntries) {
            return KvlFail(archivePath + ": the archive already holds the most members a PAK can (65535)");
        }
    }
    std::error_code ec;
    const auto size = fs::file_size(filePath, ec);
    if (ec) {
        return KvlFail("cannot read " + filePath);
    }
    if (size > static_cast<uintmax_t>(INT32_MAX / 2)) {
        return KvlFail(filePath + " is too large for a PAK member");
    }
    KVLFileStream source(KVLString(filePath.c_str()));
    if (!source.OpenRead()) {
        return KvlFail("cannot read " + filePath);
    }
    KVLPAKStream member(archive.stream, KVLString(name.c_str()));
    if (!member.OpenWrite()) {
        return KvlFail(archivePath + ": cannot write member '" + name + "'");
    }
    const bool copied = CopyStream(source, member);
    const bool closed = member.Close();
    if (!copied || !closed) {
        return KvlFail(archivePath + ": writing member '" + name + "' failed");
    }
    return kKvlOk;
}

int Add(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        return KvlUsageError(kPakCommand, "pak add takes an archive, a member name and a file");
    }
    return AddMember(args[0], args[1], args[2]);
}

int Create(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return KvlUsageError(kPakCommand, "pak create takes an archive and a folder");
    }
    const std::string& archivePath = args[0];
    const fs::path root = args[1];
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        return KvlFail(args[1] + " is not a folder");
    }
    std::vector<std::pair<std::string, fs::path>> files;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file()) {
            continue;
        }
        std::string name = fs::relative(it->path(), root).generic_string();
        std::replace(name.begin(), name.end(), '/', '\\');
        files.emplace_back(name, it->path());
    }
    if (ec) {
        return KvlFail("cannot list " + args[1]);
    }
    std::sort(files.begin(), files.end());
    for (const auto& [name, path] : files) {
        if (name.size() > static_cast<size_t>(kKVLPAKNameSize)) {
            return KvlFail(path.string() + ": member name '" + name + "' is longer than 16 characters");
        }
    }
    if (files.size() > static_cast<size_t>(kKVLPAKMaxEntries)) {
        return KvlFail(args[1] + ": too many files for one PAK archive (at most 65535)");
    }
    // Build next to the target and move it into place at the end, so that a failure
    // leaves no half-written archive behind.
    const std::string temporary = archivePath + ".part";
    fs::remove(temporary, ec);
    {
        // An archive with no members is still a valid archive.
        KVLFileStream empty(KVLString(temporary.c_str()));
        uint8_t header[kKVLPAKHeaderSize];
        KVLPAKEncodeHeader(KVLPAKHeader{}, header);
        if (!empty.OpenWrite() || empty.Write(header, kKVLPAKHeaderSize) != kKVLPAKHeaderSize || !empty.Close()) {
            return KvlFail("cannot write " + archivePath);
        }
    }
    for (const auto& [name, path] : files) {
        const int rc = AddMember(temporary, name, path.string());
        if (rc != kKvlOk) {
            fs::remove(temporary, ec);
            return rc;
        }
    }
    fs::rename(temporary, archivePath, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return KvlFail("cannot write " + archivePath);
    }
    return kKvlOk;
}

int RunPak(const std::vector<std::string>& args) {
    if (args.empty()) {
        return KvlUsageError(kPakCommand, "pak needs a subcommand");
    }
    const std::string& sub = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (sub == "list") return List(rest);
    if (sub == "extract") return Extract(rest);
    if (sub == "add") return Add(rest);
    if (sub == "create") return Create(rest);
    return KvlUsageError(kPakCommand, "unknown pak subcommand '" + sub + "'");
}

const KvlCommand kPakCommand = {
    "pak",
    "list, extract, add and create PAK archives",
    "usage:\n"
    "  kvl pak list ARCHIVE              one line per member: NAME<TAB>OFFSET<TAB>SIZE\n"
    "  kvl pak extract ARCHIVE NAME [OUT]\n"
    "                                    write a member's bytes to OUT (default: the part of\n"
    "                                    NAME after its last backslash, slash or colon, in the\n"
    "                                    current folder; never \".\" or \"..\")\n"
    "  kvl pak add ARCHIVE NAME FILE     store FILE as member NAME (creates the archive;\n"
    "                                    only the last member can be rewritten)\n"
    "  kvl pak create ARCHIVE DIR        archive every file under DIR, sorted; names are\n"
    "                                    relative to DIR with backslashes, 16 characters at most\n"
    "\n"
    "Member names use backslashes (\"tex\\cl.jpg\") and match case-sensitively.\n"
    "Archives attached to an \"MZ\" executable work the same way.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n",
    &RunPak,
};

const KvlCommandRegistration kRegistration(kPakCommand);

}  // namespace
