// velkor-cli: the headless front end over the same core as the window, for servers, scripts and cron.
#include <cstring>
#include <iostream>
#include <string>

#include "platform/ProcessLocale.h"

namespace {

void PrintHelp() {
  std::cout << "Usage: velkor-cli [--help] [--version] COMMAND [ARGS]\n"
               "\n"
               "Velkor backs up folders to ZIP archives or folder copies, optionally encrypted.\n"
               "\n"
               "Options:\n"
               "  --help       Show this help and exit.\n"
               "  --version    Show the version and exit.\n";
}

}  // namespace

int main(int argc, char** argv) {
  velkor::InitProcessLocale();
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintHelp();
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::cout << "velkor-cli " << VELKOR_VERSION << "\n";
    return 0;
  }
  std::cerr << "velkor-cli: unknown command '" << argv[1] << "' (see --help)\n";
  return 2;
}
