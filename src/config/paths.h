// Where files live: Windows-style paths of the installation mapped onto this machine.
//
// "\" becomes "/"; the fixed folder "C:\ORVO" is $TARVEL_ORVO_ROOT (default /opt/ORVO); relative
// paths stay relative to the working directory. Existing files are found without regard to case,
// as on the original file system; new files get the spelling they were asked for. Nothing here
// changes the process's current directory.
#pragma once

#include <filesystem>
#include <string_view>

namespace tarvel::config {

// The folder that stands for "C:\ORVO".
std::filesystem::path OrvoRoot();

// "C:\ORVO\Data\FIBSystem.INI" -> <OrvoRoot>/Data/FIBSystem.INI; "..\Data" -> "../Data".
std::filesystem::path NativePath(std::string_view windowsPath);

// The path to open for an existing file: `p` itself when it exists, otherwise the one entry of
// its folder whose name matches ignoring case (each folder component is matched the same way);
// `p` unchanged when there is none, so a new file is created with the asked-for spelling.
std::filesystem::path ResolveCaseInsensitive(const std::filesystem::path& p);

}  // namespace tarvel::config
