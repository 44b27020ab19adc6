// The interactive form: everything the form refers to is loaded so that it
// is written again, and the fields are described in the FieldList for
// callers. At save, /NeedAppearances may be set.
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// Levels of /Kids read into field descriptions; deeper kids are still loaded
// (and written) but not described.
constexpr int kMaxFieldDepth = 100;

constexpr int32_t kFlagReadOnly = 1;
constexpr int32_t kFlagMultiline = 4096;
constexpr int32_t kFlagNoToggleToOff = 16384;
constexpr int32_t kFlagRadio = 32768;
constexpr int32_t kFlagPushButton = 65536;

std::string StringBytes(const TvxPDFStringObject& s) { return s.IsHex ? HexToBytes(s.Contents()) : s.Contents(); }

// A text string as UTF-8: UTF-16BE with its marker, UTF-8 with its marker,
// else single-byte text.
std::string TextToUtf8(const std::string& bytes) {
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  return Utf16ToUtf8(DecodeTextString("(" + bytes + ")"));
}

std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> tokens;
  std::string current;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0') {
      if (!current.empty()) tokens.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) tokens.push_back(std::move(current));
  return tokens;
}

// The position of the first token equal to `op` with at least `operands`
// tokens before it, or -1.
int FindOperator(const std::vector<std::string>& tokens, std::string_view op, int operands) {
  for (size_t i = size_t(operands); i < tokens.size(); ++i)
    if (tokens[i] == op) return int(i);
  return -1;
}

TvxFieldKind KindOf(const std::string& type, int32_t flags) {
  if (type == "/Btn") {
    if (flags == -1) return fkCheckBox;
    if (flags & kFlagPushButton) return fkPushButton;
    if (flags & kFlagRadio) return fkRadioButton;
    return fkCheckBox;
  }
  if (type == "/Tx") return fkText;
  if (type == "/Sig") return fkSignature;
  return fkChoice;
}

}  // namespace

// Reads the form once at load: the field tree with a visited set (a /Kids
// cycle ends at a field met before) and the states collected per field.
class TvxFormReader {
 public:
  explicit TvxFormReader(TvxCustomPDFDocument& doc) : doc_(doc), store_(*doc.store_) {}

  void Read(TvxPDFObject* value) {
    TvxPDFDictObject* form = nullptr;
    bool direct = false;
    if (auto* ref = As<TvxPDFIndirectReference>(value)) {
      TvxPDFIndirectObject* object = doc_.LoadObject(ref->ObjectNumber);
      form = object ? As<TvxPDFDictObject>(object->Content.get()) : nullptr;
    } else if (value && value->IsDictionary()) {
      // The catalog's own copy, which becomes the stored form dictionary.
      form = As<TvxPDFDictObject>(doc_.catalog_->AcroFormValue.get());
      direct = true;
    }
    if (!form) return;

    for (const char* key : {"/NeedAppearances", "/SigFlags", "/CO", "/DR", "/DA", "/Q", "/XFA"})
      if (TvxPDFObject* entry = form->Find(key)) doc_.LoadObjectClosure(entry);
    const TvxPDFDictObject* fonts = nullptr;
    if (TvxPDFObject* resources = form->Find("/DR")) {
      if (TvxPDFDictObject* dr = store_.ResolveDictionary(resources)) fonts = store_.ResolveDictionary(dr->Find("/Font"));
    }
    std::string appearance;
    if (TvxPDFObject* da = form->Find("/DA")) {
      if (TvxPDFStringObject* s = store_.ResolveString(da)) appearance = StringBytes(*s);
    }

    TvxPDFObjectPtr keep;
    if (TvxPDFArrayObject* fields = doc_.LoadArray(form->Find("/Fields"), true, keep)) {
      if (!doc_.fieldList_) doc_.fieldList_ = std::make_unique<std::vector<std::unique_ptr<TvxAcroFormField>>>();
      for (int i = 0; i < fields->Count(); ++i) {
        if (auto* field = As<TvxPDFIndirectReference>(fields->GetItem(i)))
          ReadField(nullptr, nullptr, appearance, fonts, *field, 0);
      }
    }

    if (direct) {
      // The output always has the form dictionary as an object of its own.
      const int32_t number = store_.NewObjectNumber();
      auto object = std::make_unique<TvxPDFIndirectObject>(doc_.DocumentID(), number, uint16_t(0),
                                                           std::move(doc_.catalog_->AcroFormValue));
      object->UseCount = 2;
      store_.Add(std::move(object));
      doc_.catalog_->AcroFormValue = std::make_unique<TvxPDFIndirectReference>(doc_.DocumentID(), number, uint16_t(0));
    }
  }

