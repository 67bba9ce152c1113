#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <vector>

#include "core/effects.h"

namespace kestrane {

// A force-feedback device that records every call and can be told to refuse chosen creations.
// Its record may be written from another thread (the effect watchdog's): a test that runs one
// reads it through Calls and Clear; `calls` itself is for tests with one thread.
class ScriptedHaptic : public HapticPort {
 public:
  enum class Op : std::uint8_t { Create, Start, Set, Release, Stop };
  struct Call {
    Op op;
    EffectId id;
    EffectType type;
    EffectRecord record;
  };

  // Creation calls (counted from 0) that fail; with `hand_back` the failed call still returns an
  // object, which the caller must release.
  void FailCreation(int nth, bool hand_back = false) {
    fail_.insert(nth);
    if (hand_back) hand_back_.insert(nth);
  }

  std::int32_t CreateEffect(EffectType type, const EffectRecord& record, EffectId& id) override {
    std::lock_guard lock(mutex_);
    const int nth = creations_++;
    id = kNoEffect;
    if (fail_.count(nth)) {
      if (hand_back_.count(nth)) id = next_id_++;
      calls.push_back({Op::Create, id, type, record});
      return 1;
    }
    id = next_id_++;
    calls.push_back({Op::Create, id, type, record});
    return 0;
  }
  void StartEffect(EffectId id) override { Record({Op::Start, id, {}, {}}); }
  void StopEffect(EffectId id) override { Record({Op::Stop, id, {}, {}}); }
  void SetEffectParameters(EffectId id, const EffectRecord& record) override {
    Record({Op::Set, id, {}, record});
  }
  void ReleaseEffect(EffectId id) override { Record({Op::Release, id, {}, {}}); }

  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    calls.clear();
  }

  std::vector<Call> calls;

 private:
  void Record(const Call& call) {
    std::lock_guard lock(mutex_);
    calls.push_back(call);
  }

  mutable std::mutex mutex_;
  std::set<int> fail_, hand_back_;
  int creations_ = 0;
  EffectId next_id_ = 1;
};

}  // namespace kestrane
