#include "platform/jet/text.h"

namespace jet {

void DecodeJet4Text(const unsigned char* data, std::size_t size, std::string* utf8) {
  if (size < 2 || data[0] != 0xFF || data[1] != 0xFE) {
    Utf16LeToUtf8(data, size, utf8);
    return;
  }
  utf8->clear();
  com::Utf16Sink sink(utf8);
  bool compressed = true;
  for (std::size_t i = 2; i < size;) {
    if (data[i] == 0x00) {
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      sink.Put(data[i]);
      ++i;
    } else {
      if (i + 1 >= size) break;  // a dangling byte: nothing to decode
      sink.Put(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
      i += 2;
    }
  }
}

}  // namespace jet
