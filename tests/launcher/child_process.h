// The launcher tests' own main: started with QEL_CHILD_OUT set, the test
// binary plays the installer instead of running tests. It writes its
// current directory and its arguments (one per line) to that file and
// exits with QEL_CHILD_EXIT (a number; "hold:<path>" first keeps that file
// open for a moment on systems that lock open files).
#pragma once

#include <string>

namespace launcher_test {

// This test binary's own path.
std::string SelfPath();

// More for the child to do once its report is written, set by a test file
// of its own (from a static initialiser). True when it took over: the
// child then exits with `exit_code`.
extern bool (*g_child_after_report)(int& exit_code);

}  // namespace launcher_test
