#include "device/sdl_input.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "device/sdl_haptic.h"

#if defined(__linux__)
#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "device/evdev_layout.h"
#include "device/evdev_reports.h"
#include "device/udev_devices.h"
#endif

namespace kestrane {
namespace {

constexpr int kSampleAxes = 8;  // X, Y, Z, Rx, Ry, Rz, slider 0, slider 1
constexpr int kSampleButtons = 32;
constexpr int kSampleHats = 4;
constexpr std::uint8_t kPressed = 0x80;
static_assert(std::tuple_size_v<decltype(SdlReading::axes)> == kSampleAxes &&
              std::tuple_size_v<decltype(SdlReading::buttons)> == kSampleButtons &&
              std::tuple_size_v<decltype(SdlReading::hats)> == kSampleHats);

// The identifier of the joystick at `index`: its device path where SDL has one (stable while it
// stays plugged in), else its GUID and SDL's instance id, which SDL never reuses while the
// program runs.
std::string IdentifierForIndex(int index) {
  if (const char* path = SDL_JoystickPathForIndex(index); path && *path) return path;
  std::array<char, 33> guid{};
  SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid.data(),
                            static_cast<int>(guid.size()));
  return std::string(guid.data()) + "#" + std::to_string(SDL_JoystickGetDeviceInstanceID(index));
}

int IndexForIdentifier(const std::string& id) {
  const int n = SDL_NumJoysticks();
  for (int i = 0; i < n; ++i) {
    if (IdentifierForIndex(i) == id) return i;
  }
  return -1;
}

int IndexForInstance(SDL_JoystickID instance) {
  const int n = SDL_NumJoysticks();
  for (int i = 0; i < n; ++i) {
    if (SDL_JoystickGetDeviceInstanceID(i) == instance) return i;
  }
  return -1;
}

// Kestrane reads joysticks by polling: motion and button events are not queued at all. Plugging
// and unplugging are counted (DevicesChanged) and taken off the queue on every poll, so the queue
// cannot fill up.
void IgnoreJoystickEvents() {
  for (Uint32 type : {SDL_JOYAXISMOTION, SDL_JOYBALLMOTION, SDL_JOYHATMOTION, SDL_JOYBUTTONDOWN,
                      SDL_JOYBUTTONUP, SDL_JOYBATTERYUPDATED}) {
    SDL_EventState(type, SDL_IGNORE);
  }
}

// Joysticks plugged in or out, as SDL's events told; read and reset by DevicesChanged.
int g_device_events = 0;

// The other joystick events are never queued (IgnoreJoystickEvents).
void FlushJoystickEvents() {
  SDL_Event events[16];
  int n = 0;
  while ((n = SDL_PeepEvents(events, 16, SDL_GETEVENT, SDL_JOYDEVICEADDED, SDL_JOYDEVICEREMOVED)) >
         0) {
    g_device_events += n;
  }
}

#if defined(__linux__)
// Whether another program holds the evdev device grabbed: a grab of our own is then refused
// with EBUSY. Our own grab, when it succeeds, is dropped at once.
bool GrabbedByAnotherProgram(const std::string& path) {
  if (path.rfind("/dev/input/event", 0) != 0) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;  // nothing to learn; SDL's own open has succeeded
  bool grabbed = false;
  if (::ioctl(fd, EVIOCGRAB, 1) == 0) {
    ::ioctl(fd, EVIOCGRAB, 0);
  } else {
    grabbed = errno == EBUSY;
  }
  ::close(fd);
  return grabbed;
}
#endif

class SdlDevice final : public InputDevice {
 public:
  SdlDevice(SDL_Joystick* joystick, std::string path, std::atomic<bool>* moved)
      : joystick_(joystick), path_(std::move(path)), moved_(moved) {
    axes_ = std::clamp(SDL_JoystickNumAxes(joystick_), 0, kSampleAxes);
    buttons_ = std::clamp(SDL_JoystickNumButtons(joystick_), 0, kSampleButtons);
    hats_ = std::clamp(SDL_JoystickNumHats(joystick_), 0, kSampleHats);
    has_haptics_ = SDL_JoystickIsHaptic(joystick_) == 1;
    if (auto driver = OpenSdlHapticDriver(joystick_)) {
      haptics_ = std::make_unique<SdlHapticPort>(std::move(driver));
    }
  }
  SdlDevice(const SdlDevice&) = delete;
  SdlDevice& operator=(const SdlDevice&) = delete;
  ~SdlDevice() override {
#if defined(__linux__)
    reports_.reset();
#endif
    haptics_.reset();
    SDL_JoystickClose(joystick_);
  }

