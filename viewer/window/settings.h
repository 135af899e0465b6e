// What the window remembers for its user: whether pages get the GitHub extras.
#pragma once

namespace viewer {

// From the user's settings file ($XDG_CONFIG_HOME/quillory/viewer.conf); off when the file
// or the setting is missing or unreadable.
bool githubExtrasRemembered();

// Writes the setting to that file, keeping whatever else it holds; a file that cannot be
// written is reported on standard error and the window goes on with the setting.
void rememberGithubExtras(bool wanted);

}  // namespace viewer
