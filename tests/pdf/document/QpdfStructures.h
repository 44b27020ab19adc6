// What qpdf reads of a file's outline tree, form fields and annotations,
// as plain lines that two files can be compared by (object numbers left
// out, pages by position).
#pragma once

#include <string>
#include <vector>

namespace vxtest {

struct QpdfStructures {
  bool Readable = false;  // qpdf produced its JSON description
  std::string Error;
  // One line per outline item, depth first: indentation by level, the
  // title, "[closed]" for a closed item with children, and "-> page N"
  // (or "-> none") for its destination. An item met a second time ends the
  // list it is in, as the library's reader ends a chain there.
  std::vector<std::string> Outlines;
  // Item lists cut short because an item came again (a loop).
  int OutlineCuts = 0;
  bool HasAcroForm = false;
  bool NeedAppearances = false;
  // One line per field: full name, type, value, default value, choices.
  std::vector<std::string> Fields;
  // Per page (in page order): one line per annotation, its subtype and, for
  // links, the page it goes to ("Link -> page 3", "Link -> uri", ...).
  std::vector<std::vector<std::string>> Annotations;

  int AnnotationCount() const;
};

// Runs `qpdf --json` on `path`. A missing qpdf leaves Readable false.
QpdfStructures ReadQpdfStructures(const std::string& path);

}  // namespace vxtest
