// The .jar file association, removed when it opens jar files with the
// product's own javaw.
#pragma once

#include <string>
#include <vector>

// The command that the association would hold for a product installed in
// `install_dir`: the quoted path of its bin\javaw.exe.
std::string ProductJavawCommand(const std::string& install_dir);

// Deletes HKEY_CLASSES_ROOT jarfile\shell\open\command, jarfile\shell\open,
// jarfile\shell, jarfile and .jar (single-key deletions, in that order) when
// the open command starts with the product's quoted javaw path followed by
// a blank. Any other command, or none, leaves the association alone. A key
// that was to go and stays is noted in `not_removed`.
void RemoveJarAssociation(const std::string& install_dir, std::vector<std::string>& not_removed);
