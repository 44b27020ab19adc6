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

std::string XmpPropertyChanges(const std::string& before, const std::string& after) {
  return PikeQuery(after, "sys.path.insert(0, '" VX_SOURCE_DIR "/tests/support')\n"
                          "from xmp_properties import properties\n"
                          "def props(p):\n"
                          "    m = p.Root.get('/Metadata')\n"
                          "    return None if m is None else properties(m.read_bytes())\n"
                          "a, b = props(pikepdf.open(" + Quote(before) + ")), props(pdf)\n"
                          "if a is None or b is None: print('NO PACKET')\n"
                          "for k in sorted(set(a or {}) | set(b or {})):\n"
                          "    if k != '{http://ns.adobe.com/pdf/1.3/}Producer' and a.get(k) != b.get(k):\n"
                          "        print(k.split('}')[-1] + ':', a.get(k), '->', b.get(k))\n");
}

}  // namespace vxtest
