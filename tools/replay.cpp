#include "tools/replay.h"

#include <cstdio>
#include <utility>

#include "tools/json_writer.h"

namespace kestrane {

// What the engine opens: reads give the tick's line, effects go to the platform's record.
class TraceInput::Stick final : public InputDevice {
 public:
  explicit Stick(TraceInput& input) : input_(input) {}
  InputStatus Claim(AccessMode) override { return InputStatus::Ok; }
  InputStatus DisableAutocenter() override { return InputStatus::Ok; }
  void Poll() override {}
  InputStatus Read(StickSample& sample) override {
    if (!input_.plugged_) return InputStatus::DeviceLost;
    if (input_.line_.kind != TraceLineKind::Sample) return InputStatus::Failed;
    sample = input_.line_.sample;
    return InputStatus::Ok;
  }
  HapticPort* Haptics() override { return &input_.effects_; }

 private:
  TraceInput& input_;
};

void TraceInput::Feed(const TraceLine& line) {
  const bool plugged = line.kind == TraceLineKind::Gone   ? false
                       : line.kind == TraceLineKind::Fail ? plugged_
                                                          : true;
  changed_ = changed_ || plugged != plugged_;
  plugged_ = plugged;
  if (line.kind != TraceLineKind::Back) line_ = line;
}

InputStatus TraceInput::List(std::vector<JoystickListEntry>& out) {
  out.clear();
  if (plugged_) out.push_back({"trace", "trace", true});
  return InputStatus::Ok;
}

bool TraceInput::DevicesChanged() {
  return std::exchange(changed_, false);
}

std::unique_ptr<InputDevice> TraceInput::Open(const std::string& id) {
  if (!plugged_ || id != "trace") return nullptr;
  return std::make_unique<Stick>(*this);
}

Replay::Replay(const Settings& settings, std::unique_ptr<KeySink> forward, std::uint32_t tick_ms)
    : interval_(tick_ms) {
  EngineServices services;
  services.input = &input_;
  services.timer = &interval_;
  services.settings = settings;
  services.choose_stick = [](JoystickDevice& device) { return device.List().empty() ? -1 : 0; };
  services.settle_steps = 1;  // one step per trace line
  auto recorder = std::make_shared<std::unique_ptr<KeySink>>(
      std::make_unique<RecordingKeySink>(std::move(forward)));
  recorder_ = static_cast<RecordingKeySink*>(recorder->get());
  services.open_keyboard = [recorder](std::string&, MessageSink&) { return std::move(*recorder); };
  // Time goes by a tick's worth each tick, however fast the trace is read.
  services.now = [this] { return clock_; };
  engine_ = std::make_unique<Engine>(std::move(services));
  engine_->Start();
}

Replay::~Replay() {
  engine_->Stop();
}

ReplayTick Replay::Step(const TraceLine& line) {
  recorder_->events.clear();
  input_.Effects().Clear();
  input_.Feed(line);
  clock_ += std::chrono::milliseconds(interval_.Interval());
  engine_->Tick();

  ReplayTick out;
  out.tick = ++ticks_;
  out.read = line.kind == TraceLineKind::Sample;
  out.state = engine_->Shift();
  out.keys = recorder_->events;
  const int held = engine_->Shifter().Held();
  if (held != kNoShifterButton) out.buttons.push_back(held);
  const ForceFeedback& effects = engine_->Effects();
  for (int slot = 0; slot < kEffectSlots; ++slot) {
    const EffectId id = effects.Slot(static_cast<EffectSlot>(slot));
    out.effect_exists[slot] = id != kNoEffect;
    if (id != kNoEffect) out.effect_sent[slot] = input_.Effects().Sent(id);
  }
  return out;
}

void Replay::StickBack() {
  input_.Feed(TraceLine{TraceLineKind::Back, {}, {}});
}

std::vector<KeyRecord> Replay::Finish() {
  recorder_->events.clear();
  engine_->Stop();
  return recorder_->events;
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
