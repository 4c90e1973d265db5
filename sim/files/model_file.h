// The simulated host's 3D model files: text in the host's reader syntax,
// described in docs/host-sim.md ("CAD session and model files").
//
// A file is a header form followed by forms that define contents, top-level
// models and faults to inject. Models and contents refer to contents of the
// same file by id, inline, or to a contents file beside it by file name, so
// a package holds whole models and a staged per-component file holds one.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "session/model.h"

namespace sim::files {

// The header's first element names the kind of file.
enum class file_kind { model, me30 };
constexpr std::string_view model_header = "SDSIM-MODEL";
constexpr std::string_view me30_header = "SDSIM-ME30";

// A package may carry an Annotation drawing: a (:drawing ...) form, whose
// views name instances of the file (see annotation/drawing_file.h). The
// reader hands the form on unread.
struct carried_drawing {
  host::lisp::ref plist;        // the form without its :drawing
  std::size_t form_number = 0;  // 1-based; 0 when the file carries none
};

// Reads a model file of the expected kind and builds its top-level models,
// which are not yet in session. Fault forms act while the file is read, in
// file order. Any failure is the host's error naming the file and the
// problem (see session/host_error.h). The drawing a model file carries goes
// to *drawing when given.
std::vector<session::entity_ptr> read_model_file(const std::filesystem::path& file, file_kind expected,
                                                 carried_drawing* drawing = nullptr);

// Writes the top-level model `top` into directory, one file per component:
// the instance file and one file per distinct real contents, each named by
// its cluster's file name (else sysid and file type). Without overwrite an
// existing file is an error; nothing is written then.
void write_component_files(const session::entity_ptr& top, const std::filesystem::path& directory,
                           bool overwrite);

// Where a text appended to a file lies in it.
struct file_part {
  std::uintmax_t offset = 0;
  std::uintmax_t length = 0;
};

// Appends the top-level model `top` to file (made when missing) as the text
// of a model file holding all its components, which refer to each other by
// id; reading that part builds what loading the component files does. A
// text that cannot be written whole is cut off again; one cut short by a
// host that ended is left behind, and nothing may refer to it (Model
// Manager commits the rows of its stored models after their texts).
file_part append_packed_model(const session::entity_ptr& top, const std::filesystem::path& file);

// Reads the models of a part of a file, as read_model_file reads a whole one.
std::vector<session::entity_ptr> read_model_file_part(const std::filesystem::path& file,
                                                      const file_part& part);

// The file type a component is saved under: "sda", "sdpc", ...; "sdx" and
// "sdxc" for types without one of their own.
std::string_view component_file_type(const session::entity& e);

}  // namespace sim::files
