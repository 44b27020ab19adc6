#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/parsers/vxPDFParsers.h"

using namespace vx;

namespace {

std::unique_ptr<TvxPDFDictObject> ParseDict(const std::string& text) {
  TvxPDFStreamReader reader(101, std::make_shared<const std::string>(text));
  auto obj = reader.ParseObject();
  return std::unique_ptr<TvxPDFDictObject>(&Cast<TvxPDFDictObject>(obj.release()));
}

std::unique_ptr<TvxPDFArrayObject> ParseArray(const std::string& text);

}  // namespace

TEST(Dictionary, ParsedDuplicateKeysKeepTheFirstPlaceAndTheLastValue) {
  // As other readers take them; small and large dictionaries alike.
  for (int extra : {0, 30}) {
    std::string text = "<< /A 1 /B 2 ";
    for (int i = 0; i < extra; ++i) text += "/K" + std::to_string(i) + " 0 ";
    text += "/A 3 /A << /C 4 >> /B 5 >>";
    TvxDuplicateKeys noted;
    TvxPDFStreamReader reader(101, std::make_shared<const std::string>(text));
    reader.DuplicateKeys = &noted;
    auto d = std::unique_ptr<TvxPDFDictObject>(&Cast<TvxPDFDictObject>(reader.ParseObject().release()));
    ASSERT_EQ(d->Count(), 2 + extra);
    EXPECT_EQ(d->KeyAt(0), "/A");
    EXPECT_TRUE(d->ValueAt(0)->IsDictionary());
    EXPECT_EQ(Cast<TvxPDFIntegerObject>(d->Find("/B")).Value, 5);
    size_t more = 0;
    EXPECT_EQ(noted.Take(more), (std::vector<std::string>{"/A", "/B"}));
    EXPECT_TRUE(noted.Take(more).empty());  // said once
  }
  // Built in memory, duplicates stay and the first match wins.
  TvxPDFDictObject d;
  d.AddInteger("/A", 1);
  d.AddInteger("/A", 2);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d.Find("/A")).Value, 1);
  d.Remove("/A");
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d.Find("/A")).Value, 2);
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

TEST(Dictionary, PairsSurviveGrowthDeletionAndAdoption) {
  // Pairs are held in one block whose spare room is bounded: many additions
  // and deletions must keep every pair, in order, and lookups in step.
  TvxPDFDictObject d;
  constexpr int kPairs = 70000;  // more than the spare room can count
  for (int i = 0; i < kPairs; ++i) d.AddInteger(i % 2 ? "/Odd" : "/Even", i);
  ASSERT_EQ(d.Count(), kPairs);
  for (int i = kPairs - 1; i >= 1000; --i) d.Delete(i);
  ASSERT_EQ(d.Count(), 1000);
  int expected = 0;
  for (const auto& e : d.Entries()) {
    ASSERT_EQ(std::string_view(e.Key), expected % 2 ? "/Odd" : "/Even");
    ASSERT_EQ(Cast<TvxPDFIntegerObject>(e.Value.get()).Value, expected++);
  }
  EXPECT_EQ(d.Entries().size(), 1000u);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d.Find("/Odd")).Value, 1);
  d.Delete(0);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d.Find("/Even")).Value, 2);
  d.Add("/New", MakeName("/V"));
  EXPECT_EQ(d.KeyAt(d.Count() - 1), "/New");

  // A clone is exact and independent; the parser's pairs are adopted whole.
  auto copy = d.Clone();
  auto& c = Cast<TvxPDFDictObject>(copy.get());
  ASSERT_EQ(c.Count(), d.Count());
  for (int i = 0; i < d.Count(); ++i) EXPECT_EQ(c.KeyAt(i), d.KeyAt(i));
  EXPECT_NE(c.ValueAt(0), d.ValueAt(0));
  auto parsed = ParseDict("<< /A 1 /B << /C [1 2] >> /D 3 >>");
  ASSERT_EQ(parsed->Count(), 3);
  EXPECT_EQ(parsed->KeyAt(2), "/D");
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(parsed->Find("/A")).Value, 1);
  TvxPDFDictObject::EntryList aside;
  for (int i = 0; i < 3; ++i) aside.push_back({TvxKey("/K"), MakeInteger(i)});
  d.AdoptEntries(std::move(aside));
  ASSERT_EQ(d.Count(), 3);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d.ValueAt(2)).Value, 2);
  d.AddInteger("/Z", 9);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(d.Find("/Z")).Value, 9);
}

