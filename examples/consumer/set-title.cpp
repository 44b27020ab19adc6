// set-title IN OUT TITLE: writes IN to OUT with a new document title.
#include <exception>
#include <iostream>
#include <string>

#include <pdf/document/vxPDFDoc.h>
#include <pdf/util/vxExceptions.h>
#include <pdf/util/vxUtils.h>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: set-title IN OUT TITLE\n";
    return 1;
  }
  try {
    vx::TvxPDFDocument doc;
    doc.SetShowSetupDialog(false);
    doc.SetLiteralFileNames(true);  // the names as given, no ".pdf" added
    if (!doc.LoadFromFile(argv[1])) {
      std::cerr << "set-title: " << argv[1] << ": the password was not accepted\n";
      return 3;
    }
    doc.Info().SetTitle(vx::Utf8ToUtf16(argv[3]));  // the command line is UTF-8
    doc.SaveToFile(argv[2]);
    std::cout << argv[2] << ": " << doc.PageCount() << " pages, titled\n";
  } catch (const std::exception& e) {
    std::cerr << "set-title: " << e.what() << "\n";
    return 2;
  }
  return 0;
}
