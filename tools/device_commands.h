#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrane {

struct RecordOptions {
  std::optional<std::string> joystick;  // default: the first joystick
  std::int32_t interval_ms = 25;
  std::optional<std::int64_t> ticks;  // default: until interrupted
};

// Returns the empty text on success, else what is wrong with the arguments.
std::string ParseRecordOptions(const std::vector<std::string>& args, RecordOptions& out);

// `kestrane-cli devices`: one line per attached joystick, in the platform's order:
// index, name, identifier and "yes"/"no" for force feedback, separated by tabs.
int DevicesCommand(const std::vector<std::string>& args);

// `kestrane-cli record [--joystick NAME] [--interval MS] [--ticks N]`: writes a stick trace of
// the chosen joystick to standard output, one line per tick, until N ticks or an interrupt.
int RecordCommand(const std::vector<std::string>& args);

// `kestrane-cli ff-test [--joystick NAME] [--settings FILE]`: the force-feedback direction test
// in a terminal: plays each step's spring, asks on standard output and reads the answers from
// standard input. Passed with FILE, the result is saved there. 0 when both axes were decided.
int FfTestCommand(const std::vector<std::string>& args);

}  // namespace kestrane
