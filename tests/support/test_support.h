// Helpers shared by the unit tests: scratch folders, whole-file reads and writes,
// running outside programs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// True when the environment variable CI is "true": there a missing outside tool or
// data set means a broken set-up, so tests fail instead of skipping.
bool RunningInCI();

// Path of a program built next to the tests (build/bin).
std::string BinPath(const std::string& name);
// Path inside the source tree.
std::string SourcePath(const std::string& relative);

// Deterministic pseudo-random bytes.
std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed);

}  // namespace testsupport
