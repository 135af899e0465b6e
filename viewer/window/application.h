// The resident application: one instance per session serves every preview window.
#pragma once

#include <functional>
#include <string>

#include "viewer/protocol/application_id.h"

namespace viewer {

// Tells the command that started this process its exit status, and the message for its
// standard error.
using ReportStatus = std::function<void(int status, const std::string& message)>;

// Opens a window on the file at `path` (absolute), `name` in messages, in the instance that
// runs, or in this process, which then becomes the instance. `report` tells the caller 0 once the
// window shows the page, or 1 once it shows why the file cannot be shown (the reason also goes to
// standard error). Returns when the instance ends: some minutes after its last window closed; at
// once, with 1 reported, when the configuration directory is not a directory (the web engine's
// sandbox cannot start below it).
int runApplication(const std::string& path, const std::string& name, const ReportStatus& report);

// The instance started by D-Bus activation (--gapplication-service): it opens the windows
// it is asked for and ends some minutes after the last one closed.
int runService();

}  // namespace viewer