  // Linux: a reader of its own on the stick's event node tells. The virtual stick and sticks
  // without an event node (Windows, SDL's HIDAPI drivers) cannot tell: they are looked at.
  bool WatchReports(std::function<void()> reported) override {
#if defined(__linux__)
    if (moved_ || path_.rfind("/dev/input/event", 0) != 0) return false;
    auto reports = std::make_unique<EvdevReports>(path_, std::move(reported));
    if (!reports->Watching()) return false;
    // The reports' own values, numbered as SDL numbers them, spare a look the round trip through
    // SDL; SDL's reading stays where the numbering cannot be matched.
    EvdevLayoutHints hints;
    hints.axis_dead_zones = SDL_GetHintBoolean(SDL_HINT_LINUX_JOYSTICK_DEADZONES, SDL_FALSE);
    hints.digital_hats = SDL_GetHintBoolean(SDL_HINT_LINUX_DIGITAL_HATS, SDL_FALSE);
    hints.hat_dead_zones = SDL_GetHintBoolean(SDL_HINT_LINUX_HAT_DEADZONES, SDL_TRUE);
    layout_ = LayoutLikeSdl(reports->Caps(), hints);
    if (layout_ &&
        (static_cast<int>(layout_->axes.size()) != SDL_JoystickNumAxes(joystick_) ||
         static_cast<int>(layout_->buttons.size()) != SDL_JoystickNumButtons(joystick_) ||
         static_cast<int>(layout_->hats.size()) != SDL_JoystickNumHats(joystick_))) {
      layout_.reset();
    }
    reports_ = std::move(reports);
    return true;
#else
    (void)reported;
    return false;
#endif
  }

  InputStatus Claim(AccessMode mode) override {
#if defined(__linux__)
    if (mode == AccessMode::Exclusive && GrabbedByAnotherProgram(path_)) return InputStatus::Busy;
#else
    (void)mode;
#endif
    return SDL_JoystickGetAttached(joystick_) ? InputStatus::Ok : InputStatus::DeviceLost;
  }

  InputStatus DisableAutocenter() override {
    if (haptics_) return haptics_->DisableAutocenter() ? InputStatus::Ok : InputStatus::Failed;
    // A force-feedback joystick whose haptic side SDL could not open (often: no write
    // permission on the device) keeps its centring spring: that is a refusal. A joystick
    // without force feedback has no spring to switch off.
    return has_haptics_ ? InputStatus::Failed : InputStatus::Ok;
  }

  void Poll() override {
    Refresh();
    polled_ = true;
  }

