// The window's conversions in a process of their own (quillory-view-helper): Markdown files
// in, pages or the reasons for none out.
#pragma once

namespace viewer {

// Serves requests on `socket` until the other end closes it: each request names a file by
// its absolute path, with the options its page is made with; each answer is its outcome, in the
// order asked. From the first request on, the process can read only that file's directory
// and the resources, and write, connect to and run nothing. With `warm`, every converting
// thread first builds a page of its own, and should the threads then not all be confined,
// the process ends with status 1 before it answers.
int serveConversions(int socket, bool warm = false);

}  // namespace viewer
