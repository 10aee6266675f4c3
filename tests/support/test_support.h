// Helpers shared by the unit tests: scratch folders, whole-file reads and writes,
// running outside programs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// For a test whose outside program or data file is missing: skips with the streamed
// reason, except under CI=true, where everything the tests use is installed and a
// missing tool means a missing install step or a wrong path, so the test fails (not on
// Windows, where the tests run no outside programs: see HavePosixShell).
//     if (!testsupport::HaveProgram("lame")) { ZARNOTH_SKIP_MISSING() << "lame is not installed"; }
#define ZARNOTH_SKIP_MISSING()                                                                    \
    return ::testing::internal::AssertHelper(::testsupport::MissingToolsFail()                   \
                                                 ? ::testing::TestPartResult::kFatalFailure       \
                                                 : ::testing::TestPartResult::kSkip,              \
                                             __FILE__, __LINE__, "") = ::testing::Message()

namespace testsupport {

// A fresh, empty folder under the system's temporary folder, removed with its
// contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::vector<uint8_t> ReadFile(const std::string& path);
// The names in a folder, sorted (empty when it cannot be read).
std::vector<std::string> ListFolder(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

// Runs a shell command; returns its exit status (-1 when it could not run) and
// collects its standard output in output when given.
int Run(const std::string& command, std::string* output = nullptr);
// True when Run's commands go to a POSIX shell. The tests' command lines use its
// quoting and redirections, so on Windows (cmd.exe) the tests that run outside
// programs or the built tools skip.
bool HavePosixShell();
// True when a program of that name is on PATH (never without a POSIX shell).
bool HaveProgram(const std::string& name);
// The reason given by tests that skip without a POSIX shell.
inline constexpr const char* kNoPosixShell = "runs programs through a POSIX shell, which Windows does not have";

// True under CI=true: see ZARNOTH_SKIP_MISSING.
bool MissingToolsFail();
// The folder of the outside test data that scripts/setup.sh fetches (the same for
// every build folder of the checkout).
std::string TestDataPath(const std::string& relative);

// Path of a program built next to the tests (build/bin).
std::string BinPath(const std::string& name);
// Path inside the source tree.
std::string SourcePath(const std::string& relative);

// Deterministic pseudo-random bytes.
std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed);
// The 44-byte header of a 16-bit PCM WAV file holding dataBytes bytes of samples.
std::vector<uint8_t> WavHeader(uint32_t dataBytes, uint32_t rate, uint16_t channels);

}  // namespace testsupport
