// A failure that ends the installation, with the exit code it gives.
#pragma once

#include <stdexcept>
#include <string>

namespace qelinst {

// Exit codes of the demo installer (0 is success).
inline constexpr int EXIT_BAD_ARGUMENTS = 1;
inline constexpr int EXIT_BAD_ANSWER_FILE = 2;
inline constexpr int EXIT_BAD_TARGET = 3;
inline constexpr int EXIT_COPY_FAILED = 4;
inline constexpr int EXIT_CANCELLED = 5;
inline constexpr int EXIT_REGISTRATION_FAILED = 6;

class InstallError : public std::runtime_error {
 public:
  InstallError(int exit_code, const std::string& message) : std::runtime_error(message), exit_code_(exit_code) {}
  int exit_code() const { return exit_code_; }

 private:
  int exit_code_;
};

}  // namespace qelinst
