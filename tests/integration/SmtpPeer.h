#pragma once
// The SMTP servers of smtp_peer.py, started for the test program on 127.0.0.1 with a certificate made at start,
// and the messages they received, read back through the script's probe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "crypto/CryptoUtils.h"
#include "support/TempDir.h"

namespace velkor::test {

inline const std::string SmtpPeerScript = std::string(VELKOR_SOURCE_DIR) + "/tests/integration/smtp_peer.py";
inline constexpr char SmtpUser[] = "velkor";
inline constexpr char SmtpPassword[] = "Doğru-Şifre 1";

struct TReceivedMail {
  nlohmann::json Envelope;   // server, mail_from, rcpt_tos, tls, auth_mechanism, auth_login
  nlohmann::json Message;    // subject, from_name, from_address, to, body {content_type, bytes}, attachments
  std::string Body() const;  // the body's bytes after its transfer encoding
};

class TSmtpPeer {
public:
  TSmtpPeer() {
    const std::string folder = FDir.Path().string();
    const std::string portsFile = folder + "/ports.json";
    FPid = ::fork();
    if (FPid == 0) {
      const int out = ::open(portsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(out, 1);
      ::execl("/usr/bin/python3", "python3", SmtpPeerScript.c_str(), "serve", folder.c_str(), nullptr);
      ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      const std::string text = std::filesystem::exists(portsFile) ? ReadFile(portsFile) : std::string();
      if (text.find('\n') != std::string::npos) {
        FPorts = nlohmann::json::parse(text);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the SMTP peer did not start";
  }
  ~TSmtpPeer() {
    if (FPid <= 0) return;
    ::kill(FPid, SIGTERM);
    ::waitpid(FPid, nullptr, 0);
  }
  TSmtpPeer(const TSmtpPeer&) = delete;
  TSmtpPeer& operator=(const TSmtpPeer&) = delete;

  // "starttls", "implicit", "noauth", "plainonly" or "silent".
  int Port(const std::string& server) const { return FPorts.value(server, 0); }

  size_t Count() const {
    size_t count = 0;
    while (std::filesystem::exists(FDir / ("mail-" + std::to_string(count + 1) + ".json"))) ++count;
    return count;
  }
  // Every message received after the first `after`, once there are `after` + `count` of them (or the time is up).
  std::vector<TReceivedMail> WaitForMails(size_t after, size_t count,
                                          std::chrono::seconds timeout = std::chrono::seconds(30)) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Count() < after + count && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<TReceivedMail> mails;
    for (size_t n = after + 1; n <= Count(); ++n) {
      const std::string base = (FDir / ("mail-" + std::to_string(n))).string();
      std::string probe;
      EXPECT_EQ(
          RunCommand("/usr/bin/python3 " + ShellQuote(SmtpPeerScript) + " probe " + ShellQuote(base + ".eml"), &probe),
          0)
          << probe;
      mails.push_back({nlohmann::json::parse(ReadFile(base + ".json")), nlohmann::json::parse(probe)});
    }
    return mails;
  }

private:
  TTempDir FDir;
  pid_t FPid = -1;
  nlohmann::json FPorts = nlohmann::json::object();
};

inline std::string TReceivedMail::Body() const {
  const TBytes bytes = Base64ToBytes(Message["body"]["bytes"].get<std::string>());
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace velkor::test
