// The Windows folder of the design ("c:\windows\"): the folder "Brenvolta"
// under the user's configuration folder, made on first use. The settings
// file, the device-sharing file, the info file, the arrangement database and
// the MIDI device locks live there.
#pragma once

#include <string>

// The folder's path, without a trailing separator. Made on first use (a
// failure to make it is left for the file calls to report).
std::string WinFolder();
// The same path without making the folder (a query that must not create it).
std::string WinFolderPath();
// WinFolder() + "/" + name.
std::string WinPath(const std::string& name);
// Points the folder elsewhere (tests); an empty path returns to the default.
void SetWinFolder(const std::string& path);
