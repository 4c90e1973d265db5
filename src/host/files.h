// Loading and saving 3D model files, and the host's file services.
//
// Host commands here return T or signal the host's error after setting the
// host's error state (see command_errors.h): the error object names the file
// and the problem. Relative file names follow the current working directory.
#pragma once

#include <string_view>

#include "host/lisp/object.h"

namespace host::frame2_ui {
// Model files of type pkg, bdl, sd, sdp, sda, sdexp or without type.
host::lisp::ref universal_load(std::string_view file);
// A model file of any type; a staged top-level file brings its components
// from the files beside it.
host::lisp::ref load_sd(std::string_view file);
// Saves the top-level model of object (a model path or instance) into
// directory, one file per component: the instance file of the model and one
// file per distinct real contents, each named by its cluster's file name,
// overwriting. Two components that would go to one file are an error.
host::lisp::ref save_sd(const host::lisp::ref& object, std::string_view directory);
// Signals the host's error for a directory that cannot be entered.
void sd_set_current_working_directory(std::string_view directory);
}  // namespace host::frame2_ui

namespace host::links_ui {
// ME30 transmit files only.
host::lisp::ref load_me30(std::string_view file);
}  // namespace host::links_ui

namespace host::frame2 {
// The current working directory as a directory namestring ("/a/b/").
host::lisp::ref current_working_directory();
host::lisp::ref copy_file(std::string_view from, std::string_view to);
// prefix followed by a text that no other call of this host returns.
host::lisp::ref inquire_unique_filename(std::string_view prefix);
}  // namespace host::frame2

namespace host::system {
// False when the directory cannot be entered; the directory stays.
bool chdir(std::string_view directory);
}  // namespace host::system
