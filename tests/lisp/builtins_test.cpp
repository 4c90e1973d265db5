// Builtins where the host's Lisp deliberately differs from a full Common
// Lisp, their error messages, and behaviour the SBCL table cannot show.
#include "eval_fixture.h"

namespace host::lisp {
namespace {

using Builtins = eval_test;

TEST_F(Builtins, NumbersTheHostCannotHoldAreErrors) {
  EXPECT_EQ(error_of("(/ 1 2)"), "The quotient of 1 and 2 is a ratio, which the host's numbers cannot hold.");
  EXPECT_EQ(error_of("(+ 9223372036854775807 1)"),
            "The result of (+ 9223372036854775807 1) does not fit the host's 64-bit integers.");
  EXPECT_EQ(kind_of("(* 4611686018427387904 2)"), "ARITHMETIC-ERROR");
  EXPECT_EQ(kind_of("(- -9223372036854775807 2)"), "ARITHMETIC-ERROR");
  EXPECT_EQ(kind_of("(abs (- -9223372036854775807 1))"), "ARITHMETIC-ERROR");
  EXPECT_EQ(kind_of("(floor (- -9223372036854775807 1) -1)"), "ARITHMETIC-ERROR");
  EXPECT_EQ(kind_of("(floor 1d300)"), "ARITHMETIC-ERROR");
  EXPECT_EQ(run("(rem (- -9223372036854775807 1) -1)"), "0");
  EXPECT_EQ(error_of("(/ 5 0)"), "Division by zero: (/ 5 0)");
  EXPECT_EQ(kind_of("(mod 5 0)"), "DIVISION-BY-ZERO");
  EXPECT_EQ(kind_of("(/ 1.5d0 0.0d0)"), "DIVISION-BY-ZERO");
  EXPECT_EQ(run("(/ 9223372036854775807 9223372036854775807)"), "1");
  EXPECT_EQ(error_of("(< 1 'a)"), "The value A is not of type NUMBER.");
  EXPECT_EQ(error_of("(= 'a)"), "The value A is not of type NUMBER.");
  EXPECT_EQ(error_of("(evenp 1.5d0)"), "The value 1.5d0 is not of type INTEGER.");
  EXPECT_EQ(error_of("(1+)"), "Invalid number of arguments to 1+: 0 (expected 1).");
}

TEST_F(Builtins, EqComparesBoxedIntegersAndCharactersByValue) {
  EXPECT_EQ(run("(list (eq 12345 12345) (eq #\\a #\\a) (eq 1.5d0 1.5d0) (eq \"a\" \"a\"))"), "(T T NIL NIL)");
  EXPECT_EQ(run("(member 300 '(100 200 300) :test #'eq)"), "(300)");
}

TEST_F(Builtins, SortIsStableAndSafeWithAnyPredicate) {
  // The list variable still starts at the first cons, which now holds the
  // smallest element.
  EXPECT_EQ(run("(let ((l (list 5 4 3 2 1))) (sort l #'<) l)"), "(1 2 3 4 5)");
  // A predicate that is not a strict order still gives a permutation.
  EXPECT_EQ(run("(length (sort (list 3 1 2 3 1 2 5 4 3 9 8 7 1 1 2) #'<=))"), "15");
  EXPECT_EQ(run("(let ((n 0)) (length (sort (list 1 2 3 4 5 6 7 8) (lambda (a b) (declare (ignore a b)) "
                "(oddp (incf n))))))"),
            "8");
  EXPECT_EQ(run("(sort (list \"b\" \"a\" \"B\" \"A\") #'string< :key #'string-upcase)"),
            "(\"a\" \"A\" \"b\" \"B\")");
  EXPECT_EQ(run("(let ((s (copy-list '(3 2 1)))) (sort \"cab\" #'string<))"), "\"abc\"");
  EXPECT_EQ(error_of("(sort '(1 \"a\") #'<)"), "The value \"a\" is not of type NUMBER.");
}

TEST_F(Builtins, SequenceArgumentErrors) {
  EXPECT_EQ(error_of("(subseq \"abc\" 2 5)"),
            "The bounding indices 2 and 5 are bad for a sequence of length 3.");
  EXPECT_EQ(error_of("(subseq '(1 2) 3)"),
            "The bounding indices 3 and NIL are bad for a sequence of length 2.");
  EXPECT_EQ(error_of("(elt '(a b) 2)"), "The index 2 is out of bounds for a sequence of length 2.");
  EXPECT_EQ(error_of("(member 1 '(1) :tset #'eql)"), "Unknown keyword argument :TSET to MEMBER.");
  EXPECT_EQ(error_of("(find 1 '(1) :key)"), "Odd number of keyword arguments to FIND.");
  EXPECT_EQ(error_of("(length 5)"), "The value 5 is not of type SEQUENCE.");
  EXPECT_EQ(error_of("(mapcar #'car \"ab\")"), "The value \"ab\" is not of type LIST.");
  EXPECT_EQ(error_of("(concatenate 'vector \"a\")"),
            "The result type VECTOR of CONCATENATE is not supported by the host (STRING or LIST).");
  EXPECT_EQ(error_of("(apply #'list 1 2)"), "The value 2 is not of type LIST.");
  EXPECT_EQ(error_of("(nth -1 '(a))"), "The value -1 is not of type UNSIGNED-BYTE.");
}

TEST_F(Builtins, StringsCountCharactersNotBytes) {
  EXPECT_EQ(run("(list (length \"日本語\") (search \"語\" \"日本語\") (position #\\ß \"Straße\"))"),
            "(3 2 4)");
  EXPECT_EQ(run("(list (subseq \"Grüße\" 2 4) (reverse \"äbc\") (string-upcase \"straße\" :start 6))"),
            "(\"üß\" \"cbä\" \"straße\")");
  EXPECT_EQ(run("(string< \"äa\" \"äb\")"), "1");
  EXPECT_EQ(run("(string-equal \"ÄÖ\" \"äö\")"), "T");
  EXPECT_EQ(error_of("(parse-integer \"12ab\")"), "junk in string \"12ab\"");
  EXPECT_EQ(error_of("(parse-integer \"  \")"), "no digits in string \"  \"");
  EXPECT_EQ(kind_of("(parse-integer \"-\")"), "PARSE-ERROR");
  EXPECT_EQ(run("(parse-integer \"-9223372036854775808\")"), "-9223372036854775808");
  EXPECT_EQ(kind_of("(parse-integer \"9223372036854775808\")"), "ARITHMETIC-ERROR");
}

TEST_F(Builtins, HashTableTests) {
  EXPECT_EQ(run("(let ((h (make-hash-table :test #'eql :size 10))) (setf (gethash 1 h) 'one) (gethash 1 h))"),
            "ONE");
  EXPECT_EQ(run("(let ((h (make-hash-table :test 'eq))) (setf (gethash :k h) 1) (gethash :k h))"), "1");
  EXPECT_EQ(error_of("(make-hash-table :test 'equalp)"),
            "The hash table test EQUALP is not supported by the host (EQ, EQL or EQUAL).");
  EXPECT_EQ(error_of("(gethash 1 '(1))"), "The value (1) is not of type HASH-TABLE.");
}

TEST_F(Builtins, SymbolsAndPackages) {
  const std::string name = pkg_->name + "-MADE";
  EXPECT_EQ(run("(package-name (make-package \"" + name + "\" :nicknames '(\"" + name + "-NICK\")))"),
            "\"" + name + "\"");
  EXPECT_EQ(run("(eq (find-package \"" + name + "-NICK\") (find-package '|" + name + "|))"), "T");
  EXPECT_EQ(run("(eq (intern \"X\" \"" + name + "\") (find-symbol \"X\" \"" + name + "\"))"), "T");
  EXPECT_EQ(run("(find-symbol \"NOT-THERE\" \"" + name + "\")"), "NIL");
  // New packages use COMMON-LISP unless told otherwise.
  EXPECT_EQ(run("(eq (find-symbol \"CAR\" \"" + name + "\") 'car)"), "T");
  EXPECT_EQ(run("(export (intern \"SHARED\" \"" + name + "\") \"" + name + "\")"), "T");
  EXPECT_EQ(run("(import (find-symbol \"SHARED\" \"" + name + "\")) (symbol-package 'shared)"),
            "#<PACKAGE \"" + name + "\">");
  EXPECT_EQ(run("(let ((*gensym-counter* 41))"
                "  (list (symbol-name (gensym)) (symbol-name (gensym \"TMP\")) (symbol-package (gensym)) "
                "*gensym-counter*))"),
            "(\"G41\" \"TMP42\" NIL 44)");
  EXPECT_EQ(run("(symbol-name (gensym 7))"), "\"G7\"");
  EXPECT_EQ(run("(defvar *gone* 1) (makunbound '*gone*) (boundp '*gone*)"), "NIL");
  EXPECT_EQ(error_of("(makunbound t)"), "The constant T cannot be made unbound.");
  EXPECT_EQ(error_of("(symbol-function 'not-a-function-here)"),
            "The function NOT-A-FUNCTION-HERE is undefined.");
  EXPECT_EQ(run("(funcall (symbol-function 'car) '(1))"), "1");
}

TEST_F(Builtins, ErrorSignalsWhatItIsGiven) {
  EXPECT_EQ(error_of("(error \"Even number of arguments required! Found ~A\" 3)"),
            "Even number of arguments required! Found 3");
  EXPECT_EQ(kind_of("(error \"x\")"), "SIMPLE-ERROR");
  EXPECT_EQ(kind_of("(error (handler-case (car 1) (error (c) c)))"), "TYPE-ERROR");
  EXPECT_EQ(error_of("(error 'file-error :format-control \"cannot open ~S\" :format-arguments '(\"f\"))"),
            "cannot open \"f\"");
  EXPECT_EQ(kind_of("(error 'file-error :pathname \"f\")"), "FILE-ERROR");
  EXPECT_EQ(error_of("(error 42)"), "The value 42 is not of type (OR STRING SYMBOL CONDITION).");
}

}  // namespace
}  // namespace host::lisp
