// The name the launcher and the window's instance meet under on the session bus.
#pragma once

namespace viewer {

// Set in desktop entries, D-Bus service files and AppStream metadata alike.
constexpr const char* kApplicationId = "org.quillory.Viewer";

}  // namespace viewer
