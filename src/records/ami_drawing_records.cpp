#include "records/ami_drawing_records.h"

#include "records/record_text.h"

namespace vtm::records {

ami_drawing_records make_ami_drawing_records(const std::filesystem::path& dir) {
  ami_drawing_records records(dir);
  const auto take = [&](ami_drawing_info info) {
    records.drawings_.insert_or_assign(info.filename.string(), std::move(info));
  };
  records.file_.open([&](const host::lisp::ref& form) { take(core::from_lisp<ami_drawing_info>(form)); },
                     [&](record_text& text) {
                       std::optional<ami_drawing_info> info = decode_record<ami_drawing_info>(text);
                       if (info) take(std::move(*info));
                       return info.has_value();
                     });
  return records;
}

const ami_drawing_info& ami_drawing_records::update_ami_drawing_records(const ami_drawing_info& drawing) {
  file_.append(core::to_lisp(drawing));
  return drawings_.insert_or_assign(drawing.filename.string(), drawing);
}

void ami_drawing_records::update_ami_drawing_records() {
  std::vector<host::lisp::ref> records;
  records.reserve(drawings_.size());
  for (const auto& [name, drawing] : drawings_) records.push_back(core::to_lisp(drawing));
  file_.rewrite(records);
}

}  // namespace vtm::records
