// The pretty printer: logical blocks and conditional newlines after Waters'
// XP algorithm, laid out as SBCL lays out data. Lists fill lines, a list
// headed by the name of a function aligns its arguments after the name, and
// a structure that does not fit on the line puts each slot on its own line.
// As in SBCL, there is no miser mode (*print-miser-width* is NIL).
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "host/lisp/packages.h"
#include "print_object.h"

namespace host::lisp {

namespace {

enum class newline_kind { linear, fill, literal };

class pretty_stream {
 public:
  explicit pretty_stream(std::string& target) : target_(target) {}

  // Text; a newline character in it is a literal newline.
  void write(std::string_view text) {
    for (std::size_t nl; (nl = text.find('\n')) != std::string_view::npos; text.remove_prefix(nl + 1)) {
      append(text.substr(0, nl));
      newline(newline_kind::literal);
    }
    append(text);
  }

  void start_block(std::string_view prefix) {
    write(prefix);
    op o = make_op(op_kind::block_start);
    o.depth = pending_blocks_.size();
    pending_blocks_.push_back(enqueue(o));
  }

  void end_block(std::string_view suffix) {
    const std::int64_t start = pending_blocks_.back();
    pending_blocks_.pop_back();
    const std::int64_t end = enqueue(make_op(op_kind::block_end));
    write(suffix);
    if (start >= head_id_) at(start).block_end = end;
  }

  void newline(newline_kind kind) {
    op o = make_op(op_kind::newline);
    o.kind_of_newline = kind;
    o.depth = pending_blocks_.size();
    const std::int64_t id = enqueue(o);
    for (std::size_t i = 0; i + 1 < queue_.size(); ++i) {
      op& e = queue_[i];
      if ((e.kind == op_kind::newline || e.kind == op_kind::block_start) && e.section_end < 0 &&
          o.depth <= e.depth)
        e.section_end = id;
    }
    maybe_output(kind == newline_kind::literal);
  }

  // Indents the following lines of the block to the current column.
  void indent_here() { enqueue(make_op(op_kind::indentation)); }

  void finish() {
    maybe_output(false);
    target_ += buffer_;
    buffer_.clear();
  }

 private:
  enum class op_kind { newline, indentation, block_start, block_end };
  enum class fit { yes, no, unknown };

  struct op {
    op_kind kind;
    std::int64_t posn;   // in characters
    std::int64_t bposn;  // in bytes of buffer_
    newline_kind kind_of_newline = newline_kind::linear;
    std::size_t depth = 0;
    std::int64_t section_end = -1;  // id of the op ending the section this one starts
    std::int64_t block_end = -1;
  };

  struct block {
    std::int64_t start_column = 0;
    std::int64_t indentation = 0;
    std::int64_t section_start_line = 0;
  };

  void append(std::string_view text) {
    buffer_ += text;
    for (unsigned char c : text)
      if ((c & 0xC0) != 0x80) ++buffer_chars_;
  }

  op make_op(op_kind kind) const {
    op o{kind, buffer_offset_ + buffer_chars_, byte_offset_ + static_cast<std::int64_t>(buffer_.size())};
    return o;
  }
  std::int64_t enqueue(const op& o) {
    queue_.push_back(o);
    return head_id_ + static_cast<std::int64_t>(queue_.size()) - 1;
  }
  op& at(std::int64_t id) { return queue_[static_cast<std::size_t>(id - head_id_)]; }
  void pop() {
    queue_.pop_front();
    ++head_id_;
  }

  std::int64_t posn_column(std::int64_t posn) const { return start_column_ + posn - buffer_offset_; }

  fit fits_on_line(std::int64_t until, bool force) {
    if (until >= 0) return posn_column(at(until).posn) <= line_length ? fit::yes : fit::no;
    if (force || start_column_ + buffer_chars_ > line_length) return fit::no;
    return fit::unknown;
  }

  // Decides the queued operations as far as the text seen so far allows.
  void maybe_output(bool force) {
    while (!queue_.empty()) {
      op& next = queue_.front();
      switch (next.kind) {
        case op_kind::newline: {
          bool take = true;
          if (next.kind_of_newline == newline_kind::fill &&
              line_number_ <= blocks_.back().section_start_line) {
            const fit f = fits_on_line(next.section_end, force);
            if (f == fit::unknown) return;
            take = f == fit::no;
          }
          if (take) output_line(next);
          break;
        }
        case op_kind::indentation:
          blocks_.back().indentation = posn_column(next.posn);
          break;
        case op_kind::block_start: {
          const fit f = fits_on_line(next.section_end, force);
          if (f == fit::unknown) return;
          if (f == fit::yes) {
            // The whole block fits: its newlines and indentations do not matter.
            const std::int64_t end = next.block_end;
            while (head_id_ <= end) pop();
            continue;
          }
          const std::int64_t column = posn_column(next.posn);
          blocks_.push_back({column, column, line_number_});
          break;
        }
        case op_kind::block_end:
          blocks_.pop_back();
          break;
      }
      pop();
    }
  }

