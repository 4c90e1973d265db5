// load of source files and eval_string.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "eval_fixture.h"
#include "host/lisp/pathnames.h"

namespace host::lisp {
namespace {

class Load : public eval_test {
 protected:
  void SetUp() override {
    eval_test::SetUp();
    dir_ =
        std::filesystem::temp_directory_path() / ("eval_load_" + std::to_string(getpid()) + "_" + pkg_->name);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
    eval_test::TearDown();
  }
  std::filesystem::path write(const std::string& name, const std::string& text) {
    const auto file = dir_ / name;
    std::ofstream(file) << text;
    return file;
  }
  std::filesystem::path dir_;
};

TEST_F(Load, EvaluatesEveryFormInItsOwnPackageBinding) {
  const std::string target = pkg_->name + "-CUSTOM";
  make_package(target, {}, {&common_lisp_package()});
  const auto file = write("custom file.lsp",
                          "; customization\n"
                          "(in-package \"" +
                              target +
                              "\")\n"
                              "(defvar *seen-file* (namestring *load-truename*))\n"
                              "#| a block\n comment |#\n"
                              "(defun twice (x) (* 2 x))\n"
                              "(defparameter *value* (twice 21))\n");
  EXPECT_EQ(prin1_to_string(load(file)), "T");
  // The file's in-package ended with the load.
  EXPECT_EQ(&current_package(), pkg_);
  package& custom = require_package(target);
  ASSERT_NE(find_symbol("*VALUE*", custom), nullptr);
  EXPECT_EQ(run("(symbol-value (find-symbol \"*VALUE*\" \"" + target + "\"))"), "42");
  EXPECT_EQ(run("(symbol-value (find-symbol \"*SEEN-FILE*\" \"" + target + "\"))"),
            "\"" + std::filesystem::canonical(file).string() + "\"");
  EXPECT_EQ(run("*load-truename*"), "NIL");
  EXPECT_EQ(find_symbol("TWICE", *pkg_), nullptr);
}

TEST_F(Load, ErrorNamesFileAndLineOfTheForm) {
  const auto file = write("broken.lsp",
                          "(defvar *before* 1)\n"
                          "\n"
                          "; the next form fails\n"
                          "(list 1\n"
                          "      (undefined-here))\n"
                          "(defvar *after* 2)\n");
  try {
    load(file);
    FAIL() << "no error";
  } catch (const lisp_error& e) {
    EXPECT_EQ(e.message(), file.string() + ", line 4: The function UNDEFINED-HERE is undefined.");
    EXPECT_EQ(e.kind(), "UNDEFINED-FUNCTION");
  }
  // Forms before the error took effect, forms after it did not run.
  EXPECT_EQ(run("*before*"), "1");
  EXPECT_EQ(run("(boundp '*after*)"), "NIL");
  EXPECT_EQ(&current_package(), pkg_);
}

TEST_F(Load, FromLispAndMissingFiles) {
  const auto file = write("value.lsp", "(defparameter *from-lisp* (+ 1 2))");
  EXPECT_EQ(run("(load \"" + file.string() + "\")"), "T");
  EXPECT_EQ(run("*from-lisp*"), "3");
  const std::string missing = (dir_ / "missing.lsp").string();
  EXPECT_EQ(kind_of("(load \"" + missing + "\")"), "FILE-ERROR");
  EXPECT_EQ(error_of("(load \"" + missing + "\")"),
            "Cannot load \"" + missing + "\": No such file or directory");
  EXPECT_EQ(run("(load \"" + missing + "\" :if-does-not-exist nil)"), "NIL");
  EXPECT_EQ(error_of("(load \"" + dir_.string() + "\")"),
            "Cannot load \"" + dir_.string() + "\": Is a directory");
}

TEST_F(Load, EvalStringReturnsLastValueAndKeepsMessages) {
  EXPECT_EQ(run("(defvar *a* 1) (+ *a* 1)"), "2");
  EXPECT_EQ(run(""), "NIL");
  EXPECT_EQ(error_of("(car 1)"), "The value 1 is not of type LIST.");
  EXPECT_EQ(run("(eval '(+ 1 2))"), "3");
  EXPECT_EQ(run("(eval (list 'quote 'x))"), "X");
}

}  // namespace
}  // namespace host::lisp
