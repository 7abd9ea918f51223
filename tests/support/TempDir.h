#pragma once
// Scratch folders and declarative file trees for tests: a test states a tree as data and checks it as data.
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace velkor::test {

// A fresh folder under the system's temporary folder, removed (read-only entries too) when the test ends.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  std::filesystem::path operator/(const std::filesystem::path& rel) const { return FPath / rel; }

private:
  std::filesystem::path FPath;
};

// Relative path ("Docs/sub/b.txt", "/" separators) -> content.
using TFileTree = std::map<std::string, std::string>;

void WriteTree(const std::filesystem::path& root, const TFileTree& tree);
// Every regular file under `root` with its content.
TFileTree ReadTree(const std::filesystem::path& root);
void WriteFile(const std::filesystem::path& path, const std::string& content);
// `size` bytes that do not compress, the same for the same seed.
std::string NoiseBytes(size_t size, unsigned seed);
std::string ReadFile(const std::filesystem::path& path);

// Sets (or, with nullopt, unsets) an environment variable for the lifetime of the object.
class TScopedEnv {
public:
  TScopedEnv(std::string name, const std::optional<std::string>& value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
  std::string FName;
  std::optional<std::string> FOld;
};

// Runs a shell command; returns its exit status and, in `output`, what it printed (stdout and stderr).
int RunCommand(const std::string& command, std::string* output = nullptr);
// Quotes a path or word for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace velkor::test
