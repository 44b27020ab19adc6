// The walks that follow references, fed well-formed files whose object
// graph comes from the input: page trees (shared kids, cycles, missing
// nodes, wrong types), outline chains, name trees, link destinations and an
// information dictionary, as classic objects or object-stream members.
// Random bytes seldom get past the parser to these walks; here every input
// is a syntactically valid file, so the mutations go to the graph itself.
// A page listed twice is copied, but only up to the root's declared /Count:
// more pages than page objects plus that count is a finding.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "pdf/document/vxPDFDoc.h"

namespace {

class ByteSource {
 public:
  ByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool Empty() const { return pos_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

struct Graph {
  int count = 0;  // objects 1..count; numbers 0 and count+1 name nothing
  std::vector<std::string> bodies;  // index = object number
  int pages = 0;                    // objects of kind /Page
};

// Every byte is drawn in a statement of its own, so that the same input
// gives the same file whatever order a compiler evaluates operands in.
std::string Ref(ByteSource& in, const Graph& g) { return std::to_string(in.Next() % (g.count + 2)) + " 0 R"; }

std::string Refs(ByteSource& in, const Graph& g) {
  std::string out;
  for (int k = in.Next() % 5; k > 0; --k) {
    out += Ref(in, g);
    out += ' ';
  }
  return out;
}

std::string DestinationValue(ByteSource& in, const Graph& g) {
  const int kind = in.Next() % 4;
  if (kind == 2) return "[" + Ref(in, g) + " /Fit]";
  if (kind == 3) return Ref(in, g);
  const std::string name = "n" + std::to_string(in.Next() % 4);
  return kind == 0 ? "/" + name : "(" + name + ")";
}

std::string Body(ByteSource& in, const Graph& g, int number, int& pages) {
  static const char* const kTokens[] = {"1.2.3", "(a\\qb)", "<414>", "33.0", "4294967296", "/Name", "null", "-0"};
  std::string out;
  switch (in.Next() % 9) {
    case 0:
      out = "<< /Type /Pages /Kids [" + Refs(in, g);
      out += "] /Count " + std::to_string(in.Next() % 9) + " >>";
      return out;
    case 1:
      ++pages;
      out = "<< /Type /Page /MediaBox [0 0 " + std::to_string(in.Next() + 1);
      out += " 99] /Parent " + Ref(in, g);
      out += " /Annots [" + Refs(in, g);
      return out + "] >>";
    case 2:
      out = "<< /L " + Ref(in, g);
      out += " /R " + Ref(in, g);
      return out + " /S " + kTokens[in.Next() % 8] + " >>";
    case 3: {
      out = "<< /Title (i" + std::to_string(number) + ") /First " + Ref(in, g);
      out += " /Next " + Ref(in, g);
      if (in.Next() % 2) {
        out += " /Dest " + DestinationValue(in, g);
      } else {
        out += in.Next() % 2 ? " /A << /S /GoTo /D " : " /A << /S /GoToR /F (o.pdf) /D ";
        out += DestinationValue(in, g) + " >>";
      }
      return out + " /Count " + std::to_string(int(in.Next() % 7) - 3) + " >>";
    }
    case 4:
      if (in.Next() % 2) return "<< /Kids [" + Refs(in, g) + "] >>";
      out = "<< /Names [(n0) " + DestinationValue(in, g);
      return out + " (n1) << /D " + DestinationValue(in, g) + " >>] >>";
    case 5: return "<< /Type /Annot /Subtype /Link /Rect [0 0 9 9] /Dest " + DestinationValue(in, g) + " >>";
    case 6: return "[" + Refs(in, g) + "]";
    case 7:
      out = "<< /n" + std::to_string(in.Next() % 4);
      return out + " " + DestinationValue(in, g) + " >>";
    default: return kTokens[in.Next() % 8];
  }
}

// A classic file, or (when `packed`) one whose objects after the catalog are
// members of one object stream listed by a cross-reference stream.
std::string Write(const Graph& g, const std::string& trailer, bool packed) {
  std::string out = "%PDF-1.5\n";
  std::vector<size_t> offsets(size_t(g.count) + 3, 0);
  auto object = [&](int n, const std::string& body) {
    offsets[size_t(n)] = out.size();
    out += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
  };
  object(1, g.bodies[1]);
  if (!packed) {
    for (int n = 2; n <= g.count; ++n) object(n, g.bodies[size_t(n)]);
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(g.count + 1) + "\n0000000000 65535 f \n";
    char line[32];
    for (int n = 1; n <= g.count; ++n) {
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets[size_t(n)]);
      out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(g.count + 1) + " " + trailer + " >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
  }
  const int stream = g.count + 1;
  const int xrefNumber = g.count + 2;
  std::string header, members;
  for (int n = 2; n <= g.count; ++n) {
    header += std::to_string(n) + " " + std::to_string(members.size()) + " ";
    members += g.bodies[size_t(n)] + "\n";
  }
  object(stream, "<< /Type /ObjStm /N " + std::to_string(g.count - 1) + " /First " + std::to_string(header.size()) +
                     " /Length " + std::to_string(header.size() + members.size()) + " >>\nstream\n" + header + members +
                     "\nendstream");
  std::string rows;
  auto row = [&](int type, size_t field2, int field3) {
    rows += char(type);
    for (int shift = 24; shift >= 0; shift -= 8) rows += char((field2 >> shift) & 0xFF);
    rows += char((field3 >> 8) & 0xFF);
    rows += char(field3 & 0xFF);
  };
  row(0, 0, 65535);
  row(1, offsets[1], 0);
  for (int n = 2; n <= g.count; ++n) row(2, size_t(stream), n - 2);
  row(1, offsets[size_t(stream)], 0);
  const size_t xref = out.size();
  row(1, xref, 0);
  out += std::to_string(xrefNumber) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(xrefNumber + 1) +
         " /W [1 4 2] " + trailer + " /Length " + std::to_string(rows.size()) + " >>\nstream\n" + rows +
         "\nendstream\nendobj\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

const std::string& OutputPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("vx-fuzz-walks-" + std::to_string(getpid()) + ".pdf")).string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteSource in(data, size);
  Graph g;
  g.count = 2 + in.Next() % 60;
  const bool packed = in.Next() % 2;
  g.bodies.resize(size_t(g.count) + 1);
  for (int n = 2; n <= g.count; ++n) g.bodies[size_t(n)] = Body(in, g, n, g.pages);
  std::string& catalog = g.bodies[1];
  catalog = "<< /Type /Catalog /Pages " + Ref(in, g);
  catalog += " /Outlines " + Ref(in, g);
  catalog += " /Dests " + Ref(in, g);
  catalog += " /Names << /Dests " + Ref(in, g);
  catalog += " >> /OpenAction << /S /GoTo /D " + DestinationValue(in, g) + " >> >>";
  const std::string trailer = "/Root 1 0 R /Info " + Ref(in, g);
  auto bytes = std::make_shared<const std::string>(Write(g, trailer, packed));

  vx::TvxPDFDocument doc;
  doc.SetShowSetupDialog(false);
  doc.SetSaveThreads(1);
  size_t warnings = 0;
  doc.OnWarning = [&](vx::TvxCustomPDFDocument&, const std::string&) { ++warnings; };
  try {
    if (doc.LoadFromBytes(bytes, "walks.pdf")) {
      // Copies of pages listed twice stop at the root's declared /Count.
      if (int64_t(doc.PageCount()) > int64_t(g.pages) + std::max(0, doc.DeclaredPageCount())) __builtin_trap();
      doc.Info().Title();
      doc.SaveToFile(OutputPath(), 2);
    }
  } catch (const vx::Exception&) {
  }
  std::remove(OutputPath().c_str());
  return 0;
}
