#pragma once
// The system-wide switch that lets every program use paths longer than 260 characters, and the elevated start of
// the command that turns it on. Windows keeps the switch in the local machine's registry; Linux has no such limit,
// so there the switch reads as on and nothing is ever started.
#include <string>

namespace velkor {

class ILongPathSwitch {
public:
  virtual ~ILongPathSwitch() = default;
  // True only when the switch is stored and on. Throws EVelkorError when it cannot be read.
  virtual bool ReadLongPathsEnabled() = 0;
  // Starts `program` with `parameters` with administrator rights (the system asks the user), hidden, without
  // waiting for it. True when it was started.
  virtual bool StartElevated(const std::string& program, const std::string& parameters) = 0;
};

// This system's switch.
ILongPathSwitch& SystemLongPathSwitch();

}  // namespace velkor
