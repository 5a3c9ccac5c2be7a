// A recursive lock that gives turns in the order they were asked for, and a
// guard that holds it for one scope.
//
// A platform critical section is not fair: a thread that leaves it and enters
// it again at once usually wins against a thread that already waits. A host
// thread that scans channels (each SetChannel holds the object for its 200 ms
// report wait) could keep another thread's UnloadEncoder waiting for the whole
// scan. Here every thread that asks draws a ticket and waits until its number
// is served, so a call waits at most for the calls that were waiting or
// running when it asked; the thread that just left draws a new ticket behind
// them.
//
// The thread that holds the lock may enter it again (an operation calls
// another operation that takes the same lock) without a ticket.
#pragma once

#include <windows.h>

#include <cstdint>

namespace zelk {

class FairLock {
 public:
  FairLock() = default;
  FairLock(const FairLock&) = delete;
  FairLock& operator=(const FairLock&) = delete;

  void Enter() {
    const DWORD self = GetCurrentThreadId();
    AcquireSRWLockExclusive(&guard_);
    if (owner_ == self) {
      ++depth_;
    } else {
      const uint64_t ticket = nextTicket_++;
      while (nowServing_ != ticket) SleepConditionVariableSRW(&turn_, &guard_, INFINITE, 0);
      owner_ = self;
      depth_ = 1;
    }
    ReleaseSRWLockExclusive(&guard_);
  }

  void Leave() {
    AcquireSRWLockExclusive(&guard_);
    const bool handOver = --depth_ == 0;
    if (handOver) {
      owner_ = 0;
      ++nowServing_;
    }
    ReleaseSRWLockExclusive(&guard_);
    // Every waiter looks at the number served; only the next ticket goes on.
    if (handOver) WakeAllConditionVariable(&turn_);
  }

 private:
  SRWLOCK guard_ = SRWLOCK_INIT;  // guards the fields below, held only briefly
  CONDITION_VARIABLE turn_ = CONDITION_VARIABLE_INIT;
  uint64_t nextTicket_ = 0;       // the ticket the next new arrival draws
  uint64_t nowServing_ = 0;       // the ticket whose holder may run
  DWORD owner_ = 0;               // thread that holds the lock (0: none; no thread has id 0)
  unsigned depth_ = 0;            // its nesting depth
};

// Holds a lock for one scope, whatever way the scope is left.
class LockGuard {
 public:
  explicit LockGuard(FairLock& lock) : lock_(lock) { lock_.Enter(); }
  ~LockGuard() { lock_.Leave(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  FairLock& lock_;
};

}  // namespace zelk
