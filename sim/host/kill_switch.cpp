#include "host/kill_switch.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <string>

namespace sim {

namespace {

// Passes every character on to the real output and watches for the text.
class watching_buffer : public std::streambuf {
 public:
  watching_buffer(std::streambuf* out, std::string text, int count, int sig)
      : out_(out), text_(std::move(text)), left_(count), signal_(sig) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (traits_type::eq_int_type(out_->sputc(traits_type::to_char_type(c)), traits_type::eof()))
      return traits_type::eof();
    watch(traits_type::to_char_type(c));
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i)
      if (traits_type::eq_int_type(overflow(traits_type::to_int_type(s[i])), traits_type::eof())) return i;
    return n;
  }
  int sync() override { return out_->pubsync(); }

 private:
  void watch(char c) {
    seen_ += c;
    if (seen_.size() > text_.size()) seen_.erase(0, seen_.size() - text_.size());
    if (seen_ != text_ || --left_ > 0) return;
    out_->pubsync();
    ::kill(::getpid(), signal_);
  }

  std::streambuf* out_;
  std::string text_, seen_;
  int left_, signal_;
};

int number(const char* variable, int fallback) {
  const char* v = std::getenv(variable);
  return v && *v ? std::atoi(v) : fallback;
}

}  // namespace

void install_kill_switch() {
  const char* text = std::getenv("SDSIM_KILL_ON");
  if (!text || !*text) return;
  // Never destroyed: std::cout writes through it up to the process's end.
  auto* buffer = new watching_buffer(std::cout.rdbuf(), text, number("SDSIM_KILL_ON_COUNT", 1),
                                     number("SDSIM_KILL_SIGNAL", SIGKILL));
  std::cout.rdbuf(buffer);
}

}  // namespace sim
