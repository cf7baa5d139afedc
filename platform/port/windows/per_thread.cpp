#include "platform/port/per_thread.h"

#include <windows.h>

#include <new>

namespace port::detail {

std::uint32_t NewThreadSlot(void (*destroy)(void*)) {
  // 64-bit Windows has one calling convention: the callback's WINAPI is
  // the same as a plain function's.
  const DWORD slot = FlsAlloc(reinterpret_cast<PFLS_CALLBACK_FUNCTION>(destroy));
  if (slot == FLS_OUT_OF_INDEXES) throw std::bad_alloc();
  return slot;
}

void* ThreadSlotValue(std::uint32_t slot) { return FlsGetValue(slot); }

bool SetThreadSlotValue(std::uint32_t slot, void* value) { return FlsSetValue(slot, value) != FALSE; }

}  // namespace port::detail
