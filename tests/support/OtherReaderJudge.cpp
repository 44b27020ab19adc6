#include "OtherReaderJudge.h"

#include <sstream>
#include <cstdio>

#include "PdfBuilder.h"

namespace vxtest {

std::string JudgeVerdict::Text() const {
  std::string text;
  for (const std::string& line : differences) text += line + "\n";
  return text;
}

bool JudgeVerdict::Mentions(const std::string& fragment) const {
  for (const std::string& line : differences)
    if (line.find(fragment) != std::string::npos) return true;
  return false;
}

namespace {

// The system's Python carries pikepdf; a python3 found first on PATH may not.
std::string JudgeCommand(OtherReader reader) {
  const char* judge = reader == OtherReader::kPdfJs ? "pdfjs_judge.py" : "pdfjudge.py";
  return "timeout 1200 /usr/bin/python3 " + Quote(std::string(VX_SOURCE_DIR) + "/tests/support/" + judge);
}

}  // namespace

JudgeVerdict JudgeAsOtherReader(const std::string& source, const std::string& output,
                                const std::vector<std::string>& passwords, const std::vector<std::string>& settings,
                                OtherReader reader) {
  std::string command = JudgeCommand(reader) + " " + Quote(source) + " " + Quote(output);
  for (const std::string& password : passwords) command += " --password " + Quote(password);
  for (const std::string& setting : settings) command += " --setting " + Quote(setting);
  JudgeVerdict verdict;
  std::string out;
  verdict.status = RunCommand(command, &out, true);
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) verdict.differences.push_back(line);
  return verdict;
}

}  // namespace vxtest

namespace vxtest {

std::vector<JudgeVerdict> JudgeManyAsOtherReader(const std::vector<JudgePair>& pairs, OtherReader reader) {
  std::vector<JudgeVerdict> verdicts(pairs.size());
  if (pairs.empty()) return verdicts;
  TempFile list(".txt");
  std::string text;
  for (const JudgePair& pair : pairs) {
    text += pair.source + "\t" + pair.output;
    for (const std::string& password : pair.passwords) text += "\t" + password;
    text += "\n";
  }
  list.Write(text);
  std::string out;
  const int status = RunCommand(JudgeCommand(reader) + " --batch " + Quote(list.Path()), &out, true);
  // Lines before the first header, or a failed run, belong to every pair:
  // the judge itself broke.
  std::istringstream lines(out);
  JudgeVerdict* current = nullptr;
  std::string broken;
  for (std::string line; std::getline(lines, line);) {
    size_t index = 0;
    int pairStatus = 0;
    if (line.rfind("== ", 0) == 0 && std::sscanf(line.c_str(), "== %zu %d", &index, &pairStatus) == 2 &&
        index < verdicts.size()) {
      current = &verdicts[index];
      current->status = pairStatus;
    } else if (current) {
      current->differences.push_back(line);
    } else {
      broken += line + "\n";
    }
  }
  if (status != 0 || !broken.empty())
    for (JudgeVerdict& verdict : verdicts) {
      verdict.status = status != 0 ? status : -1;
      verdict.differences.push_back("the judge failed (status " + std::to_string(status) + "): " + broken);
    }
  return verdicts;
}

}  // namespace vxtest
