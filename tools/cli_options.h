#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/setting_keys.h"

namespace kestrane {

struct ReplayOptions {
  std::optional<std::string> settings_file;
  std::vector<std::string> overrides;  // KEY=VALUE, in order
  bool inject = false;
  std::optional<double> delay_seconds;  // --delay: the wait before --inject's first key
  bool jsonl = false;
  std::string trace = "-";
};

struct SettingsOptions {
  std::string file;
  std::vector<std::string> overrides;
  bool save = false;
  std::optional<std::string> joystick;  // absent: the file's JOYSTICK stays
};

// Takes the value of the option `name` given at args[i] as "--name VALUE" or "--name=VALUE"
// (advancing i past a separate value). False when args[i] is another option; a missing value
// sets `error`.
bool TakeOptionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                     std::string& value, std::string& error);

// A wait given on the command line: seconds, 0 or more (at most a day), with or without a
// fraction. False for anything else.
bool ParseSeconds(const std::string& text, double& seconds);

// Each returns the empty text on success, else what is wrong with the arguments.
std::string ParseReplayOptions(const std::vector<std::string>& args, ReplayOptions& out);
std::string ParseSettingsOptions(const std::vector<std::string>& args, SettingsOptions& out);

// Applies KEY=VALUE overrides of section MAIN or KEYBOARD in order, each value read exactly as the
// settings file's value would be. Returns the empty text, or the message for an unknown key.
std::string ApplyOverrides(const std::vector<std::string>& overrides, Settings& settings,
                           IntervalTimer& timer, std::string& joystick);

}  // namespace kestrane
