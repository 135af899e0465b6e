// A program that answers its caller early and carries on in the background.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Runs `program` in a child process in a session of its own and returns the status that
// the child, or a program it executes, which inherits `statusPipe`, reports through
// reportStatus (writing the message that comes with it to standard error); or, when the
// pipe closes without one, the status the child ends with (128 + N when signal N ends
// it). Call it before the process starts any thread.
int runInBackground(const std::function<int(int statusPipe)>& program);

// For a program in the background: points standard input, output and error at /dev/null,
// so that nothing waiting on the caller's terminal or pipes waits for this process or
// for any process it starts, and keeps `statusPipe` from the processes it starts.
void detachFromCaller(int statusPipe);

// Tells the caller of runInBackground `status`, with `message` for its standard error.
// Only the first call on a pipe (set to -1 then) does anything.
void reportStatus(int& statusPipe, int status, const std::string& message);

}  // namespace platform
