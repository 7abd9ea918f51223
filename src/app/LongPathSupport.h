#pragma once
// The start-up check of the system's long-path switch: one log line when it is on (always on Linux); otherwise the
// offer to turn it on through a registry import run with administrator rights. Main thread only.
#include <filesystem>
#include <string>

#include "app/IAppPrompts.h"
#include "app/IPostRunSteps.h"
#include "platform/Clock.h"
#include "platform/LongPathSwitch.h"

namespace velkor {

// True when the switch reads as on; a switch that cannot be read is logged and counts as off.
bool IsLongPathSupportEnabled(ILongPathSwitch& longPaths, const TAddLog& addLog);
void CheckLongPathSupport(ILongPathSwitch& longPaths, IAppPrompts& prompts, IClock& clock, const TAddLog& addLog);
// Writes the registry import and its script into the temporary folder and starts the script elevated. The script
// deletes both files; when it does not start, they are deleted here. True when it was started.
bool EnableLongPathSupportElevated(ILongPathSwitch& longPaths, IClock& clock, const TAddLog& addLog);

// The two files of the elevated import (exposed for tests).
std::string LongPathRegistryFileBytes();  // UTF-16LE with its byte order mark
std::string LongPathScriptText(const std::filesystem::path& registryFile);

}  // namespace velkor
