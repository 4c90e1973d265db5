// Drawing files: text in the host's reader syntax, described in
// docs/host-sim.md ("Drawings, Annotation and pb_pub").
//
//   (:sdsim-ami 1) or (:sdsim-mi 1)     header: Annotation or plain (MI) drawing
//   (:drawing :number "D-1" :views (...) ...)
//   fault forms as in model files (files/fault_forms.h)
//
// A package (a model file) may carry a (:drawing ...) form too; its views
// name instances of the package by sysid.
#pragma once

#include <filesystem>
#include <vector>

#include "annotation/drawing.h"
#include "files/model_file.h"

namespace sim::annotation {

enum class accepted_drawings { any, annotation_only };

// Reads a drawing file; its fault forms act while it is read. Owners are
// linked to instances in session with their sysids. Any failure is the
// host's error naming the file and the problem; nothing changes then.
drawing_ptr read_drawing_file(const std::filesystem::path& file, accepted_drawings accepted);

// The drawing a package carries, its views owned by the package's
// instances. Fails as a load of the package would.
drawing_ptr drawing_from_package(const std::filesystem::path& file, const files::carried_drawing& carried,
                                 const std::vector<session::entity_ptr>& models);

// Writes the drawing with its owners' current sysids.
void write_drawing_file(const drawing& d, const std::filesystem::path& file);

}  // namespace sim::annotation
