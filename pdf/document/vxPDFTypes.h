// Document-level value types: versions, page mode and layout, measurement
// units, the viewer preferences, the catalog and trailer records, and the
// compression settings used on save.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

enum TvxPDFVersion : uint8_t {
  pvPDF10 = 0, pvPDF11, pvPDF12, pvPDF13, pvPDF14, pvPDF15, pvPDF16, pvPDF17, pvPDF20
};
// "1.0" .. "1.7", "2.0"; anything else "1.4".
std::string PDFVersionText(int version);

enum TvxPageMode : uint8_t { pmNone = 0, pmUseOutlines, pmUseThumbs, pmFullScreen, pmUseAttachments, pmUseOC };
enum TvxPageLayout : uint8_t {
  plNone = 0, plSinglePage, plOneColumn, plTwoColumnLeft, plTwoColumnRight, plTwoPageLeft, plTwoPageRight
};
// Viewer preferences with a value rather than a flag. The first member of
// each is what a viewer does when the key is absent, and setting it removes
// the key.
enum TvxReadingDirection : uint8_t { rdL2R = 0, rdR2L };
enum TvxPrintScaling : uint8_t { psAppDefault = 0, psNone };
enum TvxDuplex : uint8_t { dxViewerDefault = 0, dxSimplex, dxFlipShortEdge, dxFlipLongEdge };
// A run of pages, 1-based and inclusive.
struct TvxPageSpan {
  int First = 1, Last = 1;
  bool operator==(const TvxPageSpan&) const = default;
};
enum TvxMeasurementUnit : uint8_t { muPixels = 0, muPoints, muInches, muMM, muTwips };
enum TvxMergeOptionsType : uint8_t { moIncludeOutlines = 0, moIncludeFormFields };

// What a viewer does on opening a document.
enum TvxOpenActionKind : uint8_t { oaNone = 0, oaView, oaOther };
// How the page opened at is fitted: ofKeepZoom leaves the viewer's zoom,
// ofZoom uses Zoom (percent).
enum TvxOpenFit : uint8_t { ofKeepZoom = 0, ofFitPage, ofFitWidth, ofFitHeight, ofFitVisible, ofZoom };
struct TvxOpenView {
  int Page = 1;  // 1-based
  TvxOpenFit Fit = ofKeepZoom;
  double Zoom = 100;
  bool operator==(const TvxOpenView&) const = default;
};
inline constexpr double kMaxOpenZoom = 6400;

// Page spans as users write them ("1-4,9"; "all" or empty text: none);
// nothing, with the reason in `problem`, for text of another form.
std::optional<std::vector<TvxPageSpan>> ParsePageSpans(std::string_view text, std::string* problem = nullptr);
std::string PageSpansText(const std::vector<TvxPageSpan>& spans);

// A set of small enumeration values, one bit per member.
template <typename E>
class TvxSet {
 public:
  constexpr TvxSet() = default;
  constexpr TvxSet(std::initializer_list<E> members) {
    for (E m : members) Include(m);
  }
  static constexpr TvxSet FromBits(uint32_t bits) {
    TvxSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr bool Contains(E m) const { return bits_ & (1u << unsigned(m)); }
  constexpr void Include(E m) { bits_ |= 1u << unsigned(m); }
  constexpr void Exclude(E m) { bits_ &= ~(1u << unsigned(m)); }
  constexpr uint32_t Bits() const { return bits_; }
  constexpr bool operator==(const TvxSet&) const = default;

 private:
  uint32_t bits_ = 0;
};
using TvxMergeOptions = TvxSet<TvxMergeOptionsType>;

// "/UseNone" .. "/UseOC" and "/None" .. "/TwoPageRight", by enumeration value.
extern const char* const PageModeNames[6];
extern const char* const PageLayoutNames[7];
inline constexpr int kPageModeCount = 6;
inline constexpr int kPageLayoutCount = 7;

// The viewer preferences: all state lives in one dictionary, so entries the
// library does not know are kept too. Flags set false are removed.
class TvxPDFViewerPreferences {
 public:
  TvxPDFViewerPreferences() : dict_(std::make_unique<TvxPDFDictObject>()) {}

  bool HideToolbar() const { return Flag("/HideToolbar"); }
  bool HideMenubar() const { return Flag("/HideMenubar"); }
  bool HideWindowUI() const { return Flag("/HideWindowUI"); }
  bool FitWindow() const { return Flag("/FitWindow"); }
  bool CenterWindow() const { return Flag("/CenterWindow"); }
  bool DisplayDocTitle() const { return Flag("/DisplayDocTitle"); }
  void SetHideToolbar(bool v) { SetFlag("/HideToolbar", v); }
  void SetHideMenubar(bool v) { SetFlag("/HideMenubar", v); }
  void SetHideWindowUI(bool v) { SetFlag("/HideWindowUI", v); }
  void SetFitWindow(bool v) { SetFlag("/FitWindow", v); }
  void SetCenterWindow(bool v) { SetFlag("/CenterWindow", v); }
  void SetDisplayDocTitle(bool v) { SetFlag("/DisplayDocTitle", v); }

