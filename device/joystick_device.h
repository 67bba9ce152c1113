#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/effects.h"
#include "core/messages.h"
#include "core/polling_cycle.h"
#include "core/settings.h"
#include "core/shift_state.h"
#include "core/stick_sample.h"
#include "device/input_platform.h"

namespace kestrane {

// The program's one road to the game controller: brings up the input service, lists the
// attached joysticks, opens the chosen one with its force-feedback effects and reads it on
// every tick. The platform, the sink and the effects must outlive it.
class JoystickDevice final {
 public:
  JoystickDevice(InputPlatform& platform, MessageSink& messages, ForceFeedback& effects);
  JoystickDevice(const JoystickDevice&) = delete;
  JoystickDevice& operator=(const JoystickDevice&) = delete;
  ~JoystickDevice();

  // Brings up the input service. False after its message: the program must end with exit
  // status -1.
  bool StartInput();
  // Fills the device list, opening no device. False after "Can't enumerate devices": end with -1.
  bool ListJoysticks();
  // Fills in force_feedback for every entry of the list (opens each for a moment: only on request).
  void ProbeForceFeedback();
  const std::vector<JoystickListEntry>& List() const { return list_; }

  int Selection() const { return selection_; }  // -1: none
  void SetSelection(int index);
  // First step of choosing the saved joystick: the first entry whose text equals `name` as a
  // whole, without regard to letter case; -1 when none does.
  void SelectSavedJoystickByName(const std::string& name);
  // Second step: entry 0 when nothing is selected and the list is not empty.
  void SelectFirstIfNone();

  // Opens and claims the selected joystick, switches its autocentre off (with force feedback) and
  // builds the effects on it. A stick with force feedback but no spring effect keeps its own
  // centring and gets no effects; the first time, a message says so. After a false result the
  // caller calls CloseJoystick().
  bool OpenJoystick(const Settings& settings, ShiftState& state);
  // Releases the effects, then the device. Harmless when nothing is open.
  void CloseJoystick();

  // A stick that went away: closes it and remembers it (identifier and name) for Reconnect.
  void LoseJoystick();
  // While waiting (LoseJoystick, AwaitJoystick, AwaitAnyJoystick): lists the joysticks again and
  // opens the awaited one as OpenJoystick does, without messages: the lost identifier at once,
  // the same name only `by_name` (a stick lost by identifier may have a twin), or, awaiting any,
  // the first. True once one is open.
  bool Reconnect(const Settings& settings, ShiftState& state, bool by_name = true);
  bool Lost() const { return !lost_name_.empty() || !lost_id_.empty() || await_any_; }
  // Whether a stick is awaited by the identifier it had when it went away.
  bool LostByIdentifier() const { return !lost_id_.empty(); }
  const std::string& LostName() const { return lost_name_; }
  // At start, a remembered stick that is not attached: waited for as a lost one (Reconnect), with
  // nothing opened in its place.
  void AwaitJoystick(const std::string& name);
  // At start, no stick at all and none remembered: the first one plugged in is opened.
  void AwaitAnyJoystick();
  // Whether any stick was opened since the start.
  bool WasOpened() const { return was_opened_; }

  bool IsJoystickOpen() const { return device_ != nullptr; }
  // The open joystick for the poll step; nullptr while none is open.
  InputDevice* OpenDevice() const { return device_.get(); }

  // CloseJoystick, then shuts the input platform down.
  void StopInput();

  // Identifier of the last joystick opened successfully (kept by CloseJoystick).
  const std::string& OpenDeviceId() const { return open_device_id_; }

 private:
  void Say(const std::string& text);

  InputPlatform& platform_;
  MessageSink& messages_;
  ForceFeedback& effects_;
  bool started_ = false;
  std::vector<JoystickListEntry> list_;
  int selection_ = -1;
  std::unique_ptr<InputDevice> device_;
  std::string open_device_id_;
  std::string lost_id_, lost_name_;
  bool was_opened_ = false;
  bool await_any_ = false;
  bool quiet_ = false;                     // reconnecting: failures are not shown
  std::set<std::string> told_no_springs_;  // identifiers of sticks said to have no springs
};

}  // namespace kestrane
