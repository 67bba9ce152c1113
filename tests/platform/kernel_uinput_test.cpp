// The virtual keyboard and the virtual H-shifter made through the real libevdev path on a fake
// /dev/uinput (tests/support/fake_kernel.h): how each device is set up, the exact events of a gear
// change, the device going away at close, and the messages when /dev/uinput is missing or
// refuses.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/version.h"
#include "fake_kernel.h"
#include "platform/key_table.h"
#include "platform/system_keyboard.h"
#include "platform/system_shifter.h"
#include "platform/uinput/event_writer.h"
#include "platform/uinput/uinput_keyboard.h"
#include "platform/uinput/uinput_shifter.h"
#include "tests/support/recording_messages.h"

namespace kestrane {
namespace {

using test::FakeKernel;
using test::FakeUinputDevice;

struct Ev {
  std::uint16_t type, code;
  std::int32_t value;
  friend bool operator==(const Ev&, const Ev&) = default;
  friend std::ostream& operator<<(std::ostream& o, const Ev& e) {
    return o << "{" << e.type << "," << e.code << "," << e.value << "}";
  }
};
std::vector<Ev> Events(const FakeUinputDevice& d) {
  std::vector<Ev> out;
  for (const input_event& e : d.events) out.push_back({e.type, e.code, e.value});
  return out;
}
constexpr Ev kSyn{EV_SYN, SYN_REPORT, 0};

class KernelUinputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRANE_NEED_FAKE_KERNEL();
    // Without a node of the fake's, the machine's own /dev/uinput would be used.
    real_uinput_ = ::access("/dev/uinput", F_OK) == 0;
    kernel = std::make_unique<FakeKernel>();
  }
  // The system keyboard with uinput output asked for.
  std::unique_ptr<KeySink> OpenUinputKeyboard(std::string& problem) {
    ::setenv("KESTRANE_KEY_OUTPUT", "uinput", 1);
    auto keyboard = OpenSystemKeyboard(problem, report);
    ::unsetenv("KESTRANE_KEY_OUTPUT");
    return keyboard;
  }
  std::unique_ptr<FakeKernel> kernel;
  test::RecordingMessages report;
  bool real_uinput_ = false;
};

TEST_F(KernelUinputTest, TheKeyboardIsSetUpAndTypesThroughTheKernel) {
  test::FakeUinput& uinput = kernel->AddUinput();
  std::string problem;
  auto keyboard = OpenUinputKeyboard(problem);
  ASSERT_TRUE(problem.empty()) << problem;
  ASSERT_EQ(uinput.Devices().size(), 1u);
  FakeUinputDevice d = uinput.Devices()[0];
  EXPECT_TRUE(d.created);
  EXPECT_STREQ(d.setup.name, "Kestrane virtual keyboard");
  EXPECT_EQ(d.setup.id.bustype, BUS_VIRTUAL);
  EXPECT_TRUE(d.event_types.count(EV_KEY));
  EXPECT_FALSE(d.event_types.count(EV_ABS));
  EXPECT_TRUE(d.abs_codes.empty());
  // Every key Kestrane can type, and every code a plain scan code stands for.
  for (const KeyInfo& k : AllKeys()) EXPECT_TRUE(d.keys.count(k.evdev)) << k.evdev;
  for (int code = KEY_ESC; code <= KEY_F12; ++code) EXPECT_TRUE(d.keys.count(code)) << code;

  // "1" by its scan code, then Page Up, an extended key.
  keyboard->KeyEvent({0x31, 0x02}, true);
  keyboard->KeyEvent({0x31, 0x02}, false);
  keyboard->KeyEvent({0x21, 0x49}, true);
  keyboard.reset();  // lets go of Page Up and destroys the device
  d = uinput.Devices()[0];
  EXPECT_EQ(Events(d), (std::vector<Ev>{{EV_KEY, KEY_1, 1},
                                        kSyn,
                                        {EV_KEY, KEY_1, 0},
                                        kSyn,
                                        {EV_KEY, KEY_PAGEUP, 1},
                                        kSyn,
                                        {EV_KEY, KEY_PAGEUP, 0},
                                        kSyn}));
  EXPECT_EQ(d.writes, 4u);  // a report is one system call
  EXPECT_TRUE(d.destroyed);
}

