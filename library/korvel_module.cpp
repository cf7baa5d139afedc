// The component library's class table and its four entry points.
#include <cstring>
#include <string>

#include "library/classes.h"
#include "library/interface/cconnection.h"
#include "library/interface/ipackage.h"
#include "library/plans/c5to6_custsupp_no_write_account.h"
#include "library/plans/c5to6_custsupp_write_account.h"
#include "library/plans/c5to6_depart.h"
#include "library/plans/c5to6_employee.h"
#include "library/plans/c5to6_goods_no_write_custody.h"
#include "library/plans/c5to6_goods_write_custody.h"
#include "library/plans/c5to6_normal.h"
#include "library/plans/c5to6_special_pack.h"

namespace korvel {
namespace {

template <class T>
std::shared_ptr<com::Object> Make() {
  return std::make_shared<T>();
}

const ClassEntry kClasses[] = {
    {"CConnection", "{26C627E3-630C-40E0-9CD4-D1A39811483E}", "{974EF43D-6E84-4811-B473-AE2812225F5C}",
     &Make<CConnection>},
    {"IPackage", "{19B12FE5-39B0-4385-BB3B-AA3BD9AC8655}", kIPackageIid, &Make<IPackage>},
    {"C5to6Depart", "{45F13034-4EB1-4C86-A129-0A1AE221D7A7}", "{6819C26A-4FF0-4D53-A995-7C0F0E63E764}",
     &Make<plans::C5to6Depart>},
    {"C5to6Employee", "{EE666A26-A5F9-461F-8687-0676DB542B91}", "{67687FA4-EB2B-4F43-95A8-B6767ABFEB76}",
     &Make<plans::C5to6Employee>},
    {"C5to6CustSuppNoWriteAccount", "{28D6596A-F59C-4D61-8074-C70D85A2B2A1}", "{C05ABFC1-408B-44C5-AC01-324FD4375BF5}",
     &Make<plans::C5to6CustSuppNoWriteAccount>},
    {"C5to6CustSuppWriteAccount", "{B035ED8B-3725-474E-84DC-061C6D83630D}", "{773B66A1-9147-4847-85A3-989B662CD69B}",
     &Make<plans::C5to6CustSuppWriteAccount>},
    {"C5to6GoodsNoWriteCustody", "{09B52A22-919F-44FF-8FF5-C79E4E7A46D7}", "{C45D3EB7-4D3D-421D-BE11-2EC0CA8365D6}",
     &Make<plans::C5to6GoodsNoWriteCustody>},
    {"C5to6GoodsWriteCustody", "{5D058D5C-F64F-47B9-B518-7CB9B43D635C}", "{87F33A52-9C55-4017-9F28-F44C0AFE30A2}",
     &Make<plans::C5to6GoodsWriteCustody>},
    {"C5to6SpecialPack", "{590B036C-F9AB-4219-8B9A-8BBB18FC0871}", "{17972EEE-7FBC-4568-A13E-401AD6B89E14}",
     &Make<plans::C5to6SpecialPack>},
    {"C5to6Normal", "{061DBF98-D002-462A-92B6-B416DA27FFE1}", "{4D13AF03-845E-4938-8596-FF4FBC113C89}",
     &Make<plans::C5to6Normal>},
};

class Factory final : public com::ClassFactory {
 public:
  explicit Factory(const ClassEntry& e) : entry_(e) {}
  std::shared_ptr<com::Object> CreateInstance() const override { return entry_.create(); }

 private:
  const ClassEntry& entry_;
};

}  // namespace

std::span<const ClassEntry> Classes() { return kClasses; }

}  // namespace korvel

// Registration is the library's presence in the program's folder; the two
// registration entry points only confirm that the class table is sound.
extern "C" std::int32_t DllRegisterServer() { return korvel::Classes().empty() ? com::kS_FALSE : com::kS_OK; }
extern "C" std::int32_t DllUnregisterServer() { return com::kS_OK; }

extern "C" std::int32_t DllGetClassObject(const char* prog_id, const com::ClassFactory** factory) {
  if (!prog_id || !factory) return com::kClassNotAvailable;
  *factory = nullptr;
  const std::string prefix = std::string(korvel::kLibraryName) + ".";
  if (std::strncmp(prog_id, prefix.c_str(), prefix.size()) != 0) return com::kClassNotAvailable;
  const std::string_view name = prog_id + prefix.size();
  // One factory per class, alive for the life of the library.
  static const auto factories = [] {
    std::vector<std::unique_ptr<korvel::Factory>> f;
    for (const auto& e : korvel::Classes()) f.push_back(std::make_unique<korvel::Factory>(e));
    return f;
  }();
  const auto classes = korvel::Classes();
  for (std::size_t i = 0; i < classes.size(); ++i) {
    if (classes[i].class_name == name) {
      *factory = factories[i].get();
      return com::kS_OK;
    }
  }
  return com::kClassNotAvailable;
}

extern "C" std::int32_t DllCanUnloadNow() {
  return com::Object::LiveObjects() == 0 ? com::kS_OK : com::kS_FALSE;
}
