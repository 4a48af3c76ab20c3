// Choosing the base temporary directory, checking its free space, and
// making a fresh "sfx" directory in it the current directory.
#pragma once

#include <cstdint>
#include <string>

namespace launcher {

// True when extraction_dir exists, is empty and is the current directory.
bool PrepareExtractionDirectory();
// True when the path is not empty and names a directory.
bool DirectoryExists(const std::string& path);
// The graphical folder choice; false when the user chose nothing usable.
bool BrowseForExtractionDirectory(std::string& result);

// Free space for the caller on the volume of `path`; a query that fails
// counts as no space, so nothing is extracted onto a volume we cannot judge.
uint64_t FreeSpace(const std::string& path);

}  // namespace launcher
