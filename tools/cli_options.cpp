#include "tools/cli_options.h"

#include "config/profile_file.h"
#include "config/setting_keys.h"
#include "config/setting_number.h"
#include "core/messages.h"

namespace kestrane {
bool TakeOptionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                     std::string& value, std::string& error) {
  const std::string& arg = args[i];
  if (arg == name) {
    if (i + 1 >= args.size()) {
      error = name + " needs a value";
      return true;
    }
    value = args[++i];
    return true;
  }
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    return true;
  }
  return false;
}

bool ParseSeconds(const std::string& text, double& seconds) {
  // Digits, at most one point, nothing else: no sign, exponent, "inf" or "nan".
  if (text.empty() || text.size() > 12 || text == ".") return false;
  if (text.find_first_not_of("0123456789.") != std::string::npos) return false;
  if (text.find('.') != text.rfind('.')) return false;
  seconds = std::stod(text);
  return seconds <= 86400;
}

std::string ParseReplayOptions(const std::vector<std::string>& args, ReplayOptions& out) {
  bool have_trace = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value, error;
    if (TakeOptionValue(args, i, "--settings", value, error)) {
      if (!error.empty()) return error;
      out.settings_file = value;
    } else if (TakeOptionValue(args, i, "--set", value, error)) {
      if (!error.empty()) return error;
      out.overrides.push_back(value);
    } else if (arg == "--inject") {
      out.inject = true;
    } else if (TakeOptionValue(args, i, "--delay", value, error)) {
      if (!error.empty()) return error;
      double seconds = 0;
      if (!ParseSeconds(value, seconds)) {
        return "--delay needs a number of seconds from 0 to 86400, not '" + EscapeControls(value) +
               "'";
      }
      out.delay_seconds = seconds;
    } else if (arg == "--jsonl") {
      out.jsonl = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option '" + EscapeControls(arg) + "'";
    } else {
      if (have_trace) return "more than one trace given";
      out.trace = arg;
      have_trace = true;
    }
  }
  if (out.delay_seconds && !out.inject) return "--delay is the wait of --inject";
  return {};
}

std::string ParseSettingsOptions(const std::vector<std::string>& args, SettingsOptions& out) {
  bool have_file = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value, error;
    if (TakeOptionValue(args, i, "--set", value, error)) {
      if (!error.empty()) return error;
      out.overrides.push_back(value);
    } else if (TakeOptionValue(args, i, "--joystick", value, error)) {
      if (!error.empty()) return error;
      out.joystick = value;
    } else if (arg == "--save") {
      out.save = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return "unknown option '" + EscapeControls(arg) + "'";
    } else {
      if (have_file) return "more than one settings file given";
      out.file = arg;
      have_file = true;
    }
  }
  if (!have_file) return "no settings file given";
  return {};
}

std::string ApplyOverrides(const std::vector<std::string>& overrides, Settings& settings,
                           IntervalTimer& timer, std::string& joystick) {
  for (const std::string& item : overrides) {
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) return "--set needs KEY=VALUE, got '" + EscapeControls(item) + "'";
    const std::string name = item.substr(0, eq);
    const SettingKey* key = FindSettingKey(name);
    if (!key) return "unknown settings key '" + EscapeControls(name) + "'";
    // Read the value the way the settings file's reader sees it: trimmed, at most 2047 characters.
    const std::string text = ProfileFile::ValueText(std::string_view(item).substr(eq + 1));
    switch (key->kind) {
      case SettingKey::Kind::Sequence:
        settings.SetSequence(text);
        break;
      case SettingKey::Kind::Joystick:
        joystick = text;
        break;
      case SettingKey::Kind::Text:
        settings.FF_TESTED_STICK = text;
        break;
      case SettingKey::Kind::Interval:
        timer.SetInterval(
            static_cast<std::uint32_t>(ParseSettingNumber(text).value_or(key->default_value)));
        break;
      default:
        SetSettingInt(settings, *key, ParseSettingNumber(text).value_or(key->default_value));
        break;
    }
  }
  return {};
}

}  // namespace kestrane