TEST(ObjectModel, EveryKindIsCopiedAndFreedThroughTheBaseClass) {
  // Copies and deletes go by the kind: through a pointer to the base class,
  // each object must come back as its own kind with its own value (the
  // sanitized build checks that each one is freed whole, at its size).
  std::vector<TvxPDFObjectPtr> objects;
  objects.push_back(MakeBoolean(true));
  objects.push_back(MakeInteger(-7));
  objects.push_back(std::make_unique<TvxPDFInt64Object>(int64_t(1) << 40));
  objects.push_back(MakeReal(0.5));
  objects.push_back(std::make_unique<TvxPDFStringObject>("(a string longer than the small buffer)"));
  objects.push_back(MakeName("/AName#20NotSharedBecauseItIsLongerThanFortyEightBytesXXXXXXXX"));
  objects.push_back(MakeName("/Type"));
  objects.push_back(ParseArray("[1 0.5 /N]"));
  objects.push_back(ParseArray("[0 0 612 792]"));
  objects.push_back(ParseDict("<< /A [1 2] /B << /C (x) >> >>"));
  objects.push_back(std::make_unique<TvxPDFStreamObject>(ParseDict("<< /Length 3 >>"),
                                                         std::make_unique<TvxMemoryStream>("abc")));
  objects.push_back(MakeNull());
  objects.push_back(std::make_unique<TvxPDFIndirectReference>(101, 5, 2));
  objects.push_back(std::make_unique<TvxPDFIndirectObject>(101, 6, 0, ParseDict("<< /K 1 >>")));
  for (const auto& object : objects) {
    TvxPDFObjectPtr copy = static_cast<const TvxPDFObject&>(*object).Clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), object.get());
    EXPECT_EQ(copy->ObjectType, object->ObjectType) << object->TypeName();
  }
  EXPECT_TRUE(Cast<TvxPDFBooleanObject>(objects[0]->Clone().get()).Value);
  EXPECT_EQ(Cast<TvxPDFInt64Object>(objects[2]->Clone().get()).Value, int64_t(1) << 40);
  EXPECT_EQ(Cast<TvxPDFStringObject>(objects[4]->Clone().get()).Text, "(a string longer than the small buffer)");
  EXPECT_EQ(Cast<TvxPDFNameObject>(objects[5]->Clone().get()).Text,
            "/AName#20NotSharedBecauseItIsLongerThanFortyEightBytesXXXXXXXX");
  EXPECT_EQ(Cast<TvxPDFArrayObject>(objects[8]->Clone().get()).NumberAt(3), 792);
  EXPECT_EQ(Cast<TvxPDFStreamObject>(objects[10]->Clone().get()).DataView(), "abc");
  const auto ref = objects[12]->Clone();
  EXPECT_EQ(Cast<TvxPDFIndirectReference>(ref.get()).ObjectNumber, 5);
  EXPECT_EQ(Cast<TvxPDFIndirectReference>(ref.get()).Generation, 2);
  const auto indirect = objects[13]->Clone();
  EXPECT_EQ(Cast<TvxPDFIndirectObject>(indirect.get()).ObjectNumber, 6);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(Cast<TvxPDFDictObject>(Cast<TvxPDFIndirectObject>(indirect.get()).Content.get()).Find("/K")).Value, 1);
  objects.clear();  // every kind deleted through the base class
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

