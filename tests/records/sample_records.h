// One record of each kind a record file holds, with the awkward values:
// blanks and non-ASCII text in paths and names, quotes, "" and NIL, doubles.
#pragma once

#include "host/lisp/reader.h"
#include "records/file_records.h"

namespace records_test {

using namespace vtm::records;

struct sample {
  cad_fileinfo file;
  cad_fileinfo failed;
  instance_info instance;
  contents_info contents;
  ami_drawing_info drawing;
  change_info contents_change;
  change_info instance_change;
};

inline sample make_sample() {
  sample s;
  s.file = {"/in dir/Getriebe ä.pkg",
            {{"Top \"A\"", "models/I1.sda"}, {"B", "models/I2.sda"}},
            "drawings.ami/7@Getriebe ä.ami",
            cad_file_state::complete,
            cad_load_method::sd,
            3912345678,
            {host::lisp::read_from_string(":OK")}};
  s.failed = {"/in dir/x",
              {},
              {},
              cad_file_state::complete,
              cad_load_method::me30,
              0,
              {host::lisp::make_string("Datei \\ kaputt")}};
  s.instance.sysid = "I1";
  s.instance.typename_ = "nasmb3";
  s.instance.filename = "I1.sda";
  s.instance.child_sysids = {"C1", "C2"};
  s.instance.sourcepath = "sub/Getriebe ä.pkg";
  s.instance.name = "/in dir/Getriebe ä.pkg/Top";
  s.instance.contents_sysid = "C0";
  s.contents.sysid = "C1";
  s.contents.typename_ = "part_struct";
  s.contents.filename = "C1.sdpc";
  s.contents.tags = {{"INSEPARABLE-CHILD"}};
  s.contents.metakey = cluster_metakey{"Zahnrad", 3.9123456789e9, std::nullopt, ""};
  s.contents.shares = {std::string("/in dir/Getriebe ä.pkg/Top/Zahnrad"), std::string("/in dir/x/y")};
  s.contents.model_sysids = {"I1"};
  s.contents.parent_sysids = {"C0"};
  s.contents.check_result.value = host::lisp::read_from_string("((\"Error:\" (3 \"face\") (1 \"edge\")))");
  s.contents.db_gref.value = host::lisp::read_from_string("(:PART-NO \"4711\" :REV 2)");
  s.drawing = {"7", "sub/Getriebe ä.mi", "7@Getriebe ä.ami", {"I1", "I2"}};
  s.contents_change =
      make_change_info("/in dir/x/y", convert_meta_to_composite_key("C1", *s.contents.metakey),
                       convert_meta_to_composite_key("C9", {"Zahnrad", 0.25, "v1", {}}), {"SYSID-CONFLICT"});
  s.instance_change = make_change_info("/in dir/Top", "I0", "I1", {"SYSID-CONFLICT"});
  return s;
}

}  // namespace records_test
