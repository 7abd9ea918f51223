#include "platform/LongPathSwitch.h"

namespace velkor {

namespace {

class TUnlimitedPathSwitch final : public ILongPathSwitch {
public:
  bool ReadLongPathsEnabled() override { return true; }
  bool StartElevated(const std::string&, const std::string&) override { return false; }
};

}  // namespace

ILongPathSwitch& SystemLongPathSwitch() {
  static TUnlimitedPathSwitch instance;
  return instance;
}

}  // namespace velkor