TEST_F(KernelUinputTest, TheShifterIsSetUpAndSendsEachGearChangeAsOneReport) {
  test::FakeUinput& uinput = kernel->AddUinput();
  std::string problem;
  auto shifter = OpenSystemShifter(problem, report);
  ASSERT_TRUE(shifter) << problem;
  ASSERT_EQ(uinput.Devices().size(), 1u);
  FakeUinputDevice d = uinput.Devices()[0];
  EXPECT_STREQ(d.setup.name, "Kestrane H-shifter");
  EXPECT_EQ(d.setup.id.bustype, BUS_VIRTUAL);
  EXPECT_EQ(d.event_types, (std::set<int>{EV_SYN, EV_KEY, EV_ABS}));
  EXPECT_EQ(d.keys, (std::set<int>{BTN_TRIGGER, BTN_THUMB, BTN_THUMB2, BTN_TOP, BTN_TOP2,
                                   BTN_PINKIE, BTN_BASE, BTN_BASE2}));
  EXPECT_EQ(d.abs_codes, (std::set<int>{ABS_X, ABS_Y}));
  for (int code : {ABS_X, ABS_Y}) {
    EXPECT_EQ(d.abs[code].minimum, -32768) << code;
    EXPECT_EQ(d.abs[code].maximum, 32767) << code;
  }

  shifter->SetGearButton(1);  // first gear
  shifter->SetGearButton(1);  // held: nothing
  shifter->SetGearButton(3);  // third
  shifter->SetGearButton(8);  // reverse
  shifter.reset();            // at close: let go, then the device goes
  d = uinput.Devices()[0];
  EXPECT_EQ(Events(d), (std::vector<Ev>{{EV_KEY, BTN_TRIGGER, 1},
                                        kSyn,
                                        {EV_KEY, BTN_TRIGGER, 0},
                                        {EV_KEY, BTN_THUMB2, 1},
                                        kSyn,
                                        {EV_KEY, BTN_THUMB2, 0},
                                        {EV_KEY, BTN_BASE2, 1},
                                        kSyn,
                                        {EV_KEY, BTN_BASE2, 0},
                                        kSyn}));
  EXPECT_EQ(d.writes, 4u);
  EXPECT_TRUE(d.destroyed);
}

// What udev's input_id builtin (systemd 252) decides from a device's keys and axes, for the
// devices Kestrane makes (no relative axes, touch, pen or properties).
struct UdevClass {
  bool joystick, keyboard;
};
UdevClass ClassifyAsUdev(const std::set<int>& keys, const std::set<int>& abs) {
  int buttons = 0, axes = 0;
  if (!keys.count(BTN_JOYSTICK - 1)) {
    for (int b = BTN_JOYSTICK; b < BTN_DIGI; ++b) buttons += static_cast<int>(keys.count(b));
    for (int b = BTN_TRIGGER_HAPPY1; b <= BTN_TRIGGER_HAPPY40; ++b)
      buttons += static_cast<int>(keys.count(b));
    for (int b = BTN_DPAD_UP; b <= BTN_DPAD_RIGHT; ++b) buttons += static_cast<int>(keys.count(b));
  }
  for (int a = ABS_RX; a < ABS_PRESSURE; ++a) axes += static_cast<int>(abs.count(a));
  bool mouse_button = false;
  for (int b = BTN_MOUSE; b < BTN_JOYSTICK; ++b) mouse_button = mouse_button || keys.count(b);
  const bool coordinates = abs.count(ABS_X) && abs.count(ABS_Y);
  const bool touch = keys.count(BTN_TOUCH) || keys.count(BTN_STYLUS) || keys.count(BTN_TOOL_PEN) ||
                     keys.count(BTN_TOOL_FINGER);
  bool joystick = (buttons > 0 || axes > 0) && !(coordinates && (touch || mouse_button));
  int keyboard_keys = 0;  // a keyboard with a few joystick buttons is still a keyboard
  for (int k : {KEY_LEFTCTRL, KEY_CAPSLOCK, KEY_NUMLOCK, KEY_INSERT, KEY_MUTE, KEY_CALC, KEY_FILE,
                KEY_MAIL, KEY_PLAYPAUSE, KEY_BRIGHTNESSDOWN}) {
    keyboard_keys += static_cast<int>(keys.count(k));
  }
  if (keyboard_keys >= 4 || buttons + axes < 2) joystick = false;
  bool keyboard = true;  // every key from Esc to S
  for (int k = 1; k <= 31; ++k) keyboard = keyboard && keys.count(k);
  return {joystick, keyboard};
}

