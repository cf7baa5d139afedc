// Objects each thread has its own of, destroyed when the thread ends.
//
// On Linux this is C++'s thread_local. MinGW-w64 keeps thread_local
// objects in emulated TLS and may free that storage before their
// destructors run at thread end, which then run on freed memory; on
// Windows each object is therefore kept on the heap under a fiber-local
// slot of the system, whose callback deletes it when the thread ends.
#pragma once

#ifdef _WIN32
#include <cstdint>
#include <new>
#endif

namespace port {

#ifdef _WIN32
namespace detail {
// A new fiber-local slot whose value `destroy` receives when its thread
// ends; throws std::bad_alloc when the system has no slot left.
std::uint32_t NewThreadSlot(void (*destroy)(void*));
void* ThreadSlotValue(std::uint32_t slot);
// False when the system could not keep the value.
bool SetThreadSlotValue(std::uint32_t slot, void* value);
}  // namespace detail
#endif

// The calling thread's T, value-initialised on its first use in that
// thread. Tag tells apart two uses of the same type: PerThread<std::string,
// struct NameBufferTag>() and PerThread<std::string, struct TextTag>() are
// two strings.
template <class T, class Tag = T>
T& PerThread() {
#ifdef _WIN32
  static const std::uint32_t slot = detail::NewThreadSlot([](void* p) { delete static_cast<T*>(p); });
  auto* value = static_cast<T*>(detail::ThreadSlotValue(slot));
  if (value == nullptr) {
    value = new T();
    if (!detail::SetThreadSlotValue(slot, value)) {
      delete value;
      throw std::bad_alloc();
    }
  }
  return *value;
#else
  thread_local T value{};
  return value;
#endif
}

}  // namespace port