 private:
  void ReadField(TvxAcroFormField* parent, const std::string* parentName, const std::string& inheritedAppearance,
                 const TvxPDFDictObject* inheritedFonts, const TvxPDFIndirectReference& reference, int depth) {
    TvxPDFIndirectObject* object = store_.Find(&reference);
    if (object && object->UseCount == 0) object->MarkUsed();  // a member stored unreached is kept now
    if (!object) object = doc_.LoadObject(reference.ObjectNumber);
    if (!object || !visited_.insert(object).second) return;
    auto* d = As<TvxPDFDictObject>(object->Content.get());
    if (!d) return;

    // A kid (typically a widget) adds its states and value to its parent.
    if (parent) {
      ReadAppearanceStates(*parent, *d);
      ReadFieldValue(*parent, *d);
    }

    std::optional<int32_t> annotationFlags;
    if (TvxPDFObject* f = d->Find("/F")) {
      doc_.LoadObjectClosure(f);
      if (TvxPDFIntegerObject* value = store_.ResolveInteger(f)) {
        annotationFlags = value->Value;
        if (parent) parent->AnnotationFlags = value->Value;
      }
    }
    std::string defaultValue;
    if (TvxPDFObject* dv = store_.Resolve(d->Find("/DV"))) {
      if (auto* s = As<TvxPDFStringObject>(dv))
        defaultValue = StringBytes(*s);
      else if (auto* n = As<TvxPDFNameObject>(dv))
        defaultValue = n->Value();
    }
    std::string appearance = inheritedAppearance;
    if (TvxPDFObject* da = d->Find("/DA")) {
      doc_.LoadObjectClosure(da);
      TvxPDFStringObject* s = store_.ResolveString(da);
      appearance = s ? StringBytes(*s) : std::string();
    }
    // This field's fonts: the inherited ones with its own /DR fonts over them.
    std::unique_ptr<TvxPDFDictObject> ownFonts;
    const TvxPDFDictObject* fonts = inheritedFonts;
    if (TvxPDFObject* dr = d->Find("/DR")) {
      doc_.LoadObjectClosure(dr);
      ownFonts = inheritedFonts ? std::unique_ptr<TvxPDFDictObject>(
                                      static_cast<TvxPDFDictObject*>(inheritedFonts->Clone().release()))
                                : std::make_unique<TvxPDFDictObject>();
      if (TvxPDFDictObject* resources = store_.ResolveDictionary(dr)) {
        if (TvxPDFDictObject* own = store_.ResolveDictionary(resources->Find("/Font"))) {
          for (int i = 0; i < own->Count(); ++i)
            ownFonts->SetValue(own->KeyAt(i), own->ValueAt(i) ? own->ValueAt(i)->Clone() : MakeNull());
        }
      }
      fonts = ownFonts.get();
    }
    std::unique_ptr<TvxFontInfo> fontInfo = ParseDefaultAppearance(appearance, fonts);
    if (parent && fontInfo) parent->FontInfo = fontInfo->Copy();

    int32_t flags = 0;
    if (TvxPDFIntegerObject* ff = store_.ResolveInteger(d->Find("/Ff"))) flags = ff->Value;

    TvxAcroFormField* made = nullptr;
    std::optional<std::string> fullName;
    if (TvxPDFObject* t = d->Find("/T")) {
      if (std::unique_ptr<TvxPDFStringObject> title = doc_.LoadString(t)) {
        std::string text = TextToUtf8(StringBytes(*title));
        fullName = parentName ? *parentName + "." + text : text;
        if (std::unique_ptr<TvxPDFNameObject> type = doc_.LoadName(d->Find("/FT"))) {
          auto field = std::make_unique<TvxAcroFormField>(&store_, object);
          field->FullName = *fullName;
          field->Kind = KindOf(type->Text, flags);
          field->Flags = flags;
          field->DefaultValue = defaultValue;
          if (annotationFlags) field->AnnotationFlags = *annotationFlags;
          field->ReadOnly = (flags & kFlagReadOnly) != 0 && flags != -1;
          field->Multiline = (flags & kFlagMultiline) != 0 && flags != -1;
          if (TvxPDFObject* maxLen = d->Find("/MaxLen")) field->MaxLength = DirectInteger(maxLen);
          if (TvxPDFObject* q = d->Find("/Q")) field->Quadding = uint8_t(DirectInteger(q) & 0xFF);
          ReadFieldValue(*field, *d);
          if (field->Kind == fkCheckBox) AddState(*field, "Off");
          ReadAppearanceStates(*field, *d);
          if (fontInfo) field->FontInfo = fontInfo->Copy();
          made = field.get();
          doc_.fieldList_->push_back(std::move(field));
        }
      }
    }

    for (int i = 0; i < d->Count(); ++i) {
      TvxPDFObject* value = d->ValueAt(i);
      if (d->KeyAt(i) != "/Kids") {
        doc_.LoadObjectClosure(value);
        continue;
      }
      if (depth >= kMaxFieldDepth) {
        doc_.LoadObjectClosure(value);  // written, but not described
        continue;
      }
      TvxPDFObjectPtr keep;
      TvxPDFArrayObject* kids = doc_.LoadArray(value, true, keep);
      for (int k = 0; kids && k < kids->Count(); ++k) {
        ReadField(made, fullName ? &*fullName : nullptr, appearance, fonts,
                  Cast<TvxPDFIndirectReference>(kids->GetItem(k)), depth + 1);
      }
    }
  }

