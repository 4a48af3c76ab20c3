// The installer: nested archives, its command line built entry by entry
// from the configured command and the launcher's own arguments, and the
// child process the launcher waits for.
#pragma once

#include <string>
#include <vector>

namespace launcher {

// The installer's exit code; -1 when it cannot be started; 0 when nothing
// was started (cancelled, or the nested archives do not fit).
int LaunchInstaller();
// True to go on, false when the nested archives do not fit or their target
// lies outside the extraction directory (launch_refused is set then).
bool ExtractNestedArchives();
// True when `target`, taken against the current directory (the extraction
// directory), is the extraction directory or lies below it, with no link
// on the way.
bool NestedTargetInside(const std::string& target);

// The configured command split by the C runtime's rules.
std::vector<std::string> SplitCommandLine(const std::string& text);
// The argument in double quotes when it holds a blank or a tab.
std::string QuoteIfBlank(const std::string& argument);
// The program as given when it exists, else the first PATH directory that
// holds it joined with the name; false when neither.
bool LocateProgram(const std::string& name, std::string& result);
// The installer's argument vector: (launcher arguments + configured ones +
// 1) entries, the unfilled tail empty. Strips one trailing separator from
// temp_base, as the installer expects a directory without one.
std::vector<std::string> BuildInstallerArguments(const std::vector<std::string>& configured);
// Joins the non-empty entries with single blanks.
std::string JoinCommandLine(const std::vector<std::string>& entries);
// Starts the joined command line in the current directory and waits for it
// without a time limit: its exit code, or -1 when it cannot be started.
int RunAndWait(const std::vector<std::string>& entries);

}  // namespace launcher
