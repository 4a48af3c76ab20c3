// The last stage of every run: back to the directory of before, the
// installer's deletion lists, and the extraction directory itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace launcher {

// The time clean-up waits in all for files that others still hold open
// (a VM that is still ending, say): three minutes, shared by every held
// file. Once it is spent a held file is given up at its first sharing
// violation, and reported as left behind.
inline constexpr uint64_t kHeldFileBudgetMs = 3 * 60 * 1000;

// Ends with a report of what could not be removed (stderr, or a box in
// graphical mode); it changes no exit code.
bool CleanUp();
// Removes the paths listed in directory/to_be_deleted, then the list.
void ProcessDeleteList(const std::string& directory);
// The paths of a deletion list's text: one a line, CR and LF removed, empty
// lines skipped, a line longer than 1,023 characters taken as several.
std::vector<std::string> SplitDeleteList(const std::string& content);
// The path a list line names, as the system would take it, decided from
// its text alone: absolute, "." and ".." resolved as Windows does (so
// "link/.." is the directory that holds link), no trailing separator (so
// "link/" and "link/." name the link itself, which is removed, never
// followed). False, and noted as left behind, for a volume's root.
bool ListedPath(const std::string& line, std::string& path);
// Removes a directory tree, a file or a link (the link itself, never what
// it points to), through held directories and without leaving the volume:
// files 150 attempts, 2 s after a sharing violation; emptied directories 3
// attempts, 1 s; the pauses come out of the shared budget. True when the
// path is gone at the end; what stays is noted for the report.
bool RemoveTree(const std::string& path);

}  // namespace launcher
