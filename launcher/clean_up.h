// The last stage of every run: back to the directory of before, the
// installer's deletion lists, and the extraction directory itself.
#pragma once

#include <string>

namespace launcher {

bool CleanUp();
// Removes the paths listed in directory/to_be_deleted, then the list.
void ProcessDeleteList(const std::string& directory);
// Removes a directory tree (true when the directory is gone at the end) or
// deletes a file or a symbolic link (false). Links are never followed.
bool RemoveTree(const std::string& path);
// Deletes a file (150 attempts, 2 s after a sharing violation) or removes
// an empty directory (3 attempts, 1 s).
bool DeleteWithRetry(const std::string& path, bool is_directory);

}  // namespace launcher
