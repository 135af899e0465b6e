// The window's conversions in a process of their own (quillory-view-instance
// --conversion-helper): Markdown files in, pages or the reasons for none out.
#pragma once

#include <string>

#include "preview/page_request.h"

namespace viewer {

// Serves requests on `socket` until the other end closes it: each request is the absolute
// path of a file, each answer its outcome, in the order asked. From the first request on,
// the process can read only that file's directory and the resources, and write, connect
// to and run nothing.
int serveConversions(int socket);

// The outcome as it crosses between the processes, and back.
std::string encodeOutcome(const quillory::PageOutcome& outcome);
quillory::PageOutcome decodeOutcome(std::string message);

}  // namespace viewer
