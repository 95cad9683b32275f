#pragma once
// The report collection seen from the launch tests, which cannot include the files
// database's header together with the settings' one (both declare the case rules).
#include <memory>
#include <string>

#include "ui/commands/CommandObject.h"

namespace qm::test {

struct TLaunchCollection;

// The collection of ReportTestSupport.h in a set mode ("merged", "split", "unmerged").
std::shared_ptr<TLaunchCollection> MakeLaunchCollection(const std::string& mode);
// "game:NAME", "clone:NAME", "file:NAME" (a file of the rom path), "romfile:FILE/CRC".
TCommandObject LaunchObject(TLaunchCollection& collection, const std::string& what);
// The rom path's folder, ending with "/".
std::string LaunchRomPath(TLaunchCollection& collection);

}  // namespace qm::test
