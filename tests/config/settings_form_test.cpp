#include "config/settings_form.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/setting_keys.h"

namespace kestrane {
namespace {

using V = SettingsFormValues;

// A record in which every number differs from every other and from its default, so that a field
// wired to the wrong setting cannot go unnoticed.
Settings DistinctSettings() {
  Settings s = DefaultSettings();
  std::int32_t n = 101;
  for (std::int32_t Settings::*f : {&Settings::JOY_GEAR_WIDTH,
                                    &Settings::JOY_GEAR_HEIGHT,
                                    &Settings::GEAR_CROSS_SIZE,
                                    &Settings::GEAR_FORCE_DEATH_FREE_X,
                                    &Settings::GEAR_FORCE_DEATH_NOFREE_X,
                                    &Settings::GEAR_FORCE_DEATH_FREE_Y,
                                    &Settings::GEAR_FORCE_DEATH_NOFREE_Y,
                                    &Settings::GEAR_DAMPER_FORCE,
                                    &Settings::GEAR_DAMPER_SATURATION,
                                    &Settings::GEAR_HOLE_FORCE_X,
                                    &Settings::GEAR_HOLE_SATURATION_X,
                                    &Settings::GEAR_HOLE_FORCE_Y,
                                    &Settings::GEAR_HOLE_SATURATION_Y,
                                    &Settings::GEAR_CROSS_FORCE_COUNT,
                                    &Settings::GEAR_CROSS_FORCE,
                                    &Settings::GEAR_CROSS_SATURATION,
                                    &Settings::GEAR_CENTER_FORCE_X,
                                    &Settings::GEAR_CENTER_FORCE_Y,
                                    &Settings::GEAR_CENTER_SATURATION_X,
                                    &Settings::GEAR_CENTER_SATURATION_Y,
                                    &Settings::SWITCH_B_MIN,
                                    &Settings::SWITCH_B_MAX,
                                    &Settings::SYM_KEY_TIME,
                                    &Settings::SYM_SPACE_TIME}) {
    s.*f = n++;
  }
  s.GEAR_CROSS_FORCE_COUNT = 2;  // it takes 1 or 2 only
  s.SWITCH_BUTTON = 7;
  s.SWITCH_B_AXE = 3;
  s.SYM_TYPE = 2;
  s.REVERSE_Y = true;
  s.SWITCH_XY = true;
  s.DAMPER_ENABLED = true;
  s.CENTER_ENABLED = false;
  s.SetSequence("R1N23");
  for (std::size_t i = 0; i < s.Keys.size(); ++i) {
    s.Keys[i] = {static_cast<std::uint8_t>(0x41 + i), static_cast<std::uint8_t>(200 + i)};
  }
  return s;
}

TEST(SettingsForm, ShownTextsOfEveryControl) {
  Settings s = DefaultSettings();
  s.SWITCH_B_MIN = -32000;
  const V v = FormValuesFromSettings(s, 4294967295u);  // a negative CHECK_INTERVAL
  EXPECT_EQ(v.switch_button, 1);
  EXPECT_EQ(v.switch_b_axe, 0);
  EXPECT_EQ(v.sym_type, 0);
  EXPECT_EQ(v.check_interval, "4294967295");
  EXPECT_EQ(v.switch_b_min, "-32000");
  EXPECT_EQ(v.switch_b_max, "32000");
  EXPECT_EQ(v.joy_gear_width, "21298");
  EXPECT_EQ(v.gear_force_death_free_x, "2250");
  EXPECT_EQ(v.gear_cross_force_count, "1");
  EXPECT_EQ(v.gear_center_force_x, "10000");
  EXPECT_EQ(v.gear_center_saturation_x, "3000");
  EXPECT_EQ(v.sym_key_time, "10");
  EXPECT_EQ(v.sym_sequence, "RN1234567");
  EXPECT_TRUE(v.force_feedback);
  EXPECT_TRUE(v.center_enabled);
  EXPECT_FALSE(v.damper_enabled);
  EXPECT_FALSE(v.autocenter_neutral);
  EXPECT_EQ(v.key_reverse, (KeyFieldValue{"56#9", false}));
  EXPECT_EQ(v.key_gear1, (KeyFieldValue{"49#2", false}));
  EXPECT_EQ(v.key_gear7, (KeyFieldValue{"55#8", false}));
  EXPECT_EQ(v.key_neutral, (KeyFieldValue{"78#49", false}));
  EXPECT_EQ(v.key_shift_up, (KeyFieldValue{"33#73", false}));
  EXPECT_EQ(v.key_shift_down, (KeyFieldValue{"34#81", false}));
}

// Each control edits the setting the dialog's tables say it edits: set one control to a value no
// other field holds and see which setting takes it.
TEST(SettingsForm, EachControlEditsItsSetting) {
  const Settings base = DistinctSettings();
  const std::vector<std::pair<std::string V::*, std::int32_t Settings::*>> numbers = {
      {&V::switch_b_min, &Settings::SWITCH_B_MIN},
      {&V::switch_b_max, &Settings::SWITCH_B_MAX},
      {&V::joy_gear_width, &Settings::JOY_GEAR_WIDTH},
      {&V::joy_gear_height, &Settings::JOY_GEAR_HEIGHT},
      {&V::gear_cross_size, &Settings::GEAR_CROSS_SIZE},
      {&V::gear_force_death_free_x, &Settings::GEAR_FORCE_DEATH_FREE_X},
      {&V::gear_force_death_nofree_x, &Settings::GEAR_FORCE_DEATH_NOFREE_X},
      {&V::gear_force_death_free_y, &Settings::GEAR_FORCE_DEATH_FREE_Y},
      {&V::gear_force_death_nofree_y, &Settings::GEAR_FORCE_DEATH_NOFREE_Y},
      {&V::gear_damper_force, &Settings::GEAR_DAMPER_FORCE},
      {&V::gear_damper_saturation, &Settings::GEAR_DAMPER_SATURATION},
      {&V::gear_hole_force_x, &Settings::GEAR_HOLE_FORCE_X},
      {&V::gear_hole_saturation_x, &Settings::GEAR_HOLE_SATURATION_X},
      {&V::gear_hole_force_y, &Settings::GEAR_HOLE_FORCE_Y},
      {&V::gear_hole_saturation_y, &Settings::GEAR_HOLE_SATURATION_Y},
      {&V::gear_cross_force_count, &Settings::GEAR_CROSS_FORCE_COUNT},
      {&V::gear_cross_force, &Settings::GEAR_CROSS_FORCE},
      {&V::gear_cross_saturation, &Settings::GEAR_CROSS_SATURATION},
      {&V::gear_center_force_x, &Settings::GEAR_CENTER_FORCE_X},
      {&V::gear_center_saturation_x, &Settings::GEAR_CENTER_SATURATION_X},
      {&V::gear_center_force_y, &Settings::GEAR_CENTER_FORCE_Y},
      {&V::gear_center_saturation_y, &Settings::GEAR_CENTER_SATURATION_Y},
      {&V::sym_key_time, &Settings::SYM_KEY_TIME},
      {&V::sym_space_time, &Settings::SYM_SPACE_TIME},
  };
  for (const auto& [control, setting] : numbers) {
    V v = FormValuesFromSettings(base, 40);
    const std::int32_t value = base.*setting == 2 ? 1 : 2;  // in every field's range
    v.*control = std::to_string(value);
    const FormOutcome out = ApplySettingsForm(v, base, 40);
    ASSERT_FALSE(out.error);
    Settings expected = base;
    expected.POOLED_DEVICE = true;
    expected.EXCLUSIVE_ACCESS = expected.FORCE_FEEDBACK;
    expected.*setting = value;
    EXPECT_EQ(out.settings, expected) << "field set to " << value << " went elsewhere";
    EXPECT_EQ(out.interval, 40u);
  }

  const std::vector<std::pair<bool V::*, bool Settings::*>> boxes = {
      {&V::autocenter_neutral, &Settings::AUTOCENTER_NEUTRAL},
      {&V::switch_xy, &Settings::SWITCH_XY},
      {&V::reverse_x, &Settings::REVERSE_X},
      {&V::reverse_y, &Settings::REVERSE_Y},
      {&V::damper_enabled, &Settings::DAMPER_ENABLED},
      {&V::cross_enabled, &Settings::CROSS_ENABLED},
      {&V::hole_enabled, &Settings::HOLE_ENABLED},
      {&V::center_enabled, &Settings::CENTER_ENABLED},
      {&V::virtual_shifter, &Settings::VIRTUAL_SHIFTER},
  };
  for (const auto& [box, setting] : boxes) {
    V v = FormValuesFromSettings(base, 40);
    v.*box = !(v.*box);
    const FormOutcome out = ApplySettingsForm(v, base, 40);
    Settings expected = base;
    expected.POOLED_DEVICE = true;
    expected.EXCLUSIVE_ACCESS = expected.FORCE_FEEDBACK;
    expected.*setting = !(base.*setting);
    EXPECT_EQ(out.settings, expected);
  }

  const std::vector<std::pair<KeyFieldValue V::*, int>> keys = {
      {&V::key_reverse, 0}, {&V::key_gear1, 1},    {&V::key_gear2, 2},       {&V::key_gear3, 3},
      {&V::key_gear4, 4},   {&V::key_gear5, 5},    {&V::key_gear6, 6},       {&V::key_gear7, 7},
      {&V::key_neutral, 8}, {&V::key_shift_up, 9}, {&V::key_shift_down, 10},
  };
  for (const auto& [field, entry] : keys) {
    V v = FormValuesFromSettings(base, 40);
    v.*field = {"33#73", true};
    const FormOutcome out = ApplySettingsForm(v, base, 40);
    for (int i = 0; i < kKeyEntries; ++i) {
      const KeyCode want = i == entry ? KeyCode{33, 73} : base.Keys[static_cast<std::size_t>(i)];
      EXPECT_EQ(out.settings.Keys[static_cast<std::size_t>(i)], want) << "entry " << i;
    }
  }

  V v = FormValuesFromSettings(base, 40);
  v.switch_button = 33;
  v.switch_b_axe = 6;
  v.sym_type = 1;
  v.check_interval = "0x10";
  const FormOutcome out = ApplySettingsForm(v, base, 40);
  EXPECT_EQ(out.settings.SWITCH_BUTTON, 33);
  EXPECT_EQ(out.settings.SWITCH_B_AXE, 6);
  EXPECT_EQ(out.settings.SYM_TYPE, 1);
  EXPECT_EQ(out.interval, 16u);
}

TEST(SettingsForm, SaveRightAfterShowKeepsTheRecordButForcesTheAccessSwitches) {
  for (bool force_feedback : {true, false}) {
    Settings s = DistinctSettings();
    s.FORCE_FEEDBACK = force_feedback;
    s.POOLED_DEVICE = false;
    s.EXCLUSIVE_ACCESS = !force_feedback;
    const FormOutcome out = ApplySettingsForm(FormValuesFromSettings(s, 25), s, 25);
    ASSERT_FALSE(out.error);
    Settings expected = s;
    expected.POOLED_DEVICE = true;
    expected.EXCLUSIVE_ACCESS = force_feedback;
    EXPECT_EQ(out.settings, expected);
    EXPECT_EQ(out.interval, 25u);
  }
}

// A value the list does not offer (SWITCH_BUTTON=40 from the file) shows as no choice and is kept.
TEST(SettingsForm, ListsWithoutSelectionKeepTheirSetting) {
  Settings s = DefaultSettings();
  s.SWITCH_BUTTON = 40;
  s.SWITCH_B_AXE = 9;
  s.SYM_TYPE = 3;
  V v = FormValuesFromSettings(s, 25);
  v.switch_button = v.switch_b_axe = v.sym_type = -1;
  const FormOutcome out = ApplySettingsForm(v, s, 25);
  EXPECT_EQ(out.settings.SWITCH_BUTTON, 40);
  EXPECT_EQ(out.settings.SWITCH_B_AXE, 9);
  EXPECT_EQ(out.settings.SYM_TYPE, 3);
}

// Every number field takes exactly its range; a value outside is refused like a non-number, with
// the field's caption and range.
TEST(SettingsForm, EachNumberFieldTakesItsRange) {
  const Settings s = DefaultSettings();
  for (const NumberField& f : NumberFields()) {
    for (std::int64_t value : {std::int64_t{f.minimum}, std::int64_t{f.maximum},
                               std::int64_t{f.minimum} - 1, std::int64_t{f.maximum} + 1}) {
      V v = FormValuesFromSettings(s, 25);
      v.*f.text = std::to_string(value);
      const FormOutcome out = ApplySettingsForm(v, s, 25);
      const bool inside = value >= f.minimum && value <= f.maximum;
      EXPECT_EQ(!out.error, inside) << f.control << " " << value;
      if (!inside && out.error) {
        EXPECT_EQ(out.error->control, f.control);
        EXPECT_EQ(out.error->message, std::string(f.name) + ": " + std::to_string(value) +
                                          " is out of range. Enter a whole number from " +
                                          std::to_string(f.minimum) + " to " +
                                          std::to_string(f.maximum) + ".");
        EXPECT_EQ(out.settings, s);
      }
    }
  }
}

// Every message says which field (by its caption) is wrong and what it takes.
TEST(SettingsForm, MessagesNameTheFieldAndItsRange) {
  struct Row {
    const char* control;
    const char* text;
    const char* message;
  };
  const Row rows[] = {
      {"Edit1", "", "Cross Width is empty. Enter a whole number from 0 to 32000."},
      {"Edit1", "  ", "Cross Width is empty. Enter a whole number from 0 to 32000."},
      {"Edit1", "40000",
       "Cross Width: 40000 is out of range. Enter a whole number from 0 to 32000."},
      {"Edit1", "-1", "Cross Width: -1 is out of range. Enter a whole number from 0 to 32000."},
      {"Edit4", "1.5",
       "Neutral line dead zone, X: '1.5' is not a whole number. Enter a whole number from 0 to "
       "10000."},
      {"Edit14", "3", "Cross springs: 3 is out of range. Enter a whole number from 1 to 2."},
      {"Edit31", "70000", "Pos Max: 70000 is out of range. Enter a whole number from 0 to 65535."},
      {"Edit29", " 99999999999 ",
       "Check interval: 99999999999 is out of range. Enter a whole number from 0 to 1000."},
      {"Edit36", "ten", "Press time: 'ten' is not a whole number. Enter a whole number from 0 to "
                        "1000."},
  };
  const Settings s = DefaultSettings();
  for (const Row& row : rows) {
    V v = FormValuesFromSettings(s, 25);
    for (const NumberField& f : NumberFields()) {
      if (std::string(f.control) == row.control) v.*f.text = row.text;
    }
    const FormOutcome out = ApplySettingsForm(v, s, 25);
    ASSERT_TRUE(out.error) << row.control << " '" << row.text << "'";
    EXPECT_EQ(out.error->control, row.control);
    EXPECT_EQ(out.error->message, row.message);
  }
  // Each field's own caption and range, and no two fields share a caption.
  std::vector<std::string> names;
  for (const NumberField& f : NumberFields()) {
    V v = FormValuesFromSettings(s, 25);
    v.*f.text = "";
    const FormOutcome out = ApplySettingsForm(v, s, 25);
    ASSERT_TRUE(out.error);
    EXPECT_EQ(out.error->message.rfind(f.name, 0), 0u) << out.error->message;
    EXPECT_NE(out.error->message.find("from " + std::to_string(f.minimum) + " to " +
                                      std::to_string(f.maximum)),
              std::string::npos)
        << out.error->message;
    for (const std::string& other : names) EXPECT_NE(other, f.name);
    names.emplace_back(f.name);
  }
}

TEST(SettingsForm, SequenceIsTakenAsItStands) {
  const Settings s = DefaultSettings();
  V v = FormValuesFromSettings(s, 25);
  v.sym_sequence = "";
  EXPECT_EQ(ApplySettingsForm(v, s, 25).settings.Sequence(), "");
  v.sym_sequence = "NR7";
  EXPECT_EQ(ApplySettingsForm(v, s, 25).settings.Sequence(), "NR7");
  v.sym_sequence = "rn12345670";  // more than the field takes: the record keeps nine
  EXPECT_EQ(ApplySettingsForm(v, s, 25).settings.Sequence(), "rn1234567");
}

TEST(SettingsForm, TimerIntervalConversion) {
  const Settings s = DefaultSettings();
  V v = FormValuesFromSettings(s, 25);
  const std::vector<std::pair<const char*, std::uint32_t>> good = {
      {"0", 0u}, {" 50", 50u}, {"$FF", 255u}, {"1000", 1000u}};
  for (const auto& [text, ms] : good) {
    v.check_interval = text;
    const FormOutcome out = ApplySettingsForm(v, s, 25);
    ASSERT_FALSE(out.error) << text;
    EXPECT_EQ(out.interval, ms) << text;
  }
  v.check_interval = "-1";  // negative: refused
  EXPECT_EQ(ApplySettingsForm(v, s, 25).error->control, "Edit29");
  // What OnShown shows for a negative CHECK_INTERVAL cannot be saved as it stands.
  v.check_interval = "4294967295";
  const FormOutcome out = ApplySettingsForm(v, s, 25);
  ASSERT_TRUE(out.error);
  EXPECT_EQ(out.error->control, "Edit29");
  EXPECT_EQ(out.error->message,
            "Check interval: 4294967295 is out of range. Enter a whole number from 0 to 1000.");
  EXPECT_EQ(out.interval, 25u);
}

TEST(SettingsForm, BadNumberChangesNothingAndNamesTheText) {
  const Settings s = DistinctSettings();
  V v = FormValuesFromSettings(s, 30);
  // Changes in the fields before the bad one must not get through either.
  v.switch_button = 0;
  v.switch_b_axe = 1;
  v.force_feedback = false;
  v.key_shift_up = {"65#30", true};
  for (const char* bad : {"abc", "", " ", "12a", "2147483648", "1.5"}) {
    v.switch_b_min = bad;
    const FormOutcome out = ApplySettingsForm(v, s, 30);
    ASSERT_TRUE(out.error) << bad;
    EXPECT_EQ(out.error->control, "Edit30");
    EXPECT_NE(out.error->message.find("Pos Min"), std::string::npos) << out.error->message;
    EXPECT_EQ(out.settings, s);
    EXPECT_EQ(out.interval, 30u);
  }
  v.switch_b_min = "0";
  v.sym_space_time = "ten";
  const FormOutcome out = ApplySettingsForm(v, s, 30);
  ASSERT_TRUE(out.error);
  EXPECT_EQ(out.error->control, "Edit37");
  EXPECT_EQ(out.error->message,
            "Space time: 'ten' is not a whole number. Enter a whole number from 0 to 1000.");
  EXPECT_EQ(out.settings, s);
}

// With every field bad, each correction uncovers the next field in Save's order.
TEST(SettingsForm, FirstBadFieldInSaveOrder) {
  const Settings s = DefaultSettings();
  V v = FormValuesFromSettings(s, 25);
  const V good = v;
  const std::vector<std::string> order = {
      "Edit30", "Edit31", "Edit17", "Edit19", "Edit18", "Edit20", "Edit1",  "Edit2",  "Edit3",
      "Edit4",  "Edit5",  "Edit6",  "Edit7",  "Edit8",  "Edit9",  "Edit10", "Edit11", "Edit12",
      "Edit13", "Edit14", "Edit15", "Edit16", "Edit29", "Edit36", "Edit37", "Edit28", "Edit21",
      "Edit22", "Edit23", "Edit24", "Edit25", "Edit26", "Edit27", "Edit32", "Edit33", "Edit34"};
  for (const NumberField& f : NumberFields()) v.*f.text = std::string("bad ") + f.control;
  for (const KeyField& f : KeyFields()) v.*f.value = {std::string("bad ") + f.control, false};

  for (const std::string& control : order) {
    const FormOutcome out = ApplySettingsForm(v, s, 25);
    ASSERT_TRUE(out.error) << "expected " << control;
    EXPECT_EQ(out.error->control, control);
    EXPECT_NE(out.error->message.find("'bad " + control + "'"), std::string::npos)
        << out.error->message;
    EXPECT_EQ(out.settings, s);
    for (const NumberField& f : NumberFields()) {
      if (f.control == control) v.*f.text = good.*f.text;
    }
    for (const KeyField& f : KeyFields()) {
      if (f.control == control) v.*f.value = good.*f.value;
    }
  }
  EXPECT_FALSE(ApplySettingsForm(v, s, 25).error);
}

TEST(SettingsForm, KeyFieldTextThatNamesNoKey) {
  const Settings s = DefaultSettings();
  V v = FormValuesFromSettings(s, 25);
  v.key_shift_up = {"PageUp", false};
  FormOutcome out = ApplySettingsForm(v, s, 25);
  ASSERT_TRUE(out.error);
  EXPECT_EQ(out.error->control, "Edit33");
  EXPECT_NE(out.error->message.find("Switch UP"), std::string::npos) << out.error->message;
  EXPECT_NE(out.error->message.find("'PageUp'"), std::string::npos) << out.error->message;
  EXPECT_EQ(out.settings, s);

  v.key_shift_up = {"33", false};  // no second number
  out = ApplySettingsForm(v, s, 25);
  ASSERT_TRUE(out.error);
  EXPECT_NE(out.error->message.find("Switch UP"), std::string::npos);

  // Text from key capture is read the lenient way and never refused.
  v.key_shift_up = {"33", true};
  out = ApplySettingsForm(v, s, 25);
  ASSERT_FALSE(out.error);
  EXPECT_EQ(out.settings.Keys[kKeyShiftUp], (KeyCode{33, 0}));

  // Text from OnShown that still reads as a key is fine whether captured or not.
  v.key_shift_up = {" 33 # 73 ", false};
  out = ApplySettingsForm(v, s, 25);
  ASSERT_FALSE(out.error);
  EXPECT_EQ(out.settings.Keys[kKeyShiftUp], (KeyCode{33, 73}));
}

TEST(KeyFieldText, FormatAndParse) {
  EXPECT_EQ(FormatKeyField({65, 30}), "65#30");
  EXPECT_EQ(FormatKeyField({0, 0}), "0#0");
  EXPECT_EQ(FormatKeyField({255, 255}), "255#255");
  for (int vk = 0; vk < 256; vk += 17) {
    const KeyCode key{static_cast<std::uint8_t>(vk), static_cast<std::uint8_t>(255 - vk)};
    EXPECT_EQ(ParseKeyField(FormatKeyField(key)), key);
  }

  const std::vector<std::pair<const char*, KeyCode>> cases = {
      {"65#30", {65, 30}},    {"#65##30#", {65, 30}}, {" +33#\t73", {33, 73}},
      {"300#5", {44, 5}},     {"-1#-1", {255, 255}},  {"abc#12", {0, 12}},
      {"65", {65, 0}},        {"", {0, 0}},           {"65x#30y", {65, 30}},
      {"65#30#99", {65, 30}}, {"- 5#7", {0, 7}},      {"99999999999#1", {255, 1}},
  };
  for (const auto& [text, key] : cases) {
    EXPECT_EQ(ParseKeyField(text), key) << "'" << text << "'";
  }
}

TEST(KeyFieldText, OnlyTwoByteNumbersNameAKey) {
  for (const char* ok : {"65#30", "0#0", "255#255", "#65#30#", " 65 # 30 ", "007#8"}) {
    EXPECT_TRUE(IsKeyFieldText(ok)) << "'" << ok << "'";
  }
  for (const char* bad : {"", "#", "65", "65#", "65#30#1", "a#1", "65#3a", "256#1", "1#256", "-1#1",
                          "+1#1", "6 5#30", "0x41#30", "1000#1"}) {
    EXPECT_FALSE(IsKeyFieldText(bad)) << "'" << bad << "'";
  }
  const std::string long_text = "65#30" + std::string(95, ' ');
  EXPECT_FALSE(IsKeyFieldText(long_text));
  EXPECT_TRUE(IsKeyFieldText(long_text.substr(0, 99)));
}

}  // namespace
}  // namespace kestrane