  // An integer entry given directly (one given by reference is looked up);
  // any other kind is an invalid cast.
  int32_t DirectInteger(TvxPDFObject* value) {
    if (value->IsReference()) {
      TvxPDFIntegerObject* stored = store_.ResolveInteger(value);
      return stored ? stored->Value : 0;
    }
    return Cast<TvxPDFIntegerObject>(value).Value;
  }

  // What a field entry refers to is loaded (and walked) before the entry is
  // read, as the walk of the field's entries would load it anyway.
  void Preload(TvxPDFObject* value) {
    if (auto* ref = As<TvxPDFIndirectReference>(value); ref && !store_.Find(ref)) doc_.LoadObjectClosure(value);
  }

  void ReadFieldValue(TvxAcroFormField& field, TvxPDFDictObject& d) {
    if (!field.Value.empty()) return;
    TvxPDFObject* v = d.Find("/V");
    Preload(v);
    TvxPDFObject* value = store_.Resolve(v);
    if (auto* name = As<TvxPDFNameObject>(value)) {
      field.Value = name->Value();
    } else if (auto* s = As<TvxPDFStringObject>(value)) {
      field.Value = StringBytes(*s);
    } else if (auto* stream = As<TvxPDFStreamObject>(value)) {
      TvxMemoryStream source{std::string(stream->DataView())};
      const TvxPDFObjectStore& store = store_;
      auto resolver = [&store](const TvxPDFObject* o) -> const TvxPDFObject* {
        return store.Resolve(const_cast<TvxPDFObject*>(o));
      };
      // A value that cannot be decoded is left empty; the stream itself is
      // written as loaded.
      try {
        field.Value = DecodeFilterChain(source, stream->Dictionary->Find("/Filter"), resolver)->Bytes();
      } catch (const Exception&) {
        field.Value.clear();
      }
    } else {
      field.Value.clear();
    }
  }

  void AddState(TvxAcroFormField& field, std::string state) {
    if (states_[&field].insert(state).second) field.States.push_back(std::move(state));
  }

  void ReadAppearanceStates(TvxAcroFormField& field, TvxPDFDictObject& d) {
    if (field.Kind == fkRadioButton || field.Kind == fkCheckBox) {
      // An appearance that is not a dictionary of states (a single stream)
      // names no states.
      TvxPDFObject* apValue = d.Find("/AP");
      Preload(apValue);
      auto* ap = As<TvxPDFDictObject>(store_.Resolve(apValue));
      if (!ap) return;
      TvxPDFObject* normalValue = ap->Find("/N");
      Preload(normalValue);
      auto* normal = As<TvxPDFDictObject>(store_.Resolve(normalValue));
      if (!normal) return;
      const bool noToggleToOff = field.Kind == fkRadioButton && (field.Flags & kFlagNoToggleToOff) != 0;
      for (int i = 0; i < normal->Count(); ++i) {
        const std::string& key = normal->KeyAt(i);
        if (noToggleToOff && key == "/Off") continue;
        AddState(field, key.substr(1));
      }
    } else if (field.Kind == fkChoice) {
      TvxPDFObject* optValue = d.Find("/Opt");
      Preload(optValue);
      auto* options = As<TvxPDFArrayObject>(store_.Resolve(optValue));
      if (!options) return;
      field.States.clear();
      states_[&field].clear();
      for (int i = 0; i < options->Count(); ++i) {
        TvxPDFObject* option = options->GetItem(i);
        if (auto* s = As<TvxPDFStringObject>(option)) {
          field.States.push_back(StringBytes(*s));
        } else if (auto* pair = As<TvxPDFArrayObject>(option)) {
          // A pair of export value and display text gives the export value.
          for (int k = 0; k < pair->Count(); k += 2)
            field.States.push_back(StringBytes(Cast<TvxPDFStringObject>(pair->GetItem(k))));
        }
      }
    }
  }

