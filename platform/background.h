// A program that answers its caller early and carries on in the background.
#pragma once

#include <functional>

namespace platform {

// Runs `program` in a child process in a session of its own and returns the status that
// the child (or a program it executes, which inherits `statusPipe`) reports through
// reportStatus: at once when it reports, or else the status it ends with (128 + N when
// signal N ends it). Call it before the process starts any thread.
int runInBackground(const std::function<int(int statusPipe)>& program);

// Tells the caller of runInBackground `status`, then points standard input, output and
// error at /dev/null, so that nothing waiting on them waits for this process, which goes
// on in the background. Only the first call on a pipe (set to -1 then) does anything.
void reportStatus(int& statusPipe, int status);

}  // namespace platform
