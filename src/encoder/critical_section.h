// A platform critical section and a guard that holds it for one scope. The
// section is recursive: the thread that holds it may enter it again, so an
// operation may call another operation that takes the same lock.
#pragma once

#include <windows.h>

namespace zelk {

class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&section_); }
  ~CriticalSection() { DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

// Holds a lock for one scope, whatever way the scope is left.
class LockGuard {
 public:
  explicit LockGuard(CriticalSection& lock) : lock_(lock) { lock_.Enter(); }
  ~LockGuard() { lock_.Leave(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  CriticalSection& lock_;
};

}  // namespace zelk