  std::unique_ptr<TvxFontInfo> ParseDefaultAppearance(const std::string& text, const TvxPDFDictObject* fonts) {
    if (text.empty() || !fonts) return nullptr;
    auto info = std::make_unique<TvxFontInfo>();
    const std::vector<std::string> tokens = Tokens(text);
    if (int rg = FindOperator(tokens, "rg", 3); rg >= 0) {
      info->ColorOperator = tokens[size_t(rg - 3)] + " " + tokens[size_t(rg - 2)] + " " + tokens[size_t(rg - 1)] + " rg";
    } else if (int g = FindOperator(tokens, "g", 1); g >= 0) {
      info->ColorOperator = tokens[size_t(g - 1)] + " g";
    }
    const int tf = FindOperator(tokens, "Tf", 2);
    if (tf < 0) return info;
    const std::string& name = tokens[size_t(tf - 2)];
    TvxPDFObject* entry = fonts->Find(name);
    if (!entry) return info;
    info->ResourceName = name;
    auto& reference = Cast<TvxPDFIndirectReference>(entry);
    info->FontReference.reset(static_cast<TvxPDFIndirectReference*>(reference.Clone().release()));
    info->Size = TryStrToFloat(tokens[size_t(tf - 1)]).value_or(0);
    info->Font.Size = std::isfinite(info->Size) && std::fabs(info->Size) < 1e9 ? int(std::lround(info->Size)) : 0;
    if (TvxPDFIndirectObject* font = store_.Find(&reference)) {
      auto* dict = As<TvxPDFDictObject>(font->Content.get());
      if (auto* base = dict ? As<TvxPDFNameObject>(store_.Resolve(dict->Find("/BaseFont"))) : nullptr) {
        const std::string baseName = base->Value();
        info->Font.Name = baseName.substr(0, baseName.find_first_of(",-"));
        info->Font.Bold = baseName.find("Bold") != std::string::npos;
        info->Font.Italic = baseName.find("Italic") != std::string::npos;
      }
    }
    return info;
  }

  TvxCustomPDFDocument& doc_;
  TvxPDFObjectStore& store_;
  std::unordered_set<const TvxPDFIndirectObject*> visited_;
  std::unordered_map<const TvxAcroFormField*, std::unordered_set<std::string>> states_;
};

void TvxCustomPDFDocument::ReadAcroForm(TvxPDFObject* value) {
  try {
    TvxFormReader(*this).Read(value);
  } catch (const EInvalidCast& e) {
    FormKeptUndescribed(value, e.what());
  } catch (const EUnexpectedObjectError& e) {
    FormKeptUndescribed(value, e.what());
  }
}

// A form whose fields break the rules is not described, but nothing of it is
// lost: the form dictionary is written with everything it reaches.
void TvxCustomPDFDocument::FormKeptUndescribed(TvxPDFObject* value, const char* reason) {
  if (fieldList_) fieldList_->clear();
  Warning(Format(res::SFormNotDescribed, {reason}));
  LoadObjectClosure(value);
}

void TvxCustomPDFDocument::ApplyNeedAppearances(uint8_t mode) {
  if (mode > 1 || !catalog_->AcroFormValue) return;
  auto* form = As<TvxPDFDictObject>(store_->Resolve(catalog_->AcroFormValue.get()));
  if (!form) return;
  // A value of another kind than a Boolean is replaced by one.
  form->SetBoolean("/NeedAppearances", mode == 0);
}

}  // namespace vx
