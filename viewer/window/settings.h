// What the window remembers for its user: whether pages get the GitHub extras, and whether
// windows show the outline.
#pragma once

#include <string>

namespace viewer {

// From the user's settings file ($XDG_CONFIG_HOME/quillory/viewer.conf), read only when it
// is a regular file, without waiting; on when the file or the setting is missing or
// unreadable. Anything but a regular file there is said once on standard error.
bool githubExtrasRemembered();

// Writes the setting to that file, keeping whatever else it holds; a file that cannot be
// written is reported on standard error and the window goes on with the setting.
void rememberGithubExtras(bool wanted);

// Whether windows show their outline (off when not set), read and written as the extras are.
bool outlineRemembered();
void rememberOutline(bool shown);

// Why the user's configuration directory cannot be used, when it is there but not a
// directory ("$XDG_CONFIG_HOME DIR: Not a directory"); empty otherwise.
std::string configDirectoryProblem();

}  // namespace viewer