namespace {

std::unique_ptr<TvxPDFArrayObject> ParseArray(const std::string& text) {
  TvxPDFStreamReader reader(101, std::make_shared<const std::string>(text));
  auto obj = reader.ParseObject();
  return std::unique_ptr<TvxPDFArrayObject>(&Cast<TvxPDFArrayObject>(obj.release()));
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

}  // namespace

// Numbers are held packed in one of several forms (32-bit integers, short
// decimals, doubles); whichever is chosen, every value comes back with the
// bits and the kind the parser gave it, packed, unpacked and cloned.
TEST(PackedArray, EveryFormGivesBackExactValuesAndKinds) {
  const std::vector<std::string> numbers = {
      "0 1 -1 2147483647 -2147483648 612 792",                     // integers only
      "0 0.5 612 -1.25 0.1 .25 -.001 123456.789 2147483.647 -7.",  // short decimals
      "1 0.333333333333333 3.0000000001 0.1",                       // a long fraction: doubles
      "-0.0 0 0.0 -0",                                              // a negative zero stays one
      "4294967296.5 1 99999999999.25",                              // beyond 32 bits
  };
  for (const std::string& list : numbers) {
    SCOPED_TRACE(list);
    // The same words after a name are read as objects and stay unpacked:
    // they are what the packed values must equal.
    auto packed = ParseArray("[ " + list + " ]");
    auto plain = ParseArray("[ /Name " + list + " ]");
    ASSERT_FALSE(plain->IsPacked());
    ASSERT_TRUE(packed->IsPacked());
    ASSERT_EQ(packed->Count(), plain->Count() - 1);
    auto clone = packed->Clone();
    auto& cloned = Cast<TvxPDFArrayObject>(clone.get());
    ASSERT_TRUE(cloned.IsPacked());
    for (int i = 0; i < packed->Count(); ++i) {
      const TvxPDFObject* expected = plain->GetItem(i + 1);
      const double value = expected->IsInteger() ? Cast<TvxPDFIntegerObject>(expected).Value
                                                 : Cast<TvxPDFRealObject>(expected).Value;
      EXPECT_EQ(packed->IsIntegerAt(i), expected->IsInteger()) << i;
      EXPECT_TRUE(SameBits(packed->NumberAt(i), value)) << i << ": " << packed->NumberAt(i) << " " << value;
      EXPECT_EQ(cloned.IsIntegerAt(i), expected->IsInteger()) << i;
      EXPECT_TRUE(SameBits(cloned.NumberAt(i), value)) << i;
    }
    // Unpacked, the objects are those the parser made.
    const auto& items = packed->Items();
    EXPECT_FALSE(packed->IsPacked());
    ASSERT_EQ(int(items.size()), plain->Count() - 1);
    for (size_t i = 0; i < items.size(); ++i) {
      const TvxPDFObject* expected = plain->GetItem(int(i) + 1);
      ASSERT_EQ(items[i]->ObjectType, expected->ObjectType) << i;
      if (expected->IsInteger())
        EXPECT_EQ(Cast<TvxPDFIntegerObject>(items[i].get()).Value, Cast<TvxPDFIntegerObject>(expected).Value);
      else
        EXPECT_TRUE(SameBits(Cast<TvxPDFRealObject>(items[i].get()).Value, Cast<TvxPDFRealObject>(expected).Value));
    }
    // The clone is independent of the array it came from.
    EXPECT_TRUE(cloned.IsPacked());
  }
}

// Arrays shared by the save's threads may be unpacked by any of them, more
// than one at once; all must see the one list that results.
TEST(PackedArray, UnpackingFromSeveralThreadsMakesOneList) {
  std::vector<std::unique_ptr<TvxPDFArrayObject>> arrays;
  for (int i = 0; i < 2000; ++i) arrays.push_back(ParseArray("[ 1 2.5 " + std::to_string(i) + " ]"));
  std::vector<const TvxPDFArrayObject::ItemList*> seen[2];
  auto reader = [&](int t) {
    for (const auto& a : arrays) {
      const TvxPDFArrayObject& shared = *a;
      seen[t].push_back(&shared.Items());
    }
  };
  std::thread first(reader, 0), second(reader, 1);
  first.join();
  second.join();
  for (size_t i = 0; i < arrays.size(); ++i) {
    ASSERT_EQ(seen[0][i], seen[1][i]) << i;
    ASSERT_EQ(seen[0][i]->size(), 3u);
    EXPECT_EQ(Cast<TvxPDFIntegerObject>(arrays[i]->GetItem(2)).Value, int(i));
    EXPECT_EQ(Cast<TvxPDFRealObject>(arrays[i]->GetItem(1)).Value, 2.5);
  }

  // Reading the packed numbers while another thread unpacks: the reader
  // keeps getting the values (under the sanitizers, a freed block read
  // here is reported), and the array can be packed again and dies cleanly.
  arrays.clear();
  for (int i = 0; i < 2000; ++i) arrays.push_back(ParseArray("[ 1 2.5 " + std::to_string(i) + " ]"));
  std::atomic<bool> wrong{false};
  std::thread numbers([&] {
    for (int pass = 0; pass < 20; ++pass)
      for (size_t i = 0; i < arrays.size(); ++i)
        if (arrays[i]->NumberAt(2) != double(i) || arrays[i]->NumberAt(1) != 2.5) wrong = true;
  });
  for (const auto& a : arrays) std::as_const(*a).Items();
  numbers.join();
  EXPECT_FALSE(wrong);
  arrays[0]->PackIfNumeric();
  EXPECT_TRUE(arrays[0]->IsPacked());
  EXPECT_EQ(arrays[0]->NumberAt(2), 0.0);
}

// Name values share the name table's texts; names the table does not share
// (long ones) have their own. Either way the text is the raw one, escapes
// included, and copies and edits keep it.
TEST(NameValue, TextsStayRawWhetherSharedOrOwn) {
  const std::string longName = "/" + std::string(200, 'N') + "#20end";
  auto d = ParseDict("<< /A /A#20B /B /#2F#23 /C " + longName + " /D /FlateDecode /E / >>");
  const std::vector<std::string> expected = {"/A#20B", "/#2F#23", longName, "/FlateDecode", "/"};
  ASSERT_EQ(d->Count(), int(expected.size()));
  for (int i = 0; i < d->Count(); ++i) {
    const auto& name = Cast<TvxPDFNameObject>(d->ValueAt(i));
    EXPECT_EQ(name.Text, expected[size_t(i)]);
    auto copy = name.Clone();
    EXPECT_EQ(Cast<TvxPDFNameObject>(copy.get()).Text, expected[size_t(i)]);
  }
  EXPECT_EQ(Cast<TvxPDFNameObject>(d->Find("/A")).Value(), "A#20B");
  // Two names with the same text share it; a replaced value takes the new text.
  auto again = ParseDict("<< /X /A#20B >>");
  EXPECT_EQ(&Cast<TvxPDFNameObject>(again->Find("/X")).Text.str(), &Cast<TvxPDFNameObject>(d->Find("/A")).Text.str());
  d->SetName("/C", "/Short");
  EXPECT_EQ(Cast<TvxPDFNameObject>(d->Find("/C")).Text, "/Short");
  auto whole = d->Clone();
  d.reset();
  EXPECT_EQ(Cast<TvxPDFNameObject>(Cast<TvxPDFDictObject>(whole.get()).Find("/B")).Text, "/#2F#23");
}

TEST(NameValue, OwnTextsMadeAndFreedOnSeveralThreadsStayIntact) {
  // Names too long to share hold their text in a numbered table that every
  // thread fills and empties at once; each name must keep its own text, and
  // a freed number must serve a new name.
  auto longName = [](int thread, int i) { return "/" + std::string(60, char('a' + thread)) + std::to_string(i); };
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::vector<std::unique_ptr<TvxPDFNameObject>> names;
      for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 3000; ++i) names.push_back(std::make_unique<TvxPDFNameObject>(longName(t, i)));
        for (size_t i = 0; i < names.size(); ++i)
          if (names[i]->Text != longName(t, int(i % 3000))) ++failures[size_t(t)];
        names.erase(names.begin(), names.begin() + 1500);  // freed numbers are taken again next round
        for (size_t i = 0; i < names.size(); ++i)
          if (names[i]->Text != longName(t, int((i + 1500) % 3000))) ++failures[size_t(t)];
        names.clear();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}