  // The mode after leaving full-screen mode: pmNone (the default),
  // pmUseOutlines, pmUseThumbs or pmUseOC; other modes raise.
  TvxPageMode NonFullScreenPageMode() const;
  void SetNonFullScreenPageMode(TvxPageMode v);
  TvxReadingDirection Direction() const;
  void SetDirection(TvxReadingDirection v);
  TvxPrintScaling PrintScaling() const;
  void SetPrintScaling(TvxPrintScaling v);
  TvxDuplex Duplex() const;
  void SetDuplex(TvxDuplex v);
  // Unset: the viewer decides; false is written as false.
  std::optional<bool> PickTrayByPDFSize() const;
  void SetPickTrayByPDFSize(std::optional<bool> v);
  // The print dialog's page ranges; empty: all pages. Spans must be valid
  // (1 <= First <= Last); the caller checks them against the page count.
  std::vector<TvxPageSpan> PrintPageRange() const;
  void SetPrintPageRange(const std::vector<TvxPageSpan>& spans);
  // 1 (the viewer's default, no key) to 5; other values raise.
  int NumCopies() const;
  void SetNumCopies(int copies);
  // Preferences a viewer must not let the user override, as key names
  // ("/PrintScaling"); empty: none.
  std::vector<std::string> Enforce() const;
  void SetEnforce(const std::vector<std::string>& keys);
  // The boundary names kept as loaded (without the slash), empty when unset.
  std::string ViewArea() const { return NameOf("/ViewArea"); }
  std::string ViewClip() const { return NameOf("/ViewClip"); }
  std::string PrintArea() const { return NameOf("/PrintArea"); }
  std::string PrintClip() const { return NameOf("/PrintClip"); }

  // The keys the window and the command line know, in the order they are
  // written.
  static const char* const KnownKeys[12];
  static bool IsKnownKey(std::string_view key);

  // The dictionary text written into the catalog, or empty text: true flags
  // and name values of the known keys in their order, then every other
  // entry in loaded order as `valueText` writes it (an entry whose text is
  // empty is left out).
  std::string BuildPreferencesText(const std::function<std::string(const TvxPDFObject*)>& valueText) const;

  TvxPDFDictObject* Dictionary() const { return dict_.get(); }
  void SetDictionary(std::unique_ptr<TvxPDFDictObject> dict);

 private:
  bool Flag(std::string_view key) const;
  void SetFlag(std::string_view key, bool value);
  std::string NameOf(std::string_view key) const;
  // Sets the name value, or removes the key for empty text.
  void SetName(std::string_view key, std::string_view name);

  std::unique_ptr<TvxPDFDictObject> dict_;
};

// What the document keeps of the loaded catalog, for the one it writes.
class TvxPDFCatalog {
 public:
  TvxPDFViewerPreferences ViewerPreferences;
  TvxPDFObjectPtr NamesValue;
  std::unique_ptr<TvxPDFIndirectReference> OutlinesRef;
  TvxPDFObjectPtr OpenActionValue;
  // The loaded /Lang value (a text string, or a reference to one), or none.
  TvxPDFObjectPtr LanguageValue;
  TvxPDFObjectPtr AcroFormValue;
  TvxPDFObjectPtr MetadataRef;
  TvxPDFObjectPtr AdditionalActions;
  // Every other entry of the loaded catalog, in source order, written after
  // the entries above; the objects they reach were taken into use at load.
  std::vector<std::pair<std::string, TvxPDFObjectPtr>> KeptEntries;
  // A loaded /PageMode or /PageLayout name outside the known tables (a
  // private or misspelt one), written back as it was until another mode or layout is set;
  // empty when there is none.
  std::string ForeignPageMode;
  std::string ForeignPageLayout;
  // The catalog dictionary as loaded and its generation: an incremental
  // update writes it back with only the changed entries replaced.
  std::unique_ptr<TvxPDFDictObject> LoadedDictionary;
  uint16_t LoadedGeneration = 0;

  // Catalog keys the writer builds itself (or drops, like /Version): these
  // are never kept.
  static bool IsBuiltKey(std::string_view key);

  void SetPreferencesDict(std::unique_ptr<TvxPDFDictObject> dict) {
    ViewerPreferences.SetDictionary(std::move(dict));
  }
};

// The trailer entries the document needs.
class TvxPDFTrailer {
 public:
  int32_t RootNumber = -1;
  TvxPDFObjectPtr EncryptValue;
  std::unique_ptr<TvxPDFIndirectReference> InfoRef;
  std::unique_ptr<TvxPDFArrayObject> IDArray;
};

// Compression of streams on save: Encoding 0 Flate, 1 RunLength; Level 0
// none, 1 fastest, 2 default, 3 maximum (Flate only).
class TvxCompression {
 public:
  bool Active = false;
  uint8_t Encoding = 0;
  uint8_t Level = 0;
};

// How a save lays out the objects: osDisable, one classic cross-reference
// table with every object on its own; osPreserve, object streams when the
// source had them; osGenerate, object streams with a cross-reference stream
// (PDF 1.5 and later).
enum TvxObjectStreamMode : uint8_t { osDisable = 0, osPreserve, osGenerate };

// How a loaded file is laid out for fast web view: not linearized;
// linearized; or linearized and then changed by an update appended after it,
// so that the layout no longer holds (readers fall back to the whole file).
enum TvxLinearizationState : uint8_t { lsNone = 0, lsLinearized, lsBroken };

// ASCII armour of streams on save: 0 ASCIIHex, 1 ASCII85 (never switched on
// by this program).
class TvxASCIIEncode {
 public:
  bool Active = false;
  uint8_t Encoding = 0;
};

// Names the writer puts into /Filter: Flate, RunLength, ASCIIHex, ASCII85.
extern const char* const EncodedFilterNames[4];

}  // namespace vx