  // SDL hands out axes, buttons and hats by number; they are laid out as a StickSample here.
  InputStatus Read(StickSample& sample) override {
    // SDL's state moves only when it is updated: a read without a poll before it refreshes the
    // state itself, so the device also works with polling switched off.
    if (!polled_) Refresh();
    polled_ = false;
    if (gone_ || !SDL_JoystickGetAttached(joystick_)) return InputStatus::DeviceLost;
    if (!updated_) {  // nothing reported since the last read: SDL's state is the same
      sample = last_;
      return InputStatus::Ok;
    }
    updated_ = false;
#if defined(__linux__)
    if (layout_) {
      sample = last_ = SampleFromReading(ReadLikeSdl(*layout_, reports_->Values()));
      return InputStatus::Ok;
    }
#endif
    SdlReading reading;
    for (int i = 0; i < axes_; ++i) reading.AddAxis(SDL_JoystickGetAxis(joystick_, i));
    for (int i = 0; i < buttons_; ++i) reading.AddButton(SDL_JoystickGetButton(joystick_, i));
    for (int i = 0; i < hats_; ++i) reading.AddHat(SDL_JoystickGetHat(joystick_, i));
    sample = last_ = SampleFromReading(reading);
    return InputStatus::Ok;
  }

  HapticPort* Haptics() override {
    return haptics_.get();
  }

 private:
  // Whether the stick reported since the last look; without a way to tell, it always did. The
  // first look always counts: reports may have come before the watching began.
  bool Reported() {
    const bool first = std::exchange(first_look_, false);
    if (moved_) return moved_->exchange(false) || first;
#if defined(__linux__)
    if (reports_ && reports_->Watching()) {
      if (reports_->Gone()) gone_ = true;
      const std::uint64_t seen = reports_->Reports();
      return std::exchange(reports_seen_, seen) != seen || first;
    }
#endif
    return true;
  }

  // Brings SDL's state up to date when the stick reported since the last look. A resting stick
  // costs no call into SDL, whose update polls udev twice.
  void Refresh() {
    if (!Reported()) return;
#if defined(__linux__)
    if (layout_) {  // the report reader has the values; SDL's copy is not needed
      updated_ = true;
      return;
    }
#endif
    SDL_JoystickUpdate();
    FlushJoystickEvents();
    updated_ = true;
  }

  SDL_Joystick* joystick_;
  std::string path_;
  std::atomic<bool>* moved_;  // the virtual stick's: set when it was moved
  bool first_look_ = true;
#if defined(__linux__)
  std::unique_ptr<EvdevReports> reports_;
  std::uint64_t reports_seen_ = 0;
  std::optional<EvdevLayout> layout_;  // set when the reports' own values are read
#endif
  bool gone_ = false;     // its event node said so
  bool updated_ = false;  // SDL's state moved since the last read (the first look says so)
  StickSample last_;      // what the last read gave
  int axes_ = 0;
  int buttons_ = 0;
  int hats_ = 0;
  bool has_haptics_ = false;
  bool polled_ = false;
  std::unique_ptr<SdlHapticPort> haptics_;
};

class SdlVirtualStick final : public VirtualStick {
 public:
  // Attaches the stick; false when SDL refuses.
  bool Attach() {
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_FLIGHT_STICK;
    desc.naxes = kAxes;
    desc.nbuttons = kButtons;
    desc.nhats = 0;
    desc.name = kVirtualStickName;
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index < 0) return false;
    instance_ = SDL_JoystickGetDeviceInstanceID(index);
    // Values can only be set on an opened virtual joystick; this handle shares SDL's object
    // with the device layer's when that opens the stick too.
    joystick_ = SDL_JoystickOpen(index);
    if (!joystick_) {
      SDL_JoystickDetachVirtual(index);
      return false;
    }
    return true;
  }
  void Detach() {
    if (joystick_) SDL_JoystickClose(joystick_);
    joystick_ = nullptr;
    if (const int index = IndexForInstance(instance_); index >= 0) {
      SDL_JoystickDetachVirtual(index);
    }
    instance_ = -1;
  }

  void Unplug() override {
    Detach();
    moved = true;
    if (plugged) plugged();
  }
  bool Plug() override {
    moved = true;
    const bool ok = joystick_ != nullptr || Attach();
    if (plugged) plugged();
    return ok;
  }

