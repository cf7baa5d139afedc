#include "platform/jet/properties.h"

#include "platform/com/error.h"
#include "platform/com/names.h"
#include "platform/jet/data_page.h"
#include "platform/jet/text.h"

namespace jet {
namespace {

constexpr std::uint32_t kNamesChunk = 0x80;

class BlobReader {
 public:
  BlobReader(std::string_view blob, Version version, const std::string& codepage, std::string_view object,
             const std::string& path)
      : data_(reinterpret_cast<const unsigned char*>(blob.data())), size_(blob.size()), version_(version),
        codepage_(codepage), object_(object), path_(path) {}

  std::vector<Property> Read() {
    std::vector<Property> out;
    if (size_ == 0) return out;
    const std::string_view magic = version_ == Version::kJet4 ? "MR2" : "KKD";
    Need(0, 4);
    if (std::string_view(reinterpret_cast<const char*>(data_), 3) != magic || data_[3] != 0) Bad("开头不是属性块");
    std::vector<std::string> names;
    for (std::size_t at = 4; at < size_;) {
      Need(at, 6);
      const std::size_t length = Le32(data_ + at);
      if (length < 6 || length > size_ - at) Bad("的块长度 " + std::to_string(length) + " 不可能");
      const std::size_t end = at + length;
      const std::uint32_t type = Le16(data_ + at + 4);
      if (type == kNamesChunk) {
        for (std::size_t p = at + 6; p < end;) {
          std::string name;
          p = Text(p, end, &name);
          names.push_back(std::move(name));
        }
      } else {
        Values(at + 6, end, names, &out);
      }
      at = end;
    }
    return out;
  }

 private:
  [[noreturn]] void Bad(const std::string& fault) const {
    throw com::Error(kErrNotJetDatabase, kErrorSource,
                     "数据库文件“" + path_ + "”已损坏：对象“" + std::string(object_) + "”的属性块" + fault + "。");
  }
  void Need(std::size_t at, std::size_t n, std::size_t end = std::string::npos) const {
    if (end == std::string::npos) end = size_;
    if (at > end || n > end - at) Bad("超出其长度");
  }
  // A name: its length in bytes (16 bits), then the name. Returns the end.
  std::size_t Text(std::size_t at, std::size_t end, std::string* out) const {
    Need(at, 2, end);
    const std::size_t n = Le16(data_ + at);
    Need(at + 2, n, end);
    if (version_ == Version::kJet4) {
      Utf16LeToUtf8(data_ + at + 2, n, out);
    } else {
      CodePage(codepage_).ToUtf8(data_ + at + 2, n, out);
    }
    return at + 2 + n;
  }
  // A chunk of values: the length of its header, the owner's name, then
  // the entries.
  void Values(std::size_t at, std::size_t end, const std::vector<std::string>& names,
              std::vector<Property>* out) const {
    Need(at, 4, end);
    const std::size_t header = Le32(data_ + at);
    Need(at, header, end);
    std::string owner;
    Text(at + 4, at + header, &owner);
    for (std::size_t p = at + header; p < end;) {
      Need(p, 8, end);
      const std::size_t length = Le16(data_ + p);
      if (length < 8) Bad("的属性长度 " + std::to_string(length) + " 不可能");
      Need(p, length, end);
      const std::size_t name = Le16(data_ + p + 4), value = Le16(data_ + p + 6);
      if (name >= names.size()) Bad("的属性名序号 " + std::to_string(name) + " 超出名称表");
      Need(p + 8, value, p + length);
      out->push_back({owner, names[name], data_[p + 3],
                      std::string(reinterpret_cast<const char*>(data_ + p + 8), value)});
      p += length;
    }
  }

  const unsigned char* data_;
  std::size_t size_;
  Version version_;
  const std::string& codepage_;
  std::string_view object_;
  const std::string& path_;
};

}  // namespace

std::vector<Property> ParseProperties(std::string_view blob, Version version, const std::string& codepage,
                                      std::string_view object, const std::string& path) {
  return BlobReader(blob, version, codepage, object, path).Read();
}

bool BooleanProperty(const std::vector<Property>& properties, std::string_view owner, std::string_view name,
                     bool otherwise) {
  for (const Property& p : properties) {
    if (p.type == 1 && !p.value.empty() && com::SameName(p.owner, owner) && com::SameName(p.name, name)) {
      return p.value[0] != 0;
    }
  }
  return otherwise;
}

}  // namespace jet
