// Descriptions of the interactive form's fields, read at load for callers.
// The form itself is carried to the output as stored objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

class TvxPDFObjectStore;

enum TvxFieldKind : uint8_t {
  fkPushButton = 0, fkRadioButton = 1, fkCheckBox = 2, fkText = 3, fkChoice = 4, fkSignature = 5
};

// A font as the platform would describe it: name, size, bold, italic.
struct TvxFont {
  std::string Name;
  int Size = 0;
  bool Bold = false;
  bool Italic = false;
};

class TvxFontInfo {
 public:
  std::unique_ptr<TvxFontInfo> Copy() const;

  std::string ResourceName;  // with its slash
  std::unique_ptr<TvxPDFIndirectReference> FontReference;
  TvxFont Font;
  double Size = 0;
  std::string ColorOperator;  // "0 0 1 rg", "0.5 g"
};

class TvxAcroFormField {
 public:
  TvxAcroFormField(TvxPDFObjectStore* store, TvxPDFIndirectObject* fieldObject)
      : Store(store), FieldObject(fieldObject) {}

  TvxPDFObjectStore* Store;           // not owned
  TvxPDFIndirectObject* FieldObject;  // not owned
  std::string FullName;               // UTF-8 when decoded from a text string
  std::string Value;
  std::string DefaultValue;
  TvxFieldKind Kind = fkText;
  std::unique_ptr<TvxFontInfo> FontInfo;
  bool ReadOnly = false;
  int32_t AnnotationFlags = 0;
  bool Multiline = false;
  int32_t MaxLength = 0;
  std::vector<std::string> States;
  int32_t Flags = 0;
  uint8_t Quadding = 0;
};

}  // namespace vx
