// pb_pub: dumps the structure of a model file as XML.
//
//   pb_pub -S -i FILE     the structure of FILE on standard output
//
// A file that is missing, unreadable or no model file: a message on
// standard error, exit status 1, nothing on standard output. A usage error
// of the command line: exit status 2.
#include <CLI/CLI.hpp>
#include <iostream>
#include <sstream>

#include "host/command_line_usage.h"
#include "pb_pub/structure_dump.h"

int main(int argc, char** argv) {
  CLI::App app{"pb_pub: dumps the structure of a model file as XML."};
  app.footer(
      "Example:\n  pb_pub -S -i examples/stage1/input/assemblies/frame.pkg\n\nExit statuses: 0 dumped, 1 the "
      "file "
      "could not be dumped, 2 a usage error.");
  app.set_version_flag("--version", sim::pb_pub_version_line);
  bool structure = false;
  std::string input;
  app.add_flag("-S,--structure", structure, "Dump the clusters and their references")->required();
  app.add_option("-i,--input", input, "The model file")->required();
  if (const int status = sim::parse_command_line(app, argc, argv); status >= 0) return status;

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
