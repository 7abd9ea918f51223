#include "support/TempDir.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velkor::test {

namespace fs = std::filesystem;

TTempDir::TTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = (fs::path(base && *base ? base : "/tmp") / "velkor-test-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  FPath = templ;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  // Give every entry write permission back first so read-only fixtures can be removed.
  for (auto it = fs::recursive_directory_iterator(FPath, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(FPath, ec);
}

void WriteFile(const fs::path& path, const std::string& content) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out << content;
}

std::string NoiseBytes(size_t size, unsigned seed) {
  std::string data(size, '\0');
  for (char& c : data) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return data;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteTree(const fs::path& root, const TFileTree& tree) {
  for (const auto& [rel, content] : tree) WriteFile(root / rel, content);
}

TFileTree ReadTree(const fs::path& root) {
  TFileTree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) tree[fs::relative(entry.path(), root).generic_string()] = ReadFile(entry.path());
  return tree;
}

TScopedEnv::TScopedEnv(std::string name, const std::optional<std::string>& value) : FName(std::move(name)) {
  if (const char* old = std::getenv(FName.c_str())) FOld = old;
  if (value)
    setenv(FName.c_str(), value->c_str(), 1);
  else
    unsetenv(FName.c_str());
}

TScopedEnv::~TScopedEnv() {
  if (FOld)
    setenv(FName.c_str(), FOld->c_str(), 1);
  else
    unsetenv(FName.c_str());
}

std::string ShellQuote(const std::string& text) {
  std::string q = "'";
  for (char c : text) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace velkor::test
