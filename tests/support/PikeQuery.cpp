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

std::vector<std::string> PikeQueryMany(const std::vector<PikeQuestion>& questions) {
  // Fields end in US (0x1F), questions and answers in RS (0x1E).
  TempFile list(".txt"), script(".py");
  std::string text;
  for (const PikeQuestion& q : questions) text += q.path + "\x1f" + q.password + "\x1f" + q.body + "\x1e";
  list.Write(text);
  script.Write(
      "import contextlib, io, sys, pikepdf\n"
      "for item in open(sys.argv[1], encoding='utf-8').read().split('\\x1e')[:-1]:\n"
      "    path, password, body = item.split('\\x1f')\n"
      "    out = io.StringIO()\n"
      "    try:\n"
      "        with contextlib.redirect_stdout(out):\n"
      "            pdf = pikepdf.open(path, password=password)\n"
      "            exec(body, {'pdf': pdf, 'pikepdf': pikepdf})\n"
      "        answer = out.getvalue().rstrip('\\r\\n')\n"
      "    except Exception as e:\n"
      "        answer = 'ERROR: %s: %s' % (type(e).__name__, e)\n"
      "    sys.stdout.write(answer + '\\x1e')\n");
  std::string output;
  int status = RunCommand("/usr/bin/python3 " + Quote(script.Path()) + " " + Quote(list.Path()), &output, false);
  std::vector<std::string> answers;
  for (size_t start = 0, end; (end = output.find('\x1e', start)) != std::string::npos; start = end + 1)
    answers.push_back(output.substr(start, end - start));
  answers.resize(questions.size(), "ERROR: the judge stopped (status " + std::to_string(status) + ")");
  return answers;
}

}  // namespace vxtest
