#include "support/PikeQuery.h"

#include "support/PdfBuilder.h"

namespace vxtest {

std::string PikeQuery(const std::string& path, const std::string& body, const std::string& password) {
  TempFile script(".py");
  script.Write("import sys, pikepdf\n"
               "pdf = pikepdf.open(sys.argv[1], password=sys.argv[2])\n" +
               body + "\n");
  std::string output;
  int status = RunCommand("/usr/bin/python3 " + Quote(script.Path()) + " " + Quote(path) + " " + Quote(password),
                          &output, true);
  if (status != 0) return "ERROR: " + output;
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

}  // namespace vxtest
