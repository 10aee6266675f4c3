// Shared test helpers. On Windows, commands go to cmd.exe and there is no mkdtemp.
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

// No test program ever waits on a message box, however it is started (ctest, by hand
// in a desktop session, under Wine).
const bool g_noMessageBoxes = [] {
#ifdef _WIN32
    return _putenv_s("ZARNOTH_NO_MESSAGE_BOX", "1") == 0;
#else
    return setenv("ZARNOTH_NO_MESSAGE_BOX", "1", 1) == 0;
#endif
}();

}  // namespace

namespace testsupport {

#ifdef _WIN32
TempDir::TempDir() {
    // create_directory fails on an existing name, which makes the pick race-free.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    uint32_t x = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
    for (int attempt = 0; attempt < 100; ++attempt) {
        x = x * 1664525u + 1013904223u;
        char name[32];
        std::snprintf(name, sizeof name, "zarnoth-test-%08x", static_cast<unsigned>(x));
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec)) {
            m_path = (base / name).generic_string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}
#else
TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zarnoth-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = buffer.data();
}
#endif

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

bool MissingToolsFail() {
    // Without a POSIX shell (Windows) the tests reach no outside program by design.
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true" && HavePosixShell();
}

std::string TestDataPath(const std::string& relative) { return std::string(ZARNOTH_TESTDATA_DIR) + "/" + relative; }

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

void WriteFile(const std::string& path, const std::string& text) {
    WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

#ifdef _WIN32
int Run(const std::string& command, std::string* output) {
    FILE* pipe = _popen(command.c_str(), "rb");
    if (pipe == nullptr) {
        return -1;
    }
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        if (output != nullptr) {
            output->append(chunk, n);
        }
    }
    return _pclose(pipe);
}

bool HavePosixShell() { return false; }

// The programs the tests run are driven with POSIX shell command lines.
bool HaveProgram(const std::string&) { return false; }
#else
int Run(const std::string& command, std::string* output) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        if (output != nullptr) {
            output->append(chunk, n);
        }
    }
    const int status = pclose(pipe);
    if (status == -1 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

bool HavePosixShell() { return true; }

bool HaveProgram(const std::string& name) {
    return Run("command -v " + name + " >/dev/null 2>&1") == 0;
}
#endif

std::string BinPath(const std::string& name) { return std::string(ZARNOTH_BIN_DIR) + "/" + name; }

std::string SourcePath(const std::string& relative) { return std::string(ZARNOTH_SOURCE_DIR) + "/" + relative; }

std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> bytes(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

std::vector<uint8_t> WavHeader(uint32_t dataBytes, uint32_t rate, uint16_t channels) {
    std::vector<uint8_t> h(44);
    const auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            h[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
        }
    };
    std::memcpy(h.data(), "RIFF", 4);
    put(4, 36 + dataBytes, 4);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, channels, 2);
    put(24, rate, 4);
    put(28, rate * channels * 2u, 4);
    put(32, channels * 2u, 2);
    put(34, 16, 2);
    std::memcpy(h.data() + 36, "data", 4);
    put(40, dataBytes, 4);
    return h;
}

}  // namespace testsupport
