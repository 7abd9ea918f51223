#pragma once
// A folder that cannot be listed, for the calling thread and the threads it starts. Permissions alone do not stop
// root, so when the tests run as root the capabilities that bypass them leave this thread's effective set for the
// object's lifetime (they stay permitted and come back at the end).
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>

namespace velkor::test {

class TUnlistableFolder {
public:
  explicit TUnlistableFolder(std::filesystem::path folder) : FFolder(std::move(folder)) {
    std::filesystem::permissions(FFolder, std::filesystem::perms::none);
    if (::geteuid() == 0) FDropped = SetOverrides(false);
  }
  ~TUnlistableFolder() {
    if (FDropped) SetOverrides(true);
    std::filesystem::permissions(FFolder, std::filesystem::perms::owner_all);
  }
  TUnlistableFolder(const TUnlistableFolder&) = delete;
  TUnlistableFolder& operator=(const TUnlistableFolder&) = delete;

private:
  static bool SetOverrides(bool effective) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    constexpr __u32 Overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective =
        effective ? data[0].effective | (data[0].permitted & Overrides) : data[0].effective & ~Overrides;
    const bool done = ::syscall(SYS_capset, &header, data) == 0;
    EXPECT_TRUE(done) << "capabilities could not be changed";
    return done;
  }

  std::filesystem::path FFolder;
  bool FDropped = false;
};

}  // namespace velkor::test
