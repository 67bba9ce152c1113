#include "tools/replay.h"

#include <cstdio>

#include "core/polling_cycle.h"
#include "tools/json_writer.h"

namespace kestrane {

Replay::Replay(const Settings& settings, KeySink* forward, std::uint32_t tick_ms)
    : settings_(settings), recorder_(forward), keys_(recorder_), tick_ms_(tick_ms) {
  ResetShiftState(state_);
  effects_.BuildEffects(&haptic_, state_, settings_);
}

Replay::~Replay() {
  effects_.ReleaseEffects();
}

ReplayTick Replay::Step(const TraceLine& line) {
  recorder_.events.clear();
  haptic_.Clear();
  joystick_.SetNext(line);
  PollContext ctx{state_, settings_, &joystick_, keys_, &effects_, nullptr, &shifter_, tick_ms_};
  OnPollTimer(ctx);
  // A stick that is gone takes its effects with it, until a "back" line.
  if (line.kind == TraceLineKind::Gone) effects_.ReleaseEffects();

  ReplayTick out;
  out.tick = ++ticks_;
  out.read = line.kind == TraceLineKind::Sample;
  out.state = state_;
  out.keys = recorder_.events;
  if (shifter_.Held() != kNoShifterButton) out.buttons.push_back(shifter_.Held());
  for (int slot = 0; slot < kEffectSlots; ++slot) {
    const EffectId id = effects_.Slot(static_cast<EffectSlot>(slot));
    out.effect_exists[slot] = id != kNoEffect;
    if (id != kNoEffect) out.effect_sent[slot] = haptic_.Sent(id);
  }
  return out;
}

void Replay::StickBack() {
  effects_.ReleaseEffects();
  effects_.BuildEffects(&haptic_, state_, settings_);
  state_.FailedReadMs = 0;
}

std::vector<KeyRecord> Replay::Finish() {
  recorder_.events.clear();
  keys_.ReleaseHeld();
  return recorder_.events;
}

namespace {

constexpr const char* kSlotNames[kEffectSlots] = {"cross", "cross2", "hole", "center", "damper"};

void WriteCondition(JsonWriter& w, const Condition& c) {
  w.BeginObject();
  w.Key("offset").Int(c.offset);
  w.Key("coeff").Int(c.positive_coefficient);
  w.Key("sat").Int(c.positive_saturation);
  w.Key("deadband").Int(c.dead_band);
  w.EndObject();
}

void WriteKeys(JsonWriter& w, const std::vector<KeyRecord>& keys) {
  w.BeginArray();
  for (const KeyRecord& k : keys) {
    w.BeginObject();
    if (k.is_wait) {
      w.Key("wait").Int(k.ms);
    } else {
      w.Key("vk").Int(k.key.vk);
      w.Key("scan").Int(k.key.scan);
      w.Key("down").Bool(k.down);
    }
    w.EndObject();
  }
  w.EndArray();
}

std::string KeysText(const std::vector<KeyRecord>& keys) {
  std::string out;
  for (const KeyRecord& k : keys) {
    if (!out.empty()) out += ' ';
    if (k.is_wait) {
      out += "w" + std::to_string(k.ms);
    } else {
      out += (k.down ? "+" : "-") + std::to_string(k.key.vk) + "#" + std::to_string(k.key.scan);
    }
  }
  return out.empty() ? "-" : out;
}

}  // namespace

std::string TickToJson(const ReplayTick& t) {
  const ShiftState& s = t.state;
  JsonWriter w;
  w.BeginObject();
  w.Key("tick").Int(t.tick);
  w.Key("read").Bool(t.read);
  w.Key("stick").BeginArray().Int(s.StickX).Int(s.StickY).EndArray();
  w.Key("switch_axis").Int(s.SwitchAxisValue);
  w.Key("mode").String(s.Mode == GateMode::InLane ? "lane" : "neutral");
  w.Key("gate").BeginArray().Int(s.GateX).Int(s.GateY).EndArray();
  w.Key("hole").BeginArray().Int(s.HoleX).Int(s.HoleY).EndArray();
  w.Key("bstate").Bool(s.Bstate);
  w.Key("latched").Bool(s.SwitchLatched);
  w.Key("flags").Int(s.NeutralFlags);
  w.Key("gear").Int(s.CurrentGear);
  w.Key("sent").Int(s.SentGear);
  w.Key("keys");
  WriteKeys(w, t.keys);
  w.Key("effects").BeginObject();
  for (int slot = 0; slot < kEffectSlots; ++slot) {
    if (!t.effect_exists[slot]) continue;
    w.Key(kSlotNames[slot]);
    if (!t.effect_sent[slot]) {
      w.Null();
      continue;
    }
    w.BeginObject();
    w.Key("x");
    WriteCondition(w, t.effect_sent[slot]->x());
    w.Key("y");
    WriteCondition(w, t.effect_sent[slot]->y());
    w.EndObject();
  }
  w.EndObject();
  w.Key("buttons").BeginArray();
  for (const int button : t.buttons) w.Int(button);
  w.EndArray();
  w.EndObject();
  return w.str();
}

std::string TableHeader() {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%5s %4s %13s %7s %7s %13s %13s %2s %2s %2s %4s %4s  %s", "tick",
                "read", "stick", "swaxis", "mode", "gate", "hole", "B", "L", "F", "gear", "sent",
                "keys");
  return buf;
}

std::string TickToTableRow(const ReplayTick& t) {
  const ShiftState& s = t.state;
  auto pair = [](std::int64_t a, std::int64_t b) {
    return std::to_string(a) + "," + std::to_string(b);
  };
  char buf[512];
  std::snprintf(buf, sizeof buf, "%5d %4s %13s %7d %7s %13s %13s %2s %2s %2d %4c %4c  %s", t.tick,
                t.read ? "yes" : "FAIL", pair(s.StickX, s.StickY).c_str(), s.SwitchAxisValue,
                s.Mode == GateMode::InLane ? "lane" : "neutral", pair(s.GateX, s.GateY).c_str(),
                pair(s.HoleX, s.HoleY).c_str(), s.Bstate ? "B" : ".", s.SwitchLatched ? "L" : ".",
                s.NeutralFlags, GearLetter(s.CurrentGear), GearLetter(s.SentGear),
                KeysText(t.keys).c_str());
  return buf;
}

}  // namespace kestrane
