#include "platform/com/object.h"

#include <atomic>
#include <cctype>
#include <map>
#include <mutex>

#include "platform/com/names.h"
#include "platform/port/files.h"
#include "platform/port/system.h"

namespace com {
namespace {

std::atomic<long> g_live_objects{0};

std::mutex g_mutex;
std::map<std::string, void*> g_libraries;             // lower-case library name -> handle
std::map<std::string, std::shared_ptr<const ClassFactory>> g_registered;  // ProgID -> factory

[[noreturn]] void NotRegistered(std::string_view prog_id, const std::string& why) {
  throw Error(kErrClassNotRegistered, "Component",
              "无法创建对象“" + std::string(prog_id) + "”：" + why);
}

// Loads (once) the library of the given lower-case name; null with *why set
// when it cannot be loaded.
void* LoadComponentLibrary(const std::string& name, std::string* why) {
  auto it = g_libraries.find(name);
  if (it != g_libraries.end()) return it->second;
  const std::string folder = ProgramFolder();
  std::string path = folder + "/" + port::SharedLibraryFileName(name);
  if (!port::PathExists(path)) {
    *why = "组件库 " + path + " 不存在（组件库必须与程序在同一路径下）";
    return nullptr;
  }
  // Component libraries stay loaded for the life of the process: objects
  // they created may be alive anywhere.
  std::string system_words;
  void* handle = port::LoadSharedLibrary(path, &system_words);
  if (!handle) {
    *why = "无法加载组件库 " + path + "：" + system_words;
    return nullptr;
  }
  g_libraries.emplace(name, handle);
  return handle;
}

}  // namespace

Object::Object() { g_live_objects.fetch_add(1, std::memory_order_relaxed); }
Object::~Object() { g_live_objects.fetch_sub(1, std::memory_order_relaxed); }
long Object::LiveObjects() { return g_live_objects.load(std::memory_order_relaxed); }

ClassFactory::~ClassFactory() = default;

std::shared_ptr<Object> CreateObject(std::string_view prog_id) {
  const auto dot = prog_id.find('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == prog_id.size()) {
    NotRegistered(prog_id, "类名应为“库名.类名”的形式");
  }
  std::string library;
  for (char c : prog_id.substr(0, dot)) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') {
      NotRegistered(prog_id, "库名只能由字母、数字和下划线组成");
    }
    library.push_back(AsciiLower(c));
  }

  const ClassFactory* factory = nullptr;
  std::shared_ptr<const ClassFactory> registered;
  {
    std::lock_guard lock(g_mutex);
    if (auto it = g_registered.find(std::string(prog_id)); it != g_registered.end()) registered = it->second;
  }
  if (registered) return registered->CreateInstance();
  {
    std::lock_guard lock(g_mutex);
    std::string why;
    void* handle = LoadComponentLibrary(library, &why);
    if (!handle) NotRegistered(prog_id, why);
    auto* get = reinterpret_cast<DllGetClassObjectFn*>(port::FindSymbol(handle, "DllGetClassObject"));
    if (!get) NotRegistered(prog_id, "组件库没有 DllGetClassObject 入口");
    const std::string id(prog_id);
    if (get(id.c_str(), &factory) != kS_OK || !factory) NotRegistered(prog_id, "类没有注册");
  }
  return factory->CreateInstance();
}

ClassRegistration RegisterClassObject(std::string prog_id, std::shared_ptr<const ClassFactory> factory) {
  std::lock_guard lock(g_mutex);
  if (!g_registered.emplace(prog_id, std::move(factory)).second) {
    throw Error(kErrInvalidArgument, "Component", "类“" + prog_id + "”已经注册");
  }
  ClassRegistration registration;
  registration.prog_id_ = std::move(prog_id);
  return registration;
}

ClassRegistration::ClassRegistration(ClassRegistration&& o) noexcept : prog_id_(std::move(o.prog_id_)) {
  o.prog_id_.clear();
}

ClassRegistration& ClassRegistration::operator=(ClassRegistration&& o) noexcept {
  if (this != &o) {
    this->~ClassRegistration();
    prog_id_ = std::move(o.prog_id_);
    o.prog_id_.clear();
  }
  return *this;
}

ClassRegistration::~ClassRegistration() {
  if (prog_id_.empty()) return;
  std::lock_guard lock(g_mutex);
  g_registered.erase(prog_id_);
}

std::string ProgramFolder() { return port::ProgramFolder(); }

}  // namespace com
