// The settings a viewer honours, in the library: language tags, the value
// preferences and their defaults, the open action as loaded and as set,
// custom property keys, and the removal of metadata with what only it uses.
#include <gtest/gtest.h>

#include "OutlineTestSupport.h"
#include "WriterTestSupport.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxLanguageTag.h"

using namespace vx;

TEST(ViewerSettings, LanguageTagsFollowBcp47WithRealLanguageCodes) {
  for (const char* good : {"en", "de-DE", "zh-Hant-TW", "sr-Latn-RS", "es-419", "de-CH-1996", "zh-yue-HK",
                           "en-US-x-twain", "x-klingon", "en-a-bbb-x-a-ccc", "EN-us"})
    EXPECT_EQ(LanguageTagProblem(good), "") << good;
  for (const char* bad : {"", "english", "e", "de_DE", "en-", "-en", "123", "en--US", "de-DE-x", "en-US-a",
                          "en-Latn-US-toolongvariant", "x"})
    EXPECT_NE(LanguageTagProblem(bad), "") << bad;

  auto doc = vxtest::LoadBytes(vxtest::SimplePdf(1, "/Lang (fr-CA)"));
  EXPECT_EQ(doc->Language(), "fr-CA");
  EXPECT_THROW(doc->SetLanguage("english"), EInvalidLanguageTag);
  EXPECT_EQ(doc->Language(), "fr-CA") << "a refused tag changes nothing";
  doc->SetLanguage("");
  EXPECT_EQ(vxtest::SavedObject(vxtest::SaveToBytes(*doc), 1).find("/Lang"), std::string::npos);
}

TEST(ViewerSettings, DefaultValuesLeaveNoKeyAndOutOfRangeValuesAreRefused) {
  TvxPDFViewerPreferences prefs;
  prefs.SetNonFullScreenPageMode(pmUseOC);
  prefs.SetDirection(rdR2L);
  prefs.SetPrintScaling(psNone);
  prefs.SetDuplex(dxFlipShortEdge);
  prefs.SetPickTrayByPDFSize(false);
  prefs.SetPrintPageRange({{1, 4}, {9, 9}});
  prefs.SetNumCopies(5);
  prefs.SetEnforce({"/PrintScaling"});
  auto text = [&prefs] {
    return prefs.BuildPreferencesText([](const TvxPDFObject* o) {
      if (auto* b = As<TvxPDFBooleanObject>(o)) return std::string(b->Value ? "true" : "false");
      if (auto* i = As<TvxPDFIntegerObject>(o)) return std::to_string(i->Value);
      if (auto* n = As<TvxPDFNameObject>(o)) return std::string(n->Text);
      return std::string(o->IsArray() ? "[array]" : "?");
    });
  };
  EXPECT_EQ(text(),
            "<<\r\n/NonFullScreenPageMode /UseOC\r\n/Direction /R2L\r\n/PrintScaling /None\r\n/Duplex "
            "/DuplexFlipShortEdge\r\n/PickTrayByPDFSize false\r\n/PrintPageRange [array]\r\n/NumCopies 5\r\n/Enforce "
            "[array]\r\n>>");
  EXPECT_EQ(prefs.PrintPageRange(), (std::vector<TvxPageSpan>{{1, 4}, {9, 9}}));

  prefs.SetNonFullScreenPageMode(pmNone);
  prefs.SetDirection(rdL2R);
  prefs.SetPrintScaling(psAppDefault);
  prefs.SetDuplex(dxViewerDefault);
  prefs.SetPickTrayByPDFSize(std::nullopt);
  prefs.SetPrintPageRange({});
  prefs.SetNumCopies(1);
  prefs.SetEnforce({});
  EXPECT_EQ(text(), "") << "the defaults are absent keys";

  EXPECT_THROW(prefs.SetNumCopies(6), Exception);
  EXPECT_THROW(prefs.SetNumCopies(0), Exception);
  EXPECT_THROW(prefs.SetNonFullScreenPageMode(pmFullScreen), Exception);
  EXPECT_THROW(prefs.SetPrintPageRange({{3, 2}}), EInvalidPageError);
  EXPECT_EQ(text(), "");

  // Loaded values the getters cannot use read as the defaults.
  auto doc = vxtest::LoadBytes(vxtest::SimplePdf(
      1, "/ViewerPreferences << /NumCopies 9 /Duplex (long) /PrintPageRange [ 0 2 3 ] /Direction /Up >>"));
  const TvxPDFViewerPreferences& loaded = doc->ViewerPreferences();
  EXPECT_EQ(loaded.NumCopies(), 1);
  EXPECT_EQ(loaded.Duplex(), dxViewerDefault);
  EXPECT_TRUE(loaded.PrintPageRange().empty());
  EXPECT_EQ(loaded.Direction(), rdL2R);
}