namespace kestrane {
namespace {

// Only settings the running program takes up at its next start are named after a Save.
TEST(RestartNotice, NamesOnlyWhatWaitsForTheNextStart) {
  Settings base = DefaultSettings();
  base.FORCE_FEEDBACK = true;
  base.CROSS_ENABLED = base.HOLE_ENABLED = true;
  struct Case {
    const char* what;
    void (*change)(Settings&);
    const char* joystick_after;
    const char* named;      // nullptr: no notice
    bool from_off = false;  // force feedback off before
  } cases[] = {
      {"nothing", [](Settings&) {}, "Stick", nullptr},
      {"geometry, forces, keys, interval",
       [](Settings& s) {
         s.JOY_GEAR_WIDTH = 10000;
         s.GEAR_HOLE_FORCE_X = 1;
         s.Keys[1] = {0x41, 0x1E};
         s.FF_STRENGTH = 40;
       },
       "Stick", nullptr},
      {"another joystick", [](Settings&) {}, "Wheel", "the joystick"},
      {"exclusive access", [](Settings& s) { s.EXCLUSIVE_ACCESS = !s.EXCLUSIVE_ACCESS; }, "Stick",
       "exclusive access"},
      {"damper", [](Settings& s) { s.DAMPER_ENABLED = !s.DAMPER_ENABLED; }, "Stick", "the damper"},
      {"cross count", [](Settings& s) { s.GEAR_CROSS_FORCE_COUNT = 2; }, "Stick",
       "the number of cross springs"},
      {"force feedback on", [](Settings& s) { s.FORCE_FEEDBACK = true; }, "Stick",
       "force feedback on", /*from_off=*/true},
      // Off, it lets go of the stick and reopens it at once, with whatever came with it.
      {"force feedback off with its springs",
       [](Settings& s) {
         s.FORCE_FEEDBACK = false;
         s.CROSS_ENABLED = s.HOLE_ENABLED = false;
         s.EXCLUSIVE_ACCESS = !s.EXCLUSIVE_ACCESS;
       },
       "Stick", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Settings before = base;
    before.FORCE_FEEDBACK = !c.from_off;
    Settings after = before;
    c.change(after);
    const std::string notice = RestartNotice(before, "Stick", after, c.joystick_after);
    if (!c.named) {
      EXPECT_EQ(notice, "");
    } else {
      EXPECT_NE(notice.find(c.named), std::string::npos) << notice;
      EXPECT_NE(notice.find("next"), std::string::npos) << notice;
    }
  }
}

}  // namespace
}  // namespace kestrane
