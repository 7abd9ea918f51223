#pragma once
// The real S3 server of the tests: @20minutes/s3rver 5.0.0 (installed by scripts/install-deps under s3-peer/),
// started through its JavaScript API on 127.0.0.1 at a port the system picks, with the default key pair S3RVER /
// S3RVER. It verifies Signature Version 4 and stores each object as <directory>/<bucket>/<key>._S3rver_object.
// The server ends with the object (its standard input closes), also when the test process dies.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace velkor::test {

inline constexpr const char* S3PeerKey = "S3RVER";

class TS3Peer {
public:
  explicit TS3Peer(std::filesystem::path directory, const std::vector<std::string>& buckets = {"qelt-backup"})
      : FDirectory(std::move(directory)) {
    const std::filesystem::path peer = std::filesystem::path(VELKOR_SOURCE_DIR) / "tests/integration/s3-peer";
    if (!std::filesystem::exists(peer / "node_modules/@20minutes/s3rver/package.json"))
      throw std::runtime_error("the S3 test server is not installed: run scripts/install-deps");
    std::filesystem::create_directories(FDirectory);
    int input[2], output[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
      throw std::runtime_error("S3 test server: no pipe");
    std::vector<std::string> args{"node", (peer / "serve.js").string(), FDirectory.string()};
    args.insert(args.end(), buckets.begin(), buckets.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    FPid = ::fork();
    if (FPid == 0) {
      ::dup2(input[0], 0);
      ::dup2(output[1], 1);
      ::execvp("node", argv.data());
      ::_exit(127);
    }
    ::close(input[0]);
    ::close(output[1]);
    FInput = input[1];
    const std::string port = ReadLine(output[0]);
    ::close(output[0]);
    if (port.empty()) throw std::runtime_error("the S3 test server did not start (is node installed?)");
    FEndpoint = "http://127.0.0.1:" + port;
  }
  ~TS3Peer() {
    ::close(FInput);
    if (FPid > 0) {
      ::kill(FPid, SIGTERM);
      ::waitpid(FPid, nullptr, 0);
    }
  }
  TS3Peer(const TS3Peer&) = delete;
  TS3Peer& operator=(const TS3Peer&) = delete;

  const std::string& Endpoint() const { return FEndpoint; }

  // Every object of `bucket` with its content.
  std::map<std::string, std::string> Objects(const std::string& bucket) const {
    static const std::string suffix = "._S3rver_object";
    std::map<std::string, std::string> objects;
    const std::filesystem::path root = FDirectory / bucket;
    if (!std::filesystem::exists(root)) return objects;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      const std::string relative = std::filesystem::relative(entry.path(), root).string();
      if (entry.is_regular_file() && relative.size() > suffix.size() && relative.ends_with(suffix))
        objects[relative.substr(0, relative.size() - suffix.size())] = ReadFile(entry.path());
    }
    return objects;
  }

private:
  // The first line the server prints, within 30 seconds; "" when none comes.
  static std::string ReadLine(int fd) {
    std::string line;
    for (int waited = 0; waited < 300; ++waited) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char c;
      if (::read(fd, &c, 1) != 1) return "";
      if (c == '\n') return line;
      line += c;
    }
    return "";
  }

  std::filesystem::path FDirectory;
  pid_t FPid = -1;
  int FInput = -1;
  std::string FEndpoint;
};

}  // namespace velkor::test
