// The package object model: typed properties, collections, the dump.
#include <gtest/gtest.h>

#include "platform/com/error.h"
#include "platform/dts/dump.h"
#include "platform/dts/model.h"

namespace {

using com::Variant;

TEST(Properties, CoerceToTheDeclaredTypeButKeepVariantsAsGiven) {
  auto pkg = dts::Package::Create();
  auto task = pkg->Tasks().New("DTSDataPumpTask");
  auto& pump = task->GetCustomTask();
  pump.Set("FirstRow", Variant::I2(0));
  pump.Set("LastRow", Variant::Text("0"));
  pump.Set("ProgressRowCount", Variant::I2(1000));  // a Long property takes a 2-byte integer as Long
  EXPECT_EQ(pump.properties().Find("FirstRow")->type(), com::VarType::kI2);
  EXPECT_EQ(pump.properties().Find("LastRow")->type(), com::VarType::kText);
  EXPECT_EQ(pump.properties().Find("ProgressRowCount")->type(), com::VarType::kI4);
  EXPECT_EQ(pump.Get("FirstRow").ToInt64(), pump.Get("LastRow").ToInt64());
}

TEST(Properties, UnknownNamesAndImpossibleValuesAreErrors) {
  auto step = dts::Package::Create()->Steps().New();
  try {
    step->Set("ExecutionStatuss", Variant::I4(1));
    FAIL();
  } catch (const com::Error& e) {
    EXPECT_EQ(e.number(), com::kErrNoSuchProperty);
    EXPECT_NE(e.description().find("ExecutionStatuss"), std::string::npos);
  }
  EXPECT_THROW(step->Set("RelativePriority", Variant::Text("high")), com::Error);
  EXPECT_THROW(step->Set("Name", Variant::Null()), com::Error);
  auto pc = step->PrecedenceConstraints().New("x");
  EXPECT_THROW(pc->Set("PrecedenceBasis", Variant::I8(1LL << 40)), com::Error);
}

TEST(Properties, UnsetPropertiesReadAsTheirDefaults) {
  auto pkg = dts::Package::Create();
  EXPECT_TRUE(pkg->GetBool("UseTransaction"));
  EXPECT_EQ(pkg->GetLong("MaxConcurrentSteps"), 4);
  auto step = pkg->Steps().New();
  EXPECT_EQ(step->GetLong("ExecutionStatus"), dts::kStepWaiting);
  EXPECT_TRUE(step->properties().entries().empty());
}

TEST(Properties, SettingAgainKeepsTheFirstPosition) {
  auto step = dts::Package::Create()->Steps().New();
  step->Set("Name", Variant::Text("a"));
  step->Set("Description", Variant::Text("b"));
  step->Set("Name", Variant::Text("c"));
  ASSERT_EQ(step->properties().entries().size(), 2u);
  EXPECT_EQ(step->properties().entries()[0].name, "Name");
  EXPECT_EQ(step->properties().entries()[0].value.text(), "c");
}

TEST(Collections, LookUpByNameIdAndOneBasedIndex) {
  auto pkg = dts::Package::Create();
  for (const char* n : {"first", "second"}) {
    auto s = pkg->Steps().New();
    s->Set("Name", Variant::Text(n));
    pkg->Steps().Add(s);
  }
  EXPECT_EQ(pkg->Steps().Count(), 2);
  EXPECT_EQ(pkg->Steps().Item(1).Name(), "first");
  EXPECT_EQ(pkg->Steps().Item("second").Name(), "second");
  EXPECT_THROW(pkg->Steps().Item(0), com::Error);
  EXPECT_THROW(pkg->Steps().Item(3), com::Error);
  EXPECT_THROW(pkg->Steps().Item("third"), com::Error);

  auto dup = pkg->Steps().New();
  dup->Set("Name", Variant::Text("first"));
  EXPECT_THROW(pkg->Steps().Add(dup), com::Error);
  EXPECT_THROW(pkg->Steps().Add(pkg->Steps().New()), com::Error);  // no name

  auto c = pkg->Connections().New("SQLOLEDB");
  c->Set("ID", Variant::I4(2));
  pkg->Connections().Add(c);
  EXPECT_EQ(pkg->Connections().FindById(2), c.get());
  auto c2 = pkg->Connections().New("SQLOLEDB");
  c2->Set("ID", Variant::I4(2));
  EXPECT_THROW(pkg->Connections().Add(c2), com::Error);
}

TEST(Collections, RefuseUnknownTaskKindsAndTransformationClasses) {
  auto pkg = dts::Package::Create();
  EXPECT_THROW(pkg->Tasks().New("DTSActiveScriptTask"), com::Error);
  auto t = pkg->Tasks().New("DTSDataPumpTask");
  EXPECT_THROW(t->AsDataPump().Transformations().New("DTS.DataPumpTransformUpperString"), com::Error);
  auto copy = t->AsDataPump().Transformations().New("DTS.DataPumpTransformCopy");
  EXPECT_THROW(copy->TransformServerProperties().Set("Text", Variant::Text("x")), com::Error);
  auto script = t->AsDataPump().Transformations().New("DTS.DataPumpTransformScript");
  EXPECT_NO_THROW(script->TransformServerProperties().Set("Text", Variant::Text("x")));
  auto sql = pkg->Tasks().New("DTSExecuteSQLTask");
  EXPECT_THROW(sql->AsDataPump(), com::Error);
}

TEST(Dump, ListsEveryObjectAndPropertyInOrder) {
  auto pkg = dts::Package::Create();
  pkg->Set("Name", Variant::Text("P \"1\""));
  pkg->Set("FailOnError", Variant::Bool(true));
  auto c = pkg->Connections().New("SQLOLEDB");
  c->ConnectionProperties().Set("User ID", Variant::Text("sa"));
  c->Set("ID", Variant::I4(2));
  c->ConnectionProperties().Set("Password", Variant::Text("secret"));
  c->Set("Password", Variant::Text(""));
  pkg->Connections().Add(c);
  auto s = pkg->Steps().New();
  s->Set("Name", Variant::Text("清除\r\n"));
  auto pc = s->PrecedenceConstraints().New("other");
  pc->Set("Value", Variant::I2(0));
  s->PrecedenceConstraints().Add(pc);
  pkg->Steps().Add(s);
  auto t = pkg->Tasks().New("DTSDataPumpTask");
  t->Set("Name", Variant::Text("t"));
  t->GetCustomTask().Set("FirstRow", Variant::Text("0"));
  auto tr = t->AsDataPump().Transformations().New("DTS.DataPumpTransformScript");
  tr->Set("TransformFlags", Variant::I4(63));
  auto col = tr->SourceColumns().New("A", 3);
  col->Set("Nullable", Variant::Bool(false));
  tr->SourceColumns().Add(col);
  tr->TransformServerProperties().Set("Language", Variant::Text("VBScript"));
  t->AsDataPump().Transformations().Add(tr);
  pkg->Tasks().Add(t);

  const std::string expected =
      "Package.Name = str \"P \\\"1\\\"\"\n"
      "Package.FailOnError = bool true\n"
      "Package.Connections(1) = New(\"SQLOLEDB\")\n"
      "Package.Connections(1).ConnectionProperties(\"User ID\") = str \"sa\"\n"
      "Package.Connections(1).ID = i4 2\n"
      "Package.Connections(1).ConnectionProperties(\"Password\") = str <hidden>\n"
      "Package.Connections(1).Password = str \"\"\n"
      "Package.Steps(1) = New()\n"
      "Package.Steps(1).Name = str \"清除\\r\\n\"\n"
      "Package.Steps(1).PrecedenceConstraints(1) = New(\"other\")\n"
      "Package.Steps(1).PrecedenceConstraints(1).Value = i2 0\n"
      "Package.Tasks(1) = New(\"DTSDataPumpTask\")\n"
      "Package.Tasks(1).Name = str \"t\"\n"
      "Package.Tasks(1).CustomTask.FirstRow = str \"0\"\n"
      "Package.Tasks(1).CustomTask.Transformations(1) = New(\"DTS.DataPumpTransformScript\")\n"
      "Package.Tasks(1).CustomTask.Transformations(1).TransformFlags = i4 63\n"
      "Package.Tasks(1).CustomTask.Transformations(1).TransformServerProperties(\"Language\") = str \"VBScript\"\n"
      "Package.Tasks(1).CustomTask.Transformations(1).SourceColumns(1) = New(\"A\", 3)\n"
      "Package.Tasks(1).CustomTask.Transformations(1).SourceColumns(1).Nullable = bool false\n";
  EXPECT_EQ(dts::DumpPackage(*pkg), expected);
  EXPECT_NE(dts::DumpPackage(*pkg, {.hide_passwords = false}).find("\"secret\""), std::string::npos);
}

TEST(Package, UnInitializeReleasesEverything) {
  auto pkg = dts::Package::Create();
  auto s = pkg->Steps().New();
  s->Set("Name", Variant::Text("s"));
  pkg->Steps().Add(s);
  auto t = pkg->Tasks().New("DTSExecuteSQLTask");
  t->Set("Name", Variant::Text("s"));
  pkg->Tasks().Add(t);
  dts::PackageEvents sink;
  dts::EventLink link(pkg, &sink);
  std::weak_ptr<dts::Step> weak_step = s;
  s.reset();
  pkg->UnInitialize();
  EXPECT_EQ(pkg->Steps().Count(), 0);
  EXPECT_EQ(pkg->Tasks().Count(), 0);
  EXPECT_TRUE(pkg->sinks().empty());
  EXPECT_TRUE(weak_step.expired());
}

}  // namespace
