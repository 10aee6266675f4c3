// Archive writing for the generator: one KVLPAKStream per member, written in order.
#include "assets/pak_writer.h"

#include <cstdio>
#include <filesystem>

#include "core/kvl_filestream.h"
#include "core/kvl_pakstream.h"

namespace assetgen {

bool WritePak(const std::string& path, const std::vector<AssetMember>& members, std::string& error) {
    namespace fs = std::filesystem;
    const std::string temporary = path + ".part";
    std::error_code ec;
    fs::remove(temporary, ec);
    // Removes the partial archive on every way out that did not move it into place.
    struct Cleanup {
        const std::string& file;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove(file, ignored);
        }
    } cleanup{temporary};
    {
        KVLFileStream archive{KVLString(temporary.c_str())};
        for (const AssetMember& member : members) {
            if (member.name.empty() || member.name.size() > static_cast<size_t>(kKVLPAKNameSize)) {
                error = "member name '" + member.name + "' does not fit a PAK directory entry";
                return false;
            }
            if (member.bytes.size() > static_cast<size_t>(INT32_MAX / 4)) {
                error = "member '" + member.name + "' is too large";
                return false;
            }
            KVLPAKStream stream(archive, KVLString(member.name.c_str()));
            if (!stream.OpenWrite()) {
                error = "cannot write member '" + member.name + "' into " + temporary;
                return false;
            }
            const auto size = static_cast<int32_t>(member.bytes.size());
            const bool wrote = size == 0 || stream.Write(member.bytes.data(), size) == size;
            if (!stream.Close() || !wrote) {
                error = "writing member '" + member.name + "' failed";
                return false;
            }
        }
    }
    fs::rename(temporary, path, ec);
    if (ec) {
        error = "cannot move " + temporary + " to " + path + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace assetgen
