// The fault injector: one countdown per service, under one lock.
#include "faults.h"

#include <atomic>
#include <mutex>

namespace {

struct FaultState {
  int countdown = 0;  // 0: not armed
  bool persistent = false;
  bool firing = false;  // persistent fault already reached
  int fired = 0;
  int calls = 0;
  long code = 0;
};

std::mutex g_lock;
FaultState g_state[static_cast<int>(fgp::FaultService::Count)];
std::atomic<bool> g_anyArmed{false};

void RecomputeArmed() {
  bool any = false;
  for (const FaultState& s : g_state) any = any || s.countdown > 0 || s.firing;
  g_anyArmed.store(any);
}

}  // namespace

extern "C" FG_EXPORT __attribute__((noinline)) void FgFaultFired(int service) {
  asm volatile("" ::"r"(service) : "memory");
}

namespace fgp {

bool ShouldFail(FaultService s) {
  if (!g_anyArmed.load(std::memory_order_relaxed)) return false;
  std::lock_guard<std::mutex> guard(g_lock);
  FaultState& st = g_state[static_cast<int>(s)];
  ++st.calls;
  bool fail = st.firing;
  if (!fail && st.countdown > 0 && --st.countdown == 0) {
    fail = true;
    st.firing = st.persistent;
    RecomputeArmed();
  }
  if (!fail) return false;
  ++st.fired;
  FgFaultFired(static_cast<int>(s));
  return true;
}

long FailureCode(FaultService s, long fallback) {
  std::lock_guard<std::mutex> guard(g_lock);
  long code = g_state[static_cast<int>(s)].code;
  return code != 0 ? code : fallback;
}

void ArmFault(FaultService s, int nth, bool persistent) {
  std::lock_guard<std::mutex> guard(g_lock);
  FaultState& st = g_state[static_cast<int>(s)];
  st.countdown = nth > 0 ? nth : 0;
  st.persistent = persistent;
  st.firing = false;
  st.fired = 0;
  st.calls = 0;
  RecomputeArmed();
}

void SetFaultCode(FaultService s, long code) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_state[static_cast<int>(s)].code = code;
}

void ClearFaults() {
  std::lock_guard<std::mutex> guard(g_lock);
  for (FaultState& st : g_state) st = FaultState{};
  RecomputeArmed();
}

int FaultsFired(FaultService s) {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_state[static_cast<int>(s)].fired;
}

int FaultCallsSeen(FaultService s) {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_state[static_cast<int>(s)].calls;
}

}  // namespace fgp

