// The dialog VANTREL_MM_IMPORT_ASSEMBLER: input and staging directory and
// the run's options; OK runs the staging run, Cancel restores the session.
#pragma once

namespace vtm::stage1 {

void define_import_assembler();

}  // namespace vtm::stage1
