#include "OtherReaderJudge.h"

#include <sstream>

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

JudgeVerdict JudgeAsOtherReader(const std::string& source, const std::string& output,
                                const std::vector<std::string>& passwords, const std::vector<std::string>& settings) {
  // The system's Python carries pikepdf; a python3 found first on PATH may not.
  std::string command = "timeout 300 /usr/bin/python3 " + Quote(std::string(VX_SOURCE_DIR) + "/tests/support/pdfjudge.py") +
                        " " + Quote(source) + " " + Quote(output);
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