// Each virtual device has an identity of its own (not zero, which some games skip), the
// release of Kestrane's major version, and udev files it as what it is.
TEST_F(KernelUinputTest, EachDeviceHasItsOwnIdentityAndUdevTellsWhatItIs) {
  test::FakeUinput& uinput = kernel->AddUinput();
  std::string problem;
  auto keyboard = OpenUinputKeyboard(problem);
  auto shifter = OpenSystemShifter(problem, report);
  ASSERT_TRUE(keyboard && shifter) << problem;
  ASSERT_EQ(uinput.Devices().size(), 2u);
  const FakeUinputDevice kb = uinput.Devices()[0], sh = uinput.Devices()[1];
  for (const FakeUinputDevice* d : {&kb, &sh}) {
    SCOPED_TRACE(d->setup.name);
    EXPECT_EQ(d->setup.id.bustype, BUS_VIRTUAL);
    EXPECT_NE(d->setup.id.vendor, 0);
    EXPECT_NE(d->setup.id.product, 0);
    EXPECT_EQ(d->setup.id.version, kDeviceRelease);
  }
  EXPECT_NE(kb.setup.id.product, sh.setup.id.product);
  const UdevClass k = ClassifyAsUdev(kb.keys, kb.abs_codes),
                  s = ClassifyAsUdev(sh.keys, sh.abs_codes);
  EXPECT_TRUE(k.keyboard);
  EXPECT_FALSE(k.joystick);
  EXPECT_TRUE(s.joystick);
  EXPECT_FALSE(s.keyboard);
  // Major 1 reads 0x0100, 12 reads 0x1200: a minor release keeps the devices' identity.
  EXPECT_EQ(DeviceRelease(0), 0x0000);
  EXPECT_EQ(DeviceRelease(1), 0x0100);
  EXPECT_EQ(DeviceRelease(12), 0x1200);
}

// SDL, which games and Wine read sticks through, takes the H-shifter for a joystick with
// Kestrane's identity, not for a game pad (whose mapping would move its buttons).
TEST_F(KernelUinputTest, SdlSeesTheShifterAsAJoystickWithItsIdentity) {
  test::FakeUinput& uinput = kernel->AddUinput();
  std::string problem;
  auto shifter = OpenSystemShifter(problem, report);
  ASSERT_TRUE(shifter) << problem;
  const FakeUinputDevice d = uinput.Devices()[0];
  test::FakeStickSetup as_made;  // the device as the kernel would show it on its event node
  as_made.name = d.setup.name;
  as_made.bustype = d.setup.id.bustype;
  as_made.vendor = d.setup.id.vendor;
  as_made.product = d.setup.id.product;
  as_made.version = d.setup.id.version;
  as_made.axes.clear();
  for (const auto& [code, info] : d.abs) {
    as_made.axes.push_back({static_cast<std::uint16_t>(code), info.minimum, info.maximum, 0});
  }
  as_made.buttons.assign(d.keys.begin(), d.keys.end());
  as_made.force_feedback.clear();
  kernel->AddStick(as_made);

  ASSERT_EQ(SDL_Init(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
  ASSERT_EQ(SDL_NumJoysticks(), 1);
  EXPECT_STREQ(SDL_JoystickNameForIndex(0), kVirtualShifterName);
  EXPECT_FALSE(SDL_IsGameController(0));
  EXPECT_NE(SDL_JoystickGetDeviceType(0), SDL_JOYSTICK_TYPE_GAMECONTROLLER);
  Uint16 vendor = 0, product = 0, version = 0;
  SDL_GetJoystickGUIDInfo(SDL_JoystickGetDeviceGUID(0), &vendor, &product, &version, nullptr);
  EXPECT_EQ(vendor, d.setup.id.vendor);  // in the GUID games store their bindings under
  EXPECT_EQ(product, d.setup.id.product);
  EXPECT_EQ(version, d.setup.id.version);
  SDL_Joystick* j = SDL_JoystickOpen(0);
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(SDL_JoystickNumButtons(j), 8);
  EXPECT_EQ(SDL_JoystickNumAxes(j), 2);
  SDL_JoystickClose(j);
  SDL_Quit();
}

struct Failure {
  const char* what;
  bool node;  // whether /dev/uinput exists
  int refuse;
  int reason;  // the errno the message explains
};

TEST_F(KernelUinputTest, MissingOrRefusingUinputGivesTheReasonAndTheFix) {
  // In this order: the node, once added, stays for the testbed's life.
  const Failure cases[] = {
      {"missing", false, 0, ENOENT},
      {"refused", true, EACCES, EACCES},
      {"not permitted", true, EPERM, EACCES},
  };
  for (const Failure& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.node && real_uinput_) continue;  // this machine has one of its own
    if (c.node) kernel->AddUinput().Refuse(c.refuse);
    std::string problem;
    EXPECT_EQ(OpenSystemShifter(problem, report), nullptr);
    EXPECT_NE(problem.find(UinputErrorText(c.reason)), std::string::npos) << problem;
    EXPECT_NE(problem.find("60-kestrane-uinput.rules"), std::string::npos) << problem;

    problem.clear();
    auto keyboard = OpenUinputKeyboard(problem);
    EXPECT_NE(problem.find(UinputErrorText(c.reason)), std::string::npos) << problem;
  }
}

}  // namespace
}  // namespace kestrane