  void SetAxis(int axis, std::int32_t value) override {
    if (joystick_ && axis >= 0 && axis < kAxes) {
      SDL_JoystickSetVirtualAxis(joystick_, axis, SdlAxisFromSample(value));
      moved = true;
    }
  }
  void SetButton(int button, bool down) override {
    if (joystick_ && button >= 0 && button < kButtons) {
      SDL_JoystickSetVirtualButton(joystick_, button,
                                   static_cast<Uint8>(down ? SDL_PRESSED : SDL_RELEASED));
      moved = true;
    }
  }
  bool IsInstance(SDL_JoystickID instance) const { return joystick_ && instance == instance_; }

  std::atomic<bool> moved{true};  // set, or plugged in or out, since the device last looked
  std::function<void()> plugged;  // told when it is plugged in or out

 private:
  SDL_Joystick* joystick_ = nullptr;
  SDL_JoystickID instance_ = -1;
};

class SdlPlatform final : public SdlInputPlatform {
 public:
  explicit SdlPlatform(bool virtual_stick) {
    if (virtual_stick) virtual_stick_ = std::make_unique<SdlVirtualStick>();
  }
  SdlPlatform(const SdlPlatform&) = delete;
  SdlPlatform& operator=(const SdlPlatform&) = delete;
  ~SdlPlatform() override { Stop(); }

  // The library is SDL's joystick subsystem (which brings up SDL's event queue); the service is
  // the haptic subsystem, with the virtual stick when asked for.
  InputStart Start() override {
    // A window program handles its own signals; without this SDL would swallow SIGINT/SIGTERM.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // Kestrane's programs keep their own main (SDL_MAIN_HANDLED): SDL is told it may start.
    SDL_SetMainReady();
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return InputStart::LibraryFailed;
    joystick_up_ = true;
    first_look_ = true;
    g_device_events = 0;
    IgnoreJoystickEvents();
    if (SDL_InitSubSystem(SDL_INIT_HAPTIC) != 0) return InputStart::ServiceFailed;
    haptic_up_ = true;
    if (virtual_stick_ && !virtual_stick_->Attach()) return InputStart::ServiceFailed;
    return InputStart::Ok;
  }

  InputStatus List(std::vector<JoystickListEntry>& out) override {
    if (!joystick_up_) return InputStatus::Failed;
    SDL_JoystickUpdate();  // take in joysticks plugged in since the start
    FlushJoystickEvents();
    SDL_LockJoysticks();
    const int n = SDL_NumJoysticks();
    if (n < 0) {
      SDL_UnlockJoysticks();
      return InputStatus::Failed;
    }
    out.clear();
    for (int i = 0; i < n; ++i) {
      JoystickListEntry entry;
      if (const char* name = SDL_JoystickNameForIndex(i)) entry.name = name;
      entry.id = IdentifierForIndex(i);
      out.push_back(std::move(entry));
    }
    SDL_UnlockJoysticks();
    return InputStatus::Ok;
  }

  bool DevicesChanged() override {
    if (!joystick_up_) return false;
    SDL_JoystickUpdate();  // SDL looks for plugged and unplugged sticks here
    FlushJoystickEvents();
    const bool changed = first_look_ || g_device_events > 0;
    first_look_ = false;
    g_device_events = 0;
    return changed;
  }

  // Linux: udev's word; the virtual stick tells of its own plugging.
  bool WatchDevices(std::function<void()> changed) override {
    if (!joystick_up_) return false;
#if defined(__linux__)
    device_watch_ = std::make_unique<UdevDeviceWatch>(changed);
    if (!device_watch_->Watching()) {
      device_watch_.reset();
      return false;
    }
    if (virtual_stick_) virtual_stick_->plugged = std::move(changed);
    return true;
#else
    (void)changed;
    return false;
#endif
  }

  // SDL tells force feedback only of an opened joystick.
  bool ProbeForceFeedback(const std::string& id) override {
    const int index = joystick_up_ ? IndexForIdentifier(id) : -1;
    SDL_Joystick* joystick = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
    if (!joystick) return false;
    const bool haptic = SDL_JoystickIsHaptic(joystick) == 1;
    SDL_JoystickClose(joystick);
    return haptic;
  }

