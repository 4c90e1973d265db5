// pb_pub: dumps the structure of a model file as XML.
//
//   pb_pub -S -i FILE     the structure of FILE on standard output
//
// A file that is missing, unreadable or no model file: a message on
// standard error, exit status 1, nothing on standard output.
#include <CLI/CLI.hpp>
#include <iostream>
#include <sstream>

#include "pb_pub/structure_dump.h"

int main(int argc, char** argv) {
  CLI::App app{"Dumps the structure of a model file as XML."};
  bool structure = false;
  std::string input;
  app.add_flag("-S,--structure", structure, "Dump the clusters and their references")->required();
  app.add_option("-i,--input", input, "The model file")->required();
  CLI11_PARSE(app, argc, argv);

  pugi::xml_document doc;
  std::string error;
  if (!pb_pub::dump_structure(input, doc, &error)) {
    std::cerr << "pb_pub: " << error << '\n';
    return 1;
  }
  // Written whole, so that a failure leaves standard output empty.
  std::ostringstream text;
  doc.save(text, "  ", pugi::format_default, pugi::encoding_utf8);
  std::cout << text.str() << std::flush;
  return std::cout ? 0 : 1;
}
