// Runs a judge that compares a source and a file saved from it as another
// reader sees both: tests/support/pdfjudge.py (qpdf through pikepdf: the
// whole object graph) or tests/support/pdfjs_judge.py (pdf.js: the
// document-level settings a viewer shows).
#pragma once

#include <string>
#include <vector>

namespace vxtest {

enum class OtherReader { kPikepdf, kPdfJs };

struct JudgeVerdict {
  int status = -1;                       // 0 equal, 1 different, 2 unreadable, else the judge failed
  std::vector<std::string> differences;  // one line each: "PATH: source A; output B"
  std::string Text() const;              // the lines joined, for failure messages
  bool Mentions(const std::string& fragment) const;
};

// `passwords` are tried on both files; each of `settings` is "PATH=VALUE",
// a change that was asked for (e.g. "/Root/ViewerPreferences/FitWindow=true").
JudgeVerdict JudgeAsOtherReader(const std::string& source, const std::string& output,
                                const std::vector<std::string>& passwords = {},
                                const std::vector<std::string>& settings = {},
                                OtherReader reader = OtherReader::kPikepdf);

struct JudgePair {
  std::string source, output;
  std::vector<std::string> passwords;
};

// Many pairs in one run of the judge (its start-up is most of the cost of a
// small pair); one verdict per pair, in order.
std::vector<JudgeVerdict> JudgeManyAsOtherReader(const std::vector<JudgePair>& pairs,
                                                 OtherReader reader = OtherReader::kPikepdf);

}  // namespace vxtest
