// Times one EncryptFile or DecryptFile call and prints the seconds it took; crypto-throughput.sh drives it.
// Usage: crypto_throughput encrypt|decrypt SOURCE DEST (password from $VELKOR_BENCH_PASSWORD)
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "crypto/EncryptionManager.h"

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "encrypt") != 0 && std::strcmp(argv[1], "decrypt") != 0)) {
    std::cerr << "usage: crypto_throughput encrypt|decrypt SOURCE DEST\n";
    return 2;
  }
  const char* password = std::getenv("VELKOR_BENCH_PASSWORD");
  velkor::TEncryptionManager manager(std::filesystem::path(argv[3]).parent_path() / "registry.json");
  manager.SetPassword(password ? password : "bench-password");
  const auto start = std::chrono::steady_clock::now();
  try {
    if (std::strcmp(argv[1], "encrypt") == 0)
      manager.EncryptFile(argv[2], argv[3]);
    else
      manager.DecryptFile(argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  std::cout << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << "\n";
  return 0;
}
