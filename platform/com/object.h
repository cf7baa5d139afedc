// The component system: objects created by ProgID from a component library
// that sits in the running program's own folder.
//
// A ProgID is "Library.Class". The library "Korvel" is the file
// libkorvel.so beside the program; the component system loads it on first
// use and asks its DllGetClassObject entry point for the class's factory.
// Being in the folder is being registered: there is no registry to write.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com/error.h"

namespace com {

// Base of every object a component library hands out. Objects are shared
// (reference-counted) and used on the thread that created them.
class Object {
 public:
  Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object();

  // Number of component objects alive in the process.
  static long LiveObjects();
};

class ClassFactory {
 public:
  virtual ~ClassFactory();
  virtual std::shared_ptr<Object> CreateInstance() const = 0;
};

// The entry points a component library exports with C linkage.
// DllGetClassObject: S_OK and *factory set, or kClassNotAvailable.
using DllGetClassObjectFn = std::int32_t(const char* prog_id, const ClassFactory** factory);
using DllCanUnloadNowFn = std::int32_t();

inline constexpr std::int32_t kS_OK = 0;
inline constexpr std::int32_t kS_FALSE = 1;
inline constexpr std::int32_t kClassNotAvailable = ErrorNumber(0x80040111u);

// Creates an object by ProgID. Raises kErrClassNotRegistered, naming the
// ProgID, when the ProgID is malformed, its library is not in the program's
// folder or cannot be loaded, or the library does not know the class.
std::shared_ptr<Object> CreateObject(std::string_view prog_id);

// The object seen through interface I, or an error kErrNoInterface naming
// `what` when it does not implement I.
template <class I>
std::shared_ptr<I> QueryInterface(const std::shared_ptr<Object>& object, std::string_view what) {
  auto p = std::dynamic_pointer_cast<I>(object);
  if (!p) {
    throw Error(kErrNoInterface, "Component", "对象“" + std::string(what) + "”不支持所需的接口");
  }
  return p;
}

// A class this process makes available under a ProgID of its own, found
// before any library is asked (a program offering its own class objects).
// The registration lasts as long as the returned handle.
class ClassRegistration {
 public:
  ClassRegistration() = default;
  ClassRegistration(ClassRegistration&& o) noexcept;
  ClassRegistration& operator=(ClassRegistration&& o) noexcept;
  ~ClassRegistration();

 private:
  friend ClassRegistration RegisterClassObject(std::string prog_id, std::shared_ptr<const ClassFactory> factory);
  std::string prog_id_;
};
[[nodiscard]] ClassRegistration RegisterClassObject(std::string prog_id, std::shared_ptr<const ClassFactory> factory);

// Folder of the running program's executable, without a trailing slash.
std::string ProgramFolder();


}  // namespace com