  void output_line(const op& nl) {
    const bool literal = nl.kind_of_newline == newline_kind::literal;
    const auto consume_chars = nl.posn - buffer_offset_;
    const auto consume_bytes = static_cast<std::size_t>(nl.bposn - byte_offset_);
    std::size_t print = consume_bytes;
    if (!literal)
      while (print > 0 && buffer_[print - 1] == ' ') --print;
    target_.append(buffer_, 0, print);
    target_ += '\n';
    ++line_number_;
    start_column_ = 0;
    block& b = blocks_.back();
    const std::int64_t indent = literal ? 0 : b.indentation;
    buffer_ = std::string(static_cast<std::size_t>(indent), ' ') + buffer_.substr(consume_bytes);
    buffer_chars_ += indent - consume_chars;
    buffer_offset_ += consume_chars - indent;
    byte_offset_ += static_cast<std::int64_t>(consume_bytes) - indent;
    if (!literal) b.section_start_line = line_number_;
  }

  static constexpr std::int64_t line_length = 80;

  std::string& target_;
  std::string buffer_;  // text not yet written, starting at start_column_
  std::int64_t buffer_chars_ = 0;
  std::int64_t buffer_offset_ = 0;  // posn of the first character of buffer_
  std::int64_t byte_offset_ = 0;    // bposn of the first byte of buffer_
  std::int64_t start_column_ = 0;
  std::int64_t line_number_ = 0;
  std::deque<op> queue_;
  std::int64_t head_id_ = 0;
  std::vector<block> blocks_{block{}};
  std::vector<std::int64_t> pending_blocks_;
};

class layout {
 public:
  layout(pretty_stream& out, bool escape) : out_(out), escape_(escape) {}

  void object(const ref& value) {
    if (consp(value)) {
      list(static_cast<const cons_cell&>(*value));
    } else if (is(value, tag::structure)) {
      structure(static_cast<const structure_obj&>(*value));
    } else {
      text_.clear();
      write_atom(text_, value, escape_);
      out_.write(text_);
    }
  }

 private:
  void list(const cons_cell& c) {
    const nesting_guard guard;
    static const symbol* const quote_symbol = &cl_symbol("QUOTE");
    static const symbol* const function_symbol = &cl_symbol("FUNCTION");
    if (consp(c.cdr) && is_nil(static_cast<const cons_cell&>(*c.cdr).cdr)) {
      const ref& operand = static_cast<const cons_cell&>(*c.cdr).car;
      if (c.car.get() == quote_symbol) {
        out_.write("'");
        object(operand);
        return;
      }
      if (c.car.get() == function_symbol) {
        out_.write("#'");
        object(operand);
        return;
      }
    }
    const bool call = symbolp(c.car) && !is_nil(static_cast<const symbol&>(*c.car).function);
    out_.start_block("(");
    const cons_cell* cell = &c;
    for (bool first = true;; first = false) {
      object(cell->car);
      if (is_nil(cell->cdr)) break;
      out_.write(" ");
      out_.newline(newline_kind::fill);
      if (first && call) out_.indent_here();
      if (!consp(cell->cdr)) {
        out_.write(". ");
        object(cell->cdr);
        break;
      }
      cell = static_cast<const cons_cell*>(cell->cdr.get());
    }
    out_.end_block(")");
  }

  void structure(const structure_obj& s) {
    const nesting_guard guard;
    out_.start_block("#S(");
    text_.clear();
    write_symbol(text_, *s.type->name, escape_);
    out_.write(text_);
    for (std::size_t i = 0; i < s.slots.size(); ++i) {
      out_.write(" ");
      out_.newline(newline_kind::linear);
      text_.clear();
      write_slot_name(text_, *s.type->slots[i], escape_);
      text_ += ' ';
      out_.write(text_);
      object(s.slots[i]);
    }
    out_.end_block(")");
  }

  pretty_stream& out_;
  bool escape_;
  std::string text_;
};

}  // namespace

void write_pretty(std::string& out, const ref& value, bool escape) {
  pretty_stream stream(out);
  layout(stream, escape).object(value);
  stream.finish();
}

}  // namespace host::lisp
