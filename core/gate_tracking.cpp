#include "core/gate_tracking.h"

#include "core/settings.h"

namespace kestrane {
namespace {

constexpr std::int64_t M = kAxisMiddle;

std::int64_t Abs(std::int64_t v) { return v < 0 ? -v : v; }

// Raise to lo first, then lower to hi: with lo > hi (a negative size) the result is hi.
std::int64_t Clamp(std::int64_t v, std::int64_t lo, std::int64_t hi) {
  if (v < lo) v = lo;
  if (v > hi) v = hi;
  return v;
}

}  // namespace

std::int64_t CandidateLane(std::int64_t x, std::int64_t width, std::int64_t cross_size) {
  if (x <= M - width + cross_size) return M - width;
  if (x >= M + width - cross_size) return M + width;
  return M;
}

void TrackGate(ShiftState& state, const Settings& settings) {
  const std::int64_t W = settings.JOY_GEAR_WIDTH;
  const std::int64_t H = settings.JOY_GEAR_HEIGHT;
  const std::int64_t S = settings.GEAR_CROSS_SIZE;
  const std::int64_t X = state.StickX;
  const std::int64_t Y = state.StickY;

  if (state.Mode == GateMode::InLane) {
    state.GateY = Clamp(Y, M - H, M + H);
    const std::int64_t dx = Abs(X - state.GateX);
    const std::int64_t dy = Abs(Y - M);
    if (dy <= S && dx > dy) {
      state.GateY = M;
      state.Mode = GateMode::OnNeutralLine;
    }
  }

  if (state.Mode == GateMode::OnNeutralLine) {
    state.GateX = Clamp(X, M - W, M + W);
    const std::int64_t lane = CandidateLane(state.GateX, W, S);
    // Beyond an outer lane the stick counts as standing on it.
    const std::int64_t dx = (M - W <= X && X <= M + W) ? Abs(X - lane) : 0;
    const std::int64_t dy = Abs(Y - M);
    if (dx <= S && dx < dy) {
      state.GateX = lane;
      state.Mode = GateMode::InLane;
    }
  }
}

void UpdateHole(ShiftState& state, const Settings& settings) {
  const std::int64_t W = settings.JOY_GEAR_WIDTH;
  const std::int64_t H = settings.JOY_GEAR_HEIGHT;
  // Halves round toward zero, as integer division does.
  if (state.GateX <= M - W / 2) {
    state.HoleX = M - W;
  } else if (state.GateX >= M + W / 2) {
    state.HoleX = M + W;
  } else {
    state.HoleX = M;
  }
  if (state.GateY <= M - H / 2) {
    state.HoleY = M - H;
  } else if (state.GateY >= M + H / 2) {
    state.HoleY = M + H;
  } else {
    state.HoleY = M;
  }
}

}  // namespace kestrane
