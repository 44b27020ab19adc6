#include <gtest/gtest.h>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/parsers/vxPDFParsers.h"

using namespace vx;

namespace {

std::unique_ptr<TvxPDFDictObject> ParseDict(const std::string& text) {
  TvxPDFStreamReader reader(101, std::make_shared<const std::string>(text));
  auto obj = reader.ParseObject();
  return std::unique_ptr<TvxPDFDictObject>(&Cast<TvxPDFDictObject>(obj.release()));
}

}  // namespace

TEST(Dictionary, DuplicateKeysKeepFileOrderAndFirstMatchWins) {
  auto d = ParseDict("<< /A 1 /A 2 >>");
  ASSERT_EQ(d->Count(), 2);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d->Find("/A")).Value, 1);
  d->SetValue("/A", MakeInteger(3));
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d->ValueAt(0)).Value, 3);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d->ValueAt(1)).Value, 2);
  d->Remove("/A");
  ASSERT_EQ(d->Count(), 1);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d->Find("/A")).Value, 2);
}

TEST(Dictionary, KeysCompareByteForByte) {
  auto d = ParseDict("<< /A 1 >>");
  EXPECT_EQ(d->Find("/a"), nullptr);
  EXPECT_EQ(d->Find("A"), nullptr);
  d->AddName("/Type", "");
  EXPECT_EQ(d->Count(), 1);
}

TEST(Dictionary, LargeDictionaryIndexStaysInStepWithEdits) {
  // Past the size where lookups switch to a hash index, first-match and
  // position semantics must be exactly those of a scan.
  TvxPDFDictObject d;
  for (int i = 0; i < 40; ++i) d.AddInteger("/K" + std::to_string(i), i);
  d.AddInteger("/K5", 99);  // duplicate after the first
  EXPECT_EQ(d.IndexOf("/K5"), 5);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d.Find("/K5")).Value, 5);
  d.Remove("/K5");
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d.Find("/K5")).Value, 99);
  EXPECT_EQ(d.IndexOf("/K6"), 5);
  for (int i = 40; i < 200; ++i) d.AddInteger("/K" + std::to_string(i), i);  // reallocations
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d.Find("/K150")).Value, 150);
  EXPECT_EQ(d.IndexOf("/missing"), -1);
  d.SetValue("/K0", MakeName("/X"));
  EXPECT_EQ(d.IndexOf("/K0"), 0);
}

TEST(Dictionary, SetValueAtBeyondEndRaises) {
  TvxPDFDictObject d;
  d.AddInteger("/A", 1);
  try {
    d.SetValueAt(1, MakeNull());
    FAIL();
  } catch (const EInvalidIndex& e) {
    EXPECT_STREQ(e.what(), "Index Out Of Bounds!");
  }
  auto previous = d.SetValueAt(0, MakeInteger(5));
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(previous.get()).Value, 1);
}

TEST(Dictionary, MergeClonesValues) {
  TvxPDFDictObject a, b;
  a.AddInteger("/A", 1);
  b.AddInteger("/A", 2);
  b.AddName("/B", "/X");
  a.Merge(&b);
  a.Merge(nullptr);
  ASSERT_EQ(a.Count(), 2);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(a.Find("/A")).Value, 2);
  EXPECT_NE(a.Find("/B"), b.Find("/B"));
}

TEST(ObjectModel, CloneOfStreamInDictionaryIsIndependent) {
  auto dict = std::make_unique<TvxPDFDictObject>();
  auto stream = std::make_unique<TvxPDFStreamObject>(std::make_unique<TvxPDFDictObject>(),
                                                     std::make_unique<TvxMemoryStream>("abc"));
  dict->Add("/S", std::move(stream));
  auto copy = dict->Clone();
  Cast<TvxPDFStreamObject>(Cast<TvxPDFDictObject>(copy.get()).Find("/S")).Data->Assign("zzz");
  copy.reset();
  EXPECT_EQ(Cast<TvxPDFStreamObject>(dict->Find("/S")).DataView(), "abc");
  // A stream without data clones without failing.
  TvxPDFStreamObject empty(std::make_unique<TvxPDFDictObject>());
  EXPECT_EQ(Cast<TvxPDFStreamObject>(empty.Clone().get()).Data, nullptr);
}

TEST(ObjectModel, SharedViewCopiesOnWrite) {
  auto buffer = std::make_shared<const std::string>("0123456789");
  TvxMemoryStream view(buffer, 2, 4);
  auto copy = view.Copy();
  EXPECT_EQ(view.View(), "2345");
  copy->Seek(0, TvxSeekOrigin::soEnd);
  copy->WriteBytes("X");
  EXPECT_EQ(copy->View(), "2345X");
  EXPECT_EQ(view.View(), "2345");
  EXPECT_EQ(*buffer, "0123456789");
}

TEST(ObjectModel, ArrayAccessOutsideReturnsNothing) {
  TvxPDFArrayObject a;
  a.AddInteger(1);
  EXPECT_EQ(a.GetItem(-1), nullptr);
  EXPECT_EQ(a.GetItem(1), nullptr);
  auto old = a.PutItem(0, MakeInteger(2));
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(old.get()).Value, 1);
}

TEST(ObjectModel, TextForms) {
  EXPECT_EQ(TvxPDFRealObject(0.5).AsText(), "0.5000000000");
  EXPECT_EQ(TvxPDFRealObject(612).AsText(), "612.0000000000");
  EXPECT_EQ(TvxPDFRealObject(0.1).AsText(), "0.1000000000");
  EXPECT_EQ(TvxPDFRealObject(-1.25).AsText(), "-1.2500000000");
  EXPECT_EQ(TvxPDFRealObject(1.0 / 3).AsText(), "0.3333333333");
  EXPECT_EQ(TvxPDFRealObject(1.23456789012).AsText(), "1.2345678900");
  EXPECT_EQ(TvxPDFRealObject(1e-12).AsText(), "0.0000000000");
  EXPECT_EQ(TvxPDFRealObject(-1e-12).AsText(), "0.0000000000");
  EXPECT_EQ(TvxPDFRealObject(-0.0).AsText(), "0.0000000000");
  EXPECT_EQ(TvxPDFRealObject(0.99999999999).AsText(), "1.0000000000");
  EXPECT_EQ(TvxPDFRealObject(1e15).AsText(), "1000000000000000.0000000000");
  EXPECT_EQ(TvxPDFRealObject(12345678901234.0).AsText(), "12345678900000.0000000000");
  EXPECT_EQ(TvxPDFIntegerObject(-7).AsText(), "-7");
  EXPECT_EQ(TvxPDFBooleanObject(1).AsText(), "true");
  EXPECT_EQ(TvxPDFStringObject("(ab)").Contents(), "ab");
  EXPECT_EQ(TvxPDFStringObject("<4142>", true).Contents(), "4142");
  EXPECT_EQ(TvxPDFStringObject("").Contents(), "");
}

TEST(ObjectModel, CastToWrongKindRaisesInvalidCast) {
  TvxPDFIntegerObject i(1);
  EXPECT_THROW(Cast<TvxPDFRealObject>(&i), EInvalidCast);
  EXPECT_THROW(Cast<TvxPDFRealObject>(static_cast<TvxPDFObject*>(nullptr)), EInvalidCast);
  EXPECT_EQ(As<TvxPDFRealObject>(&i), nullptr);
}
