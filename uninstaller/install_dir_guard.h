// The last check before anything is removed: a damaged or hostile record
// must not turn the tree removal into the removal of a disk or a home.
#pragma once

#include <string>

// True when `install_dir` names a file-system root (POSIX "/" or a mount
// point), a drive root ("C:", "C:\"), a network share's root, the user's
// home directory or a directory that contains it.
bool IsUnsafeInstallDir(const std::string& install_dir);
