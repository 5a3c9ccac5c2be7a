#include "process_probes.h"

#include <windows.h>
#include <winternl.h>

#include <vector>

namespace bench {
namespace {

// SystemHandleInformation (16): a count, then one entry per open handle of
// every process.
constexpr ULONG kSystemHandleInformation = 16;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

struct HandleEntry {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};

struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};

int64_t FileTimeUs(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10;
}

}  // namespace

int64_t NowUs() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  // Split so that a long uptime cannot overflow the multiplication.
  return now.QuadPart / frequency.QuadPart * 1000000 + now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

int64_t ThreadCpuUs() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  return FileTimeUs(kernel) + FileTimeUs(user);
}

long HandleCount() {
  std::vector<BYTE> buffer(1 << 16);
  NTSTATUS status;
  ULONG needed = 0;
  while ((status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(kSystemHandleInformation),
                                            buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
         kInfoLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (status < 0) return -1;
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  const ULONG self = GetCurrentProcessId();
  long count = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    if (table->entries[i].ownerPid == self) ++count;
  }
  return count;
}

uint64_t PrivateCommittedBytes() {
  uint64_t total = 0;
  MEMORY_BASIC_INFORMATION region;
  const BYTE* address = nullptr;
  while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;  // the top of the address space
    address = next;
  }
  return total;
}

}  // namespace bench
