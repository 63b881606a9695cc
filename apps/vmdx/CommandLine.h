// The convention every vmdx command follows, in one place:
//  - `--help` prints the command's usage and options on standard output and exits 0;
//  - an unknown option, a missing or bad value prints what is wrong and the usage line on
//    standard error and exits 2;
//  - a runtime failure prints one line "vmdx <command>: <what failed>: <its deepest cause>" on
//    standard error and exits 1 (the framework's own lines appear only with --verbose);
//  - `-` as the input reads a Y4M stream from standard input, `--out -` writes one to standard
//    output, which then carries nothing else; progress and messages go to standard error;
//  - standard input, output and error are binary, so streams pass unchanged.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "VarnicaCore.h"

namespace vmdxtool {

enum ExitCode : int { kExitSuccess = 0, kExitFailure = 1, kExitUsage = 2 };

class CommandLine {
 public:
  // usage: what follows "vmdx <command>" on the usage line; details: the option list of --help.
  CommandLine(const char* command, const char* usage, const char* details);

  void Flag(const char* name, bool* value);
  // accept returns false for a bad value; valueHint names the expected values in the complaint.
  void Value(const char* name, std::string valueHint, std::function<bool(const std::string&)> accept);
  void Text(const char* name, std::string* value);
  void Integer(const char* name, int64_t* value, int64_t min, int64_t max);
  // The one argument that is not an option (an input); none when not declared.
  void Input(std::string* value);

  // -1 to go on; otherwise the exit code to return now (after --help or a usage error).
  int Parse(int argc, char** argv);
  // Prints "vmdx <command>: <text>" and the usage line on standard error; returns kExitUsage.
  int UsageError(const std::string& text) const;
  // Prints "vmdx <command>: <text>" on standard error; returns kExitFailure.
  int Failure(const std::string& text) const;

  const char* command() const { return command_; }
  // --verbose: the framework's and the module's lines go to standard error as they come.
  bool verbose() const { return verbose_; }

 private:
  struct Option {
    std::string name;
    std::string hint;  // empty for a flag
    std::function<bool(const std::string&)> accept;
  };
  const char* command_;
  const char* usage_;
  const char* details_;
  std::vector<Option> options_;
  std::string* input_ = nullptr;
  bool verbose_ = false;
};

// Standard input, output and error in binary mode (the C runtime opens them in text mode).
void UseBinaryStandardStreams();

// The framework's lines while a command runs: on standard error with --verbose, otherwise kept
// in memory, so that a failure can be told in one line naming its deepest cause.
class FrameworkMessages {
 public:
  explicit FrameworkMessages(bool verbose);
  ~FrameworkMessages();
  FrameworkMessages(const FrameworkMessages&) = delete;
  FrameworkMessages& operator=(const FrameworkMessages&) = delete;

  // The text of the first failure reported with code since the last Clear (the innermost one:
  // guards report inside out); empty when none was.
  std::string CauseOf(HRESULT code) const;
  // Forgets the lines kept so far (long runs keep nothing).
  void Clear();
};

// "0x80070002"
std::string HrText(HRESULT hr);
// "<what> failed (0x...): <cause>" with the cause from messages, when there is one.
std::string Failed(const std::string& what, HRESULT hr, const FrameworkMessages& messages);

}  // namespace vmdxtool
