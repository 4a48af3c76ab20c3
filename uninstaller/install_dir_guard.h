// The last check before anything is removed: a damaged or hostile record
// must not turn the tree removal into the removal of a disk, a home or the
// system's own directories.
#pragma once

#include <string>

// True when `directory` names a file-system root (POSIX "/" or a mount
// point), a drive root ("C:", "C:\"), a network share's root, the user's
// home directory, a system directory of the platform (POSIX: /usr, /etc,
// /var/lib, ...; Windows: the Windows and program-files directories, the
// profiles and the temporary directory, from the environment), or a
// directory that contains one of them.
bool IsProtectedDirectory(const std::string& directory);
