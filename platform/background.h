// A program that answers its caller early and carries on in the background.
#pragma once

#include <functional>

namespace platform {

// Tells the caller the exit status it waits for; after the first call the program goes
// on without the caller's terminal. Later calls do nothing.
using ReportStatus = std::function<void(int status)>;

// Runs `program` in a child process in a session of its own and returns the status the
// child reports, at once when it reports, or else the status it ends with (128 + N when
// signal N ends it). Once it has reported, the child's standard input, output and error
// are /dev/null, so that nothing waiting on them waits for the child. Call it before the
// process starts any thread.
int runInBackground(const std::function<int(const ReportStatus& report)>& program);

}  // namespace platform