  std::unique_ptr<InputDevice> Open(const std::string& id) override {
    if (!joystick_up_) return nullptr;
    const int index = IndexForIdentifier(id);
    if (index < 0) return nullptr;
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    if (!joystick) return nullptr;
    const char* path = SDL_JoystickPath(joystick);
    std::atomic<bool>* moved = nullptr;
    if (virtual_stick_ && virtual_stick_->IsInstance(SDL_JoystickInstanceID(joystick))) {
      moved = &virtual_stick_->moved;
    }
    return std::make_unique<SdlDevice>(joystick, path ? path : "", moved);
  }

  void Stop() override {
#if defined(__linux__)
    device_watch_.reset();  // nothing is told after this
#endif
    if (virtual_stick_) {
      virtual_stick_->plugged = nullptr;
      virtual_stick_->Detach();
    }
    if (haptic_up_) SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    if (joystick_up_) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    haptic_up_ = joystick_up_ = false;
  }

  VirtualStick* GetVirtualStick() override {
    return virtual_stick_.get();
  }

 private:
  bool joystick_up_ = false;
  bool haptic_up_ = false;
  bool first_look_ = true;
  std::unique_ptr<SdlVirtualStick> virtual_stick_;
#if defined(__linux__)
  std::unique_ptr<UdevDeviceWatch> device_watch_;
#endif
};

}  // namespace

bool VirtualStickRequested() {
  const char* value = std::getenv("KESTRANE_VIRTUAL_STICK");
  return value && std::string(value) == "1";
}

std::int32_t SampleAxisFromSdl(std::int16_t value) {
  if (value == 32767) return 65535;
  return std::max(0, value + 32767);
}

std::int16_t SdlAxisFromSample(std::int32_t value) {
  if (value >= 65535) return 32767;
  return static_cast<std::int16_t>(std::clamp(value - 32767, -32768, 32766));
}

std::uint32_t PovFromSdlHat(std::uint8_t hat) {
  switch (hat) {
    case SDL_HAT_UP:
      return 0;
    case SDL_HAT_RIGHTUP:
      return 4500;
    case SDL_HAT_RIGHT:
      return 9000;
    case SDL_HAT_RIGHTDOWN:
      return 13500;
    case SDL_HAT_DOWN:
      return 18000;
    case SDL_HAT_LEFTDOWN:
      return 22500;
    case SDL_HAT_LEFT:
      return 27000;
    case SDL_HAT_LEFTUP:
      return 31500;
    default:
      return 0xFFFFFFFFu;  // centred, or opposite directions at once
  }
}

StickSample SampleFromReading(const SdlReading& reading) {
  StickSample s;
  std::int32_t* const axes[kSampleAxes] = {&s.X,  &s.Y,  &s.Z,         &s.Rx,
                                           &s.Ry, &s.Rz, &s.Slider[0], &s.Slider[1]};
  for (std::size_t i = 0; i < reading.n_axes; ++i) *axes[i] = SampleAxisFromSdl(reading.axes[i]);
  for (std::size_t i = 0; i < reading.n_buttons; ++i) {
    s.Buttons[i] = reading.buttons[i] ? kPressed : 0;
  }
  for (std::size_t i = 0; i < reading.n_hats; ++i) s.Pov[i] = PovFromSdlHat(reading.hats[i]);
  return s;
}

std::unique_ptr<SdlInputPlatform> CreateSdlInputPlatform(bool virtual_stick) {
  return std::make_unique<SdlPlatform>(virtual_stick);
}

std::unique_ptr<SdlInputPlatform> CreateSdlInputPlatform() {
  return CreateSdlInputPlatform(VirtualStickRequested());
}

}  // namespace kestrane