TEST(ViewerSettings, OpenActionsReadAsAViewOrAreNamedAndKept) {
  // Pages are objects 3, 5 and 7.
  const struct {
    const char* action;
    TvxOpenActionKind kind;
    const char* description;
  } cases[] = {
      {"[ 5 0 R /Fit ]", oaView, "page 2, fit page"},
      {"[ 7 0 R /FitH 700 ]", oaView, "page 3, fit width"},
      {"[ 3 0 R /FitV null ]", oaView, "page 1, fit height"},
      {"[ 3 0 R /FitB ]", oaView, "page 1, fit visible"},
      {"<< /S /GoTo /D [ 3 0 R /XYZ 0 792 2 ] >>", oaView, "page 1, 200%"},
      {"[ 5 0 R /XYZ null null 0 ]", oaView, "page 2"},
      {"[ 1 /Fit ]", oaView, "page 2, fit page"},  // a page index, as some producers write it
      {"[ 3 0 R /FitR 0 0 10 10 ]", oaOther, "destination FitR"},
      {"<< /S /Named /N /NextPage >>", oaOther, "named action NextPage"},
      {"<< /S /JavaScript /JS (app.alert\\(1\\)) >>", oaOther, "JavaScript action"},
      {"<< /S /GoTo /D (chapter1) >>", oaOther, "go to destination \"chapter1\""},
      {"20 0 R", oaOther, "JavaScript action"},
  };
  for (const auto& c : cases) {
    auto doc = vxtest::LoadBytes(vxtest::DocumentWith(std::string("/OpenAction ") + c.action,
                                                      {{20, "<< /S /JavaScript /JS (x) >>"}}, 3));
    EXPECT_EQ(doc->OpenActionKind(), c.kind) << c.action;
    EXPECT_EQ(doc->OpenActionDescription(), c.description) << c.action;
  }

  auto doc = vxtest::LoadBytes(vxtest::DocumentWith("/OpenAction 20 0 R", {{20, "<< /S /JavaScript /JS (x) >>"}}, 3));
  const std::string kept = vxtest::SaveToBytes(*doc);
  EXPECT_EQ(vxtest::SavedObjectsWith(kept, "/JavaScript"), 1) << "kept while nothing replaces it";
  EXPECT_THROW(doc->SetOpenView({4, ofFitPage, 100}), EInvalidPageError);
  EXPECT_THROW(doc->SetOpenView({1, ofZoom, 6401}), EInvalidZoom);
  EXPECT_THROW(doc->SetOpenView({1, ofZoom, 0}), EInvalidZoom);
  doc->SetOpenView({3, ofZoom, 12.5});
  EXPECT_EQ(doc->OpenActionDescription(), "page 3, 12.5%");
  EXPECT_NE(vxtest::SavedObject(vxtest::SaveToBytes(*doc), 1).find("/OpenAction [ "), std::string::npos);
  doc->ClearOpenAction();
  EXPECT_EQ(doc->OpenActionKind(), oaNone);
  EXPECT_EQ(vxtest::SavedObject(vxtest::SaveToBytes(*doc), 1).find("/OpenAction"), std::string::npos);
}

TEST(ViewerSettings, CustomPropertiesAreEscapedNamesAndStandardKeysAreRefused) {
  auto doc = vxtest::LoadBytes(vxtest::SimplePdf(1, "", "/Title (T) /Doc#20Kind (memo) /Count 3 /Trapped (True)"));
  TvxPDFInfo& info = doc->Info();
  EXPECT_EQ(info.Trapped(), trTrue) << "an old file's text form";
  auto props = info.CustomProperties();
  ASSERT_EQ(props.size(), 1u) << "values that are not text are not listed";
  EXPECT_EQ(props[0].first, "Doc Kind");
  info.SetCustomProperty("Doc Kind", u"letter");
  info.SetCustomProperty("A/B", u"x");
  EXPECT_THROW(info.SetCustomProperty("Title", u"x"), EInvalidPropertyName);
  EXPECT_THROW(info.SetCustomProperty("", u"x"), EInvalidPropertyName);
  const std::string saved = vxtest::SavedObjectWith(vxtest::SaveToBytes(*doc), "/Producer");
  EXPECT_NE(saved.find("/Doc#20Kind "), std::string::npos) << saved;
  EXPECT_NE(saved.find("/A#2FB "), std::string::npos) << saved;
  EXPECT_NE(saved.find("/Count 3"), std::string::npos) << "kept as loaded";
  EXPECT_TRUE(info.Changed("/Doc#20Kind"));
  EXPECT_FALSE(info.Changed("/Count"));
}

TEST(ViewerSettings, StripMetadataRemovesWhatOnlyTheMetadataUses) {
  auto doc = vxtest::LoadBytes(vxtest::DocumentWith(
      "/Metadata 20 0 R /PieceInfo << /App << /Private 21 0 R /Shared 22 0 R >> >> /Lang (en)",
      {{20, "<< /Type /Metadata /Subtype /XML >>stream:<x:xmpmeta xmlns:x='adobe:ns:meta/'/>"},
       {21, "<< /Marker (only-piece) >>"},
       {22, "<< /Marker (shared-with-page) >>"}},
      2, "/Shared 22 0 R"));
  doc->Info().SetTitle(u"Secret");
  doc->StripMetadata();
  const std::string saved = vxtest::SaveToBytes(*doc);
  EXPECT_EQ(vxtest::SavedObjectsWith(saved, "only-piece"), 0);
  EXPECT_EQ(vxtest::SavedObjectsWith(saved, "xmpmeta"), 0);
  EXPECT_EQ(vxtest::SavedObjectsWith(saved, "shared-with-page"), 1) << "still used by a page";
  const std::string catalog = vxtest::SavedObject(saved, 1);
  EXPECT_EQ(catalog.find("/PieceInfo"), std::string::npos) << catalog;
  EXPECT_EQ(catalog.find("/Metadata"), std::string::npos) << catalog;
  EXPECT_NE(catalog.find("/Lang"), std::string::npos) << "the language is not metadata";
  EXPECT_EQ(vxtest::SavedObjectWith(saved, "/Producer").find("Secret"), std::string::npos);

  doc->SetSaveKind(TvxSaveKind::Incremental);
  vxtest::TempFile out;
  EXPECT_THROW(doc->SaveToFile(out.Path()), EIncrementalSaveRefused);
}
