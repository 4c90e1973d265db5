// The evaluator: special forms, closures, lexical and dynamic binding,
// lambda lists and the errors of forms it cannot run.
#include "eval_fixture.h"

namespace host::lisp {
namespace {

using Eval = eval_test;

TEST_F(Eval, AtomsQuoteAndVariables) {
  EXPECT_EQ(run("42"), "42");
  EXPECT_EQ(run("\"text\""), "\"text\"");
  EXPECT_EQ(run(":key"), ":KEY");
  EXPECT_EQ(run("'(a . b)"), "(A . B)");
  EXPECT_EQ(run("nil"), "NIL");
  EXPECT_EQ(run("t"), "T");
  EXPECT_EQ(error_of("unbound-thing"), "The variable UNBOUND-THING is unbound.");
  EXPECT_EQ(error_of("(quote a b)"), "Malformed QUOTE form: (QUOTE A B)");
}

TEST_F(Eval, Conditionals) {
  EXPECT_EQ(run("(if nil 1 2)"), "2");
  EXPECT_EQ(run("(if 0 1 2)"), "1");
  EXPECT_EQ(run("(if nil 1)"), "NIL");
  EXPECT_EQ(run("(when t 1 2)"), "2");
  EXPECT_EQ(run("(unless t 1 2)"), "NIL");
  // A clause without body yields its test's value.
  EXPECT_EQ(run("(cond (nil 1) ((+ 1 2)) (t 4))"), "3");
  EXPECT_EQ(run("(cond (nil 1))"), "NIL");
  EXPECT_EQ(run("(case 3 (1 'one) ((2 3) 'two-or-three) (otherwise 'other))"), "TWO-OR-THREE");
  EXPECT_EQ(run("(case 'z ((a) 1) (t 'fallback))"), "FALLBACK");
  EXPECT_EQ(run("(case 1.0d0 (1 'int) (t 'no))"), "NO");  // eql, not =
  EXPECT_EQ(run("(case nil (nil 'empty-keys) ((nil) 'nil-key))"), "NIL-KEY");
  EXPECT_EQ(run("(and 1 2 3)"), "3");
  EXPECT_EQ(run("(and)"), "T");
  EXPECT_EQ(run("(and 1 nil (error \"not reached\"))"), "NIL");
  EXPECT_EQ(run("(or nil 2 (error \"not reached\"))"), "2");
  EXPECT_EQ(run("(or)"), "NIL");
  EXPECT_EQ(run("(prog1 1 2 3)"), "1");
  EXPECT_EQ(run("(progn)"), "NIL");
}

TEST_F(Eval, LetIsParallelLetStarSequential) {
  EXPECT_EQ(run("(let ((x 1)) (let ((x 2) (y x)) (list x y)))"), "(2 1)");
  EXPECT_EQ(run("(let ((x 1)) (let* ((x 2) (y x)) (list x y)))"), "(2 2)");
  EXPECT_EQ(run("(let (a (b) (c 3)) (list a b c))"), "(NIL NIL 3)");
  EXPECT_EQ(run("(let ((x 1)) (declare (ignorable x)) x)"), "1");
  EXPECT_EQ(error_of("(let ((1 2)) 1)"), "Malformed LET form: (LET ((1 2)) 1)");
  EXPECT_EQ(error_of("(let ((t 1)) t)"), "T is a constant and cannot be bound.");
}

TEST_F(Eval, ClosuresCaptureTheirBindings) {
  eval_string(
      "(defun make-counter () (let ((n 0)) (lambda () (setq n (+ n 1)))))"
      "(defvar *c1* (make-counter)) (defvar *c2* (make-counter))");
  EXPECT_EQ(run("(list (funcall *c1*) (funcall *c1*) (funcall *c2*) (funcall *c1*))"), "(1 2 1 3)");
  // Two closures over one binding see each other's changes.
  EXPECT_EQ(
      run("(let* ((x 1) (get (lambda () x)) (set (lambda (v) (setq x v)))) (funcall set 5) (funcall get))"),
      "5");
  // dolist makes a fresh binding per element.
  EXPECT_EQ(run("(let ((fs nil)) (dolist (i '(1 2 3)) (push (lambda () i) fs)) (mapcar #'funcall fs))"),
            "(3 2 1)");
  EXPECT_EQ(run("((lambda (x &optional (y (* x 2))) (list x y)) 3)"), "(3 6)");
}

TEST_F(Eval, SpecialVariablesBindDynamically) {
  eval_string("(defvar *depth* 0) (defun depth () *depth*)");
  EXPECT_EQ(run("(list (depth) (let ((*depth* 1)) (depth)) (depth))"), "(0 1 0)");
  // A parameter that names a special variable binds it too.
  eval_string("(defun with-depth (*depth*) (depth))");
  EXPECT_EQ(run("(list (with-depth 7) *depth*)"), "(7 0)");
  // The binding is undone when an error leaves it.
  EXPECT_EQ(run("(ignore-errors (let ((*depth* 9)) (error \"boom\")))"), "NIL");
  EXPECT_EQ(run("*depth*"), "0");
  // setq inside the binding changes the binding, not the global value.
  EXPECT_EQ(run("(list (let ((*depth* 1)) (setq *depth* 2) (depth)) *depth*)"), "(2 0)");
  // A lexical variable is not seen by a function defined elsewhere.
  eval_string("(defun outer-y () (if (boundp 'lexical-y) 'bound 'unbound))");
  EXPECT_EQ(run("(let ((lexical-y 1)) (outer-y))"), "UNBOUND");
}

TEST_F(Eval, DefvarKeepsDefparameterSets) {
  EXPECT_EQ(run("(defvar *v* 1)"), "*V*");
  EXPECT_EQ(run("(defvar *v* (error \"the initial form is not evaluated again\")) *v*"), "1");
  EXPECT_EQ(run("(defparameter *v* 2) *v*"), "2");
  EXPECT_EQ(run("(defvar *unbound-special*) (boundp '*unbound-special*)"), "NIL");
  EXPECT_EQ(run("(let ((*unbound-special* 3)) (symbol-value '*unbound-special*))"), "3");
  EXPECT_EQ(run("(defconstant +c+ \"same\") (defconstant +c+ \"same\") +c+"), "\"same\"");
  EXPECT_EQ(error_of("(defconstant +c+ \"other\")"),
            "The constant +C+ is being redefined (from \"same\" to \"other\").");
  EXPECT_EQ(error_of("(setq +c+ 1)"), "+C+ is a constant and cannot be set.");
  EXPECT_EQ(error_of("(setq :k 1)"), ":K is a constant and cannot be set.");
  EXPECT_EQ(error_of("(defparameter t nil)"), "T is a constant and cannot become a special variable.");
}

TEST_F(Eval, LambdaListsOptionalRestAux) {
  eval_string("(defun opt (a &optional (b 10 b-p) c) (list a b b-p c))");
  EXPECT_EQ(run("(opt 1)"), "(1 10 NIL NIL)");
  EXPECT_EQ(run("(opt 1 2 3)"), "(1 2 T 3)");
  EXPECT_EQ(error_of("(opt)"), "Invalid number of arguments to OPT: 0 (expected between 1 and 3).");
  EXPECT_EQ(error_of("(opt 1 2 3 4)"), "Invalid number of arguments to OPT: 4 (expected between 1 and 3).");
  eval_string("(defun rest-args (a &rest more &aux (n (length more))) (list a more n))");
  EXPECT_EQ(run("(rest-args 1 2 3)"), "(1 (2 3) 2)");
  EXPECT_EQ(error_of("(rest-args)"), "Invalid number of arguments to REST-ARGS: 0 (expected at least 1).");
  EXPECT_EQ(run("(defun documented (x) \"Doubles x.\" (* 2 x)) (documented 4)"), "8");
  EXPECT_EQ(run("(defun only-doc () \"just a string\") (only-doc)"), "\"just a string\"");
  EXPECT_EQ(error_of("(defun bad (a &optional b &optional c) 1)"),
            "Malformed lambda list: (A &OPTIONAL B &OPTIONAL C)");
  EXPECT_EQ(error_of("(defun bad (&rest) 1)"), "Malformed lambda list: (&REST)");
  EXPECT_EQ(error_of("(defun bad (&whole w) 1)"),
            "The lambda list keyword &WHOLE is not supported by the host's evaluator.");
}

TEST_F(Eval, KeywordParameters) {
  eval_string("(defun keys (&key (a 1 a-p) b ((:the-c c) (+ a 100))) (list a a-p b c))");
  EXPECT_EQ(run("(keys)"), "(1 NIL NIL 101)");
  EXPECT_EQ(run("(keys :b 2 :a 5)"), "(5 T 2 105)");
  EXPECT_EQ(run("(keys :the-c 3)"), "(1 NIL NIL 3)");
  // The leftmost occurrence of a key wins.
  EXPECT_EQ(run("(keys :a 1 :a 2)"), "(1 T NIL 101)");
  EXPECT_EQ(error_of("(keys :c 3)"), "Unknown keyword argument :C to KEYS.");
  EXPECT_EQ(error_of("(keys :a)"), "Odd number of keyword arguments to KEYS.");
  EXPECT_EQ(error_of("(keys 1 2)"), "1 is not a keyword argument of KEYS.");
  EXPECT_EQ(kind_of("(keys :c 3)"), "PROGRAM-ERROR");
  EXPECT_EQ(run("(keys :c 3 :allow-other-keys t)"), "(1 NIL NIL 101)");
  EXPECT_EQ(error_of("(keys :c 3 :allow-other-keys nil)"), "Unknown keyword argument :C to KEYS.");
  eval_string("(defun open-keys (&rest all &key x &allow-other-keys) (list x all))");
  EXPECT_EQ(run("(open-keys :y 1 :x 2)"), "(2 (:Y 1 :X 2))");
}

TEST_F(Eval, FunctionsAndCalls) {
  EXPECT_EQ(run("(funcall #'+ 1 2)"), "3");
  EXPECT_EQ(run("(funcall 'list 1 2)"), "(1 2)");
  EXPECT_EQ(run("(funcall (function (lambda (x) (* x x))) 5)"), "25");
  EXPECT_EQ(run("(apply (lambda (&rest r) r) 1 '(2 3))"), "(1 2 3)");
  EXPECT_EQ(run("(defun sq (x) (* x x))"), "SQ");
  EXPECT_EQ(run("(mapcar #'sq '(1 2 3))"), "(1 4 9)");
  EXPECT_EQ(error_of("(no-such-function 1)"), "The function NO-SUCH-FUNCTION is undefined.");
  EXPECT_EQ(kind_of("(no-such-function 1)"), "UNDEFINED-FUNCTION");
  EXPECT_EQ(error_of("(funcall 'if t 1)"), "The function IF is undefined.");
  EXPECT_EQ(error_of("(funcall 3)"), "The value 3 is not of type FUNCTION.");
  EXPECT_EQ(error_of("((a b) 1)"), "Illegal function call: ((A B) 1)");
  EXPECT_EQ(error_of("(defun nil () 1)"), "NIL cannot name a function.");
}

TEST_F(Eval, BlocksAndReturns) {
  EXPECT_EQ(run("(block b 1 (return-from b 2) 3)"), "2");
  EXPECT_EQ(run("(block b (return-from b))"), "NIL");
  EXPECT_EQ(run("(dolist (x '(1 2 3 4)) (when (> x 2) (return x)))"), "3");
  EXPECT_EQ(run("(dotimes (i 10) (when (= i 4) (return (* i 10))))"), "40");
  // defun establishes a block named by the function, reachable from a
  // lambda called by a builtin.
  eval_string("(defun first-even (l) (mapc (lambda (x) (when (evenp x) (return-from first-even x))) l) nil)");
  EXPECT_EQ(run("(first-even '(1 3 6 8))"), "6");
  EXPECT_EQ(run("(first-even '(1 3))"), "NIL");
  // Inner blocks of the same name shadow outer ones.
  EXPECT_EQ(run("(block a (+ 1 (block a (return-from a 10))))"), "11");
  EXPECT_EQ(error_of("(return-from nowhere 1)"), "There is no block named NOWHERE to return from.");
  EXPECT_EQ(error_of("(funcall (block b (lambda () (return-from b 1))))"),
            "The block B has already been left; it cannot be returned from.");
}

TEST_F(Eval, Loops) {
  EXPECT_EQ(run("(let ((sum 0)) (dolist (x '(1 2 3) sum) (setq sum (+ sum x))))"), "6");
  EXPECT_EQ(run("(dolist (x '(1 2) x))"), "NIL");
  EXPECT_EQ(run("(let ((acc nil)) (dotimes (i 3 (list i acc)) (push i acc)))"), "(3 (2 1 0))");
  EXPECT_EQ(run("(dotimes (i 0 'none))"), "NONE");
  EXPECT_EQ(error_of("(dolist (x 5))"), "The value 5 is not of type LIST.");
  EXPECT_EQ(error_of("(dotimes (i \"3\"))"), "The value \"3\" is not of type INTEGER.");
}

TEST_F(Eval, CleanupAndHandlers) {
  eval_string("(defvar *log* nil)");
  EXPECT_EQ(run("(ignore-errors (unwind-protect (error \"x\") (push 'cleaned *log*)))"), "NIL");
  EXPECT_EQ(run("(list (unwind-protect 1 (push 'again *log*)) *log*)"), "(1 (AGAIN CLEANED))");
  EXPECT_EQ(run("(block b (unwind-protect (return-from b 'left) (push 'on-return *log*)))"), "LEFT");
  EXPECT_EQ(run("(car *log*)"), "ON-RETURN");
  EXPECT_EQ(run("(ignore-errors 1 2)"), "2");
  EXPECT_EQ(run("(handler-case (error \"bad ~A\" 42) (error (c) (list 'caught (format nil \"~A\" c))))"),
            "(CAUGHT \"bad 42\")");
  EXPECT_EQ(run("(handler-case (car 1) (type-error () 'type) (error () 'other))"), "TYPE");
  EXPECT_EQ(run("(handler-case (error \"plain\") (type-error () 'type) (error () 'other))"), "OTHER");
  EXPECT_EQ(run("(handler-case (+ 1 2) (error () 'never))"), "3");
  EXPECT_EQ(error_of("(handler-case (error \"through\") (type-error () 'type))"), "through");
  EXPECT_EQ(error_of("(handler-case 1 (:no-error (x) x))"),
            "The handler-case clause :NO-ERROR is not supported by the host's evaluator.");
}

TEST_F(Eval, InPackageChangesHowLaterFormsRead) {
  make_package(std::string(pkg_->name) + "-OTHER", {}, {&common_lisp_package()});
  const std::string other = pkg_->name + "-OTHER";
  EXPECT_EQ(run("(in-package \"" + other + "\") (defvar here 1) (package-name *package*)"),
            "\"" + other + "\"");
  ASSERT_NE(find_symbol("HERE", require_package(other)), nullptr);
  EXPECT_EQ(find_symbol("HERE", *pkg_), nullptr);
  EXPECT_EQ(error_of("(in-package :no-such-package-anywhere)"),
            "The package NO-SUCH-PACKAGE-ANYWHERE does not exist.");
}

TEST_F(Eval, UnsupportedFormsSaySo) {
  EXPECT_EQ(error_of("(loop for x in '(1 2) collect x)"), "LOOP is not supported by the host's evaluator.");
  EXPECT_EQ(error_of("(defmacro m (x) x)"), "DEFMACRO is not supported by the host's evaluator.");
  EXPECT_EQ(error_of("(defstruct point x y)"), "DEFSTRUCT is not supported by the host's evaluator.");
  EXPECT_EQ(error_of("(flet ((f () 1)) (f))"), "FLET is not supported by the host's evaluator.");
  EXPECT_EQ(error_of("(let ((x 1)) (declare (special x)) x)"),
            "Local special declarations are not supported by the host's evaluator: (DECLARE (SPECIAL X))");
}

TEST_F(Eval, DeeplyNestedFormsEvaluate) {
  std::string text;
  for (int i = 0; i < 500; ++i) text += "(+ 1 ";
  text += "0";
  for (int i = 0; i < 500; ++i) text += ")";
  EXPECT_EQ(run(text), "500");
  EXPECT_EQ(run("(defun count-down (n) (if (= n 0) 'done (count-down (- n 1)))) (count-down 300)"), "DONE");
}

TEST_F(Eval, KeywordArgsOfNatives) {
  const ref args[] = {ref(&keyword("TEST")), make_integer(1),       ref(&keyword("KEY")),
                      make_integer(2),       ref(&keyword("TEST")), make_integer(3)};
  keyword_args keys("F", args, 0, {"test", ":key"});
  EXPECT_EQ(as_integer(keys.get(":TEST")), 1);  // first occurrence, any spelling
  EXPECT_EQ(as_integer(keys.get("key")), 2);
  EXPECT_TRUE(keys.has("test"));
  EXPECT_FALSE(keys.has("from-end"));
  EXPECT_EQ(as_integer(keys.get("from-end", make_integer(9))), 9);
  EXPECT_THROW(keyword_args("F", args, 0, {"test"}), lisp_error);
  EXPECT_NO_THROW(keyword_args("F", args, 0, {"test"}, true));
  EXPECT_THROW(keyword_args("F", args_t(args).subspan(0, 3), 0, {"test", "key"}), lisp_error);
  // No pairs at all past the positional arguments.
  EXPECT_FALSE(keyword_args("F", args_t(args).subspan(0, 1), 1, {"test"}).has("test"));
}

}  // namespace
}  // namespace host::lisp
