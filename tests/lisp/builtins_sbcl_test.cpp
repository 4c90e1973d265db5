// The builtins against SBCL, the reference Common Lisp. Every row is a
// form and what SBCL prints for its value ("!error" when it signals). The
// table was made with SBCL; when sbcl is on PATH a second test checks that
// it still agrees.
//
// Left out on purpose, because the host's numbers differ: ratios and
// integers beyond 64 bits (see builtins_numbers_test.cpp). Left out because
// Common Lisp leaves them open: what a destructively sorted list variable
// holds afterwards.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "eval_fixture.h"

namespace host::lisp {
namespace {

struct row {
  const char* form;
  const char* expected;
};

const row table[] = {
    {R"lisp((car '(1 2)))lisp", R"lisp(1)lisp"},
    {R"lisp((cdr '(1 . 2)))lisp", R"lisp(2)lisp"},
    {R"lisp((car nil))lisp", R"lisp(NIL)lisp"},
    {R"lisp((car 5))lisp", R"lisp(!error)lisp"},
    {R"lisp((list (caar '((1) 2)) (cadr '(1 2)) (cdar '((1 . 3))) (cddr '(1 2 3))))lisp",
     R"lisp((1 2 3 (3)))lisp"},
    {R"lisp((list (first '(1 2 3)) (second '(1 2 3)) (third '(1 2)) (rest '(1 2 3))))lisp",
     R"lisp((1 2 NIL (2 3)))lisp"},
    {R"lisp((list (nth 2 '(a b c)) (nth 5 '(a b)) (nthcdr 1 '(a b c)) (nthcdr 5 '(a))))lisp",
     R"lisp((C NIL (B C) NIL))lisp"},
    {R"lisp((nth -1 '(a)))lisp", R"lisp(!error)lisp"},
    {R"lisp((list* 1 2 '(3 4)))lisp", R"lisp((1 2 3 4))lisp"},
    {R"lisp((list* 'x))lisp", R"lisp(X)lisp"},
    {R"lisp((append '(1) nil '(2 3) 4))lisp", R"lisp((1 2 3 . 4))lisp"},
    {R"lisp((append))lisp", R"lisp(NIL)lisp"},
    {R"lisp((let* ((a (list 1 2)) (b (append a '(3)))) (setf (car b) 'x) a))lisp", R"lisp((1 2))lisp"},
    {R"lisp((nconc nil (list 1) nil (list 2 3)))lisp", R"lisp((1 2 3))lisp"},
    {R"lisp((nconc (list 1) 2))lisp", R"lisp((1 . 2))lisp"},
    {R"lisp((list (last '(1 2 3)) (last '(1 2 3) 2) (last '(1 2 . 3) 0) (last nil)))lisp",
     R"lisp(((3) (2 3) 3 NIL))lisp"},
    {R"lisp((list (butlast '(1 2 3)) (butlast '(1 2 3) 2) (butlast '(1) 5)))lisp",
     R"lisp(((1 2) (1) NIL))lisp"},
    {R"lisp((let* ((a (list 1 2 3)) (b (copy-list a))) (setf (car b) 9) (list a b (copy-list '(1 . 2)))))lisp",
     R"lisp(((1 2 3) (9 2 3) (1 . 2)))lisp"},
    {R"lisp((length '(1 2 3)))lisp", R"lisp(3)lisp"},
    {R"lisp((length "Straße"))lisp", R"lisp(6)lisp"},
    {R"lisp((length '(1 . 2)))lisp", R"lisp(!error)lisp"},
    {R"lisp((list (reverse '(1 2 3)) (reverse "abc") (nreverse (list 1 2))))lisp",
     R"lisp(((3 2 1) "cba" (2 1)))lisp"},
    {R"lisp((member 2 '(1 2 3)))lisp", R"lisp((2 3))lisp"},
    {R"lisp((member "b" '("a" "b") :test #'equal))lisp", R"lisp(("b"))lisp"},
    {R"lisp((member "b" '("a" "b")))lisp", R"lisp(NIL)lisp"},
    {R"lisp((member 3 '((1 a) (3 b)) :key #'car))lisp", R"lisp(((3 B)))lisp"},
    {R"lisp((assoc 'b '((a . 1) nil (b . 2))))lisp", R"lisp((B . 2))lisp"},
    {R"lisp((assoc "b" '(("a" . 1) ("b" . 2)) :test #'equal))lisp", R"lisp(("b" . 2))lisp"},
    {R"lisp((rassoc 2 '((a . 1) (b . 2))))lisp", R"lisp((B . 2))lisp"},
    {R"lisp((getf '(:a 1 :b 2) :b))lisp", R"lisp(2)lisp"},
    {R"lisp((getf '(:a 1) :z 'default))lisp", R"lisp(DEFAULT)lisp"},
    {R"lisp((adjoin 2 '(1 2 3)))lisp", R"lisp((1 2 3))lisp"},
    {R"lisp((adjoin 4 '(1 2 3)))lisp", R"lisp((4 1 2 3))lisp"},
    {R"lisp((adjoin '(a 9) '((a 1)) :key #'car))lisp", R"lisp(((A 1)))lisp"},
    {R"lisp((union '(a b) '(b c)))lisp", R"lisp((A B C))lisp"},
    {R"lisp((union '(1 2) '(3 4 5)))lisp", R"lisp((5 4 3 1 2))lisp"},
    {R"lisp((union '(1 2 3) nil))lisp", R"lisp((3 2 1))lisp"},
    {R"lisp((union '("a" "b") '("b" "c") :test #'equal))lisp", R"lisp(("a" "b" "c"))lisp"},
    {R"lisp((union '("x" "y" "z") '("y") :test #'equal))lisp", R"lisp(("z" "x" "y"))lisp"},
    {R"lisp((intersection '(1 2 3 4) '(4 2 9)))lisp", R"lisp((4 2))lisp"},
    {R"lisp((intersection '("a" "b") '("b" "c") :test 'equal))lisp", R"lisp(("b"))lisp"},
    {R"lisp((set-difference '(1 2 3 4 5) '(2 4)))lisp", R"lisp((5 3 1))lisp"},
    {R"lisp((set-difference '(1 2 3) nil))lisp", R"lisp((1 2 3))lisp"},
    {R"lisp((set-difference '((a 1) (b 2)) '((a 3)) :key #'car))lisp", R"lisp(((B 2)))lisp"},
    {R"lisp((remove 1 '(1 2 1 3 1)))lisp", R"lisp((2 3))lisp"},
    {R"lisp((remove 1 '(1 2 1 3 1) :count 2))lisp", R"lisp((2 3 1))lisp"},
    {R"lisp((remove 1 '(1 2 1 3 1) :count 2 :from-end t))lisp", R"lisp((1 2 3))lisp"},
    {R"lisp((remove #\a "banana"))lisp", R"lisp("bnn")lisp"},
    {R"lisp((remove 1 '(1 2 1 3) :start 1))lisp", R"lisp((1 2 3))lisp"},
    {R"lisp((remove-if #'evenp '(1 2 3 4)))lisp", R"lisp((1 3))lisp"},
    {R"lisp((remove-if #'evenp '((a 1) (b 2)) :key #'second))lisp", R"lisp(((A 1)))lisp"},
    {R"lisp((remove-if-not #'evenp '(1 2 3 4)))lisp", R"lisp((2 4))lisp"},
    {R"lisp((delete 2 (list 1 2 3 2)))lisp", R"lisp((1 3))lisp"},
    {R"lisp((delete-if #'oddp (list 1 2 3)))lisp", R"lisp((2))lisp"},
    {R"lisp((remove-duplicates '(a b a c b)))lisp", R"lisp((A C B))lisp"},
    {R"lisp((remove-duplicates '(a b a c b) :from-end t))lisp", R"lisp((A B C))lisp"},
    {R"lisp((remove-duplicates "abacb"))lisp", R"lisp("acb")lisp"},
    {R"lisp((remove-duplicates '((a 1) (b 2) (a 3)) :key #'car))lisp", R"lisp(((B 2) (A 3)))lisp"},
    {R"lisp((remove-duplicates '("x" "y" "x") :test #'equal))lisp", R"lisp(("y" "x"))lisp"},
    {R"lisp((remove-duplicates '("x" "y" "x")))lisp", R"lisp(("x" "y" "x"))lisp"},
    {R"lisp((delete-duplicates (list 1 2 1 2 3)))lisp", R"lisp((1 2 3))lisp"},
    {R"lisp((list (find 3 '(1 3 5)) (find 4 '(1 3 5)) (find #\b "abc")))lisp", R"lisp((3 NIL #\b))lisp"},
    {R"lisp((find 3 '((1 a) (3 b)) :key #'car))lisp", R"lisp((3 B))lisp"},
    {R"lisp((find "b" '("a" "b") :test #'string=))lisp", R"lisp("b")lisp"},
    {R"lisp((find-if #'evenp '(1 4 6)))lisp", R"lisp(4)lisp"},
    {R"lisp((find-if #'evenp '(1 4 6) :from-end t))lisp", R"lisp(6)lisp"},
    {R"lisp((list (position #\b "abcb") (position #\b "abcb" :from-end t) (position 9 '(1 2))))lisp",
     R"lisp((1 3 NIL))lisp"},
    {R"lisp((position-if #'evenp '(1 3 4 6) :start 3))lisp", R"lisp(3)lisp"},
    {R"lisp((list (count 1 '(1 2 1)) (count-if #'evenp '(1 2 4 5)) (count #\a "banana" :start 2)))lisp",
     R"lisp((2 2 2))lisp"},
    {R"lisp((sort (list 3 1 2) #'<))lisp", R"lisp((1 2 3))lisp"},
    {R"lisp((sort (list "b" "c" "a") #'string<))lisp", R"lisp(("a" "b" "c"))lisp"},
    {R"lisp((sort (list '(b 2) '(a 1) '(c 3)) #'< :key #'second))lisp", R"lisp(((A 1) (B 2) (C 3)))lisp"},
    {R"lisp((stable-sort (list '(a 1) '(b 0) '(c 1) '(d 0)) #'< :key #'second))lisp",
     R"lisp(((B 0) (D 0) (A 1) (C 1)))lisp"},
    {R"lisp((reduce #'+ '(1 2 3 4)))lisp", R"lisp(10)lisp"},
    {R"lisp((reduce #'- '(1 2 3 4)))lisp", R"lisp(-8)lisp"},
    {R"lisp((reduce #'- '(1 2 3 4) :from-end t))lisp", R"lisp(-2)lisp"},
    {R"lisp((reduce #'+ '()))lisp", R"lisp(0)lisp"},
    {R"lisp((reduce #'+ '(5)))lisp", R"lisp(5)lisp"},
    {R"lisp((reduce #'list '(1 2 3) :from-end t :initial-value 0))lisp", R"lisp((1 (2 (3 0))))lisp"},
    {R"lisp((reduce #'list '(1 2 3) :initial-value 0))lisp", R"lisp((((0 1) 2) 3))lisp"},
    {R"lisp((reduce #'+ '((a 1) (b 2)) :key #'second))lisp", R"lisp(3)lisp"},
    {R"lisp((list (subseq "hello" 1 3) (subseq "hello" 2) (subseq '(1 2 3) 1)))lisp",
     R"lisp(("el" "llo" (2 3)))lisp"},
    {R"lisp((subseq "abc" 2 5))lisp", R"lisp(!error)lisp"},
    {R"lisp((subseq "äöü" 1))lisp", R"lisp("öü")lisp"},
    {R"lisp((list (elt '(a b c) 1) (elt "abc" 2)))lisp", R"lisp((B #\c))lisp"},
    {R"lisp((elt '(a b) 5))lisp", R"lisp(!error)lisp"},
    {R"lisp((mapcar #'+ '(1 2 3) '(10 20)))lisp", R"lisp((11 22))lisp"},
    {R"lisp((mapcar #'car '((a 1) (b 2))))lisp", R"lisp((A B))lisp"},
    {R"lisp((mapc #'identity '(1 2)))lisp", R"lisp((1 2))lisp"},
    {R"lisp((mapcan (lambda (x) (if (evenp x) (list x x))) '(1 2 3 4)))lisp", R"lisp((2 2 4 4))lisp"},
    {R"lisp((list (every #'evenp '(2 4)) (every #'< '(1 2) '(2 3 0)) (some #'evenp '(1 3 4)) (some #'evenp '(1 3))))lisp",
     R"lisp((T T T NIL))lisp"},
    {R"lisp((some (lambda (x) (and (> x 1) (* x 10))) '(1 2 3)))lisp", R"lisp(20)lisp"},
    {R"lisp((every #'characterp "abc"))lisp", R"lisp(T)lisp"},
    {R"lisp((apply #'+ 1 2 '(3 4)))lisp", R"lisp(10)lisp"},
    {R"lisp((apply #'list '()))lisp", R"lisp(NIL)lisp"},
    {R"lisp((funcall #'identity 'x))lisp", R"lisp(X)lisp"},
    {R"lisp((values 1 2 3))lisp", R"lisp(1)lisp"},
    {R"lisp((values))lisp", R"lisp(NIL)lisp"},
    {R"lisp((list (+) (+ 1 2 3) (+ 1 2.5d0) (*) (* 2 3) (- 5) (- 10 1 2) (- 0.0d0)))lisp",
     R"lisp((0 6 3.5d0 1 6 -5 7 -0.0d0))lisp"},
    {R"lisp((list (/ 6 3) (/ 12 2 3) (/ 1 4.0d0) (/ 2.0d0)))lisp", R"lisp((2 2 0.25d0 0.5d0))lisp"},
    {R"lisp((/ 1 0))lisp", R"lisp(!error)lisp"},
    {R"lisp((/ 1.0d0 0))lisp", R"lisp(!error)lisp"},
    {R"lisp((list (1+ 1) (1- 1) (1+ 1.5d0)))lisp", R"lisp((2 0 2.5d0))lisp"},
    {R"lisp((list (= 1 1 1) (= 1 1.0d0) (= 1 2) (/= 1 2 3) (/= 1 2 1) (< 1 2 3) (< 1 2 2) (<= 1 2 2) (> 3 2 1) (>= 3 3 1)))lisp",
     R"lisp((T T NIL T NIL T NIL T T T))lisp"},
    {R"lisp((list (< 1 1.5d0) (> 2 1.5d0) (= 9007199254740993 9007199254740992.0d0)))lisp",
     R"lisp((T T NIL))lisp"},
    {R"lisp((list (min 3 1 2) (max 1 2.0d0) (max 3 2.0d0) (min 1)))lisp", R"lisp((1 2.0d0 3 1))lisp"},
    {R"lisp((list (floor 7 2) (floor -7 2) (floor 2.5d0) (floor -2.5d0) (floor 7.5d0 2)))lisp",
     R"lisp((3 -4 2 -3 3))lisp"},
    {R"lisp((list (truncate 7 2) (truncate -7 2) (truncate -2.5d0)))lisp", R"lisp((3 -3 -2))lisp"},
    {R"lisp((list (mod 7 2) (mod -7 2) (mod 7 -2) (rem -7 2) (rem 7 -2) (mod 5.5d0 2)))lisp",
     R"lisp((1 1 -1 -1 1 1.5d0))lisp"},
    {R"lisp((mod 1 0))lisp", R"lisp(!error)lisp"},
    {R"lisp((list (abs -3) (abs 3) (abs -2.5d0)))lisp", R"lisp((3 3 2.5d0))lisp"},
    {R"lisp((list (zerop 0) (zerop 0.0d0) (plusp 1) (minusp -1) (minusp 0) (evenp 2) (oddp 3) (oddp -3)))lisp",
     R"lisp((T T T T NIL T T T))lisp"},
    {R"lisp((evenp 1.0d0))lisp", R"lisp(!error)lisp"},
    {R"lisp((+ 1 "a"))lisp", R"lisp(!error)lisp"},
    {R"lisp((list (null nil) (not 1) (eq 'a 'a) (eq 1 1) (eql 1.0d0 1.0d0) (eql 1 1.0d0) (equal "a" "a") (eq "a" "a")))lisp",
     R"lisp((T NIL T T T NIL T NIL))lisp"},
    {R"lisp((list (equal '(1 (2 "x")) '(1 (2 "x"))) (equalp "ABC" "abc") (equal "ABC" "abc") (equalp 1 1.0d0)))lisp",
     R"lisp((T T NIL T))lisp"},
    {R"lisp((list (atom 1) (atom '(1)) (consp nil) (listp nil) (symbolp nil) (symbolp :k) (keywordp :k) (keywordp 'k)))lisp",
     R"lisp((T NIL NIL T T T T NIL))lisp"},
    {R"lisp((list (stringp "s") (numberp 1.5d0) (integerp 1.5d0) (floatp 1.5d0) (functionp #'car) (functionp 'car)))lisp",
     R"lisp((T T NIL T T NIL))lisp"},
    {R"lisp((list (characterp #\a) (hash-table-p (make-hash-table)) (characterp "a")))lisp",
     R"lisp((T T NIL))lisp"},
    {R"lisp((concatenate 'string "ab" '(#\c) "d"))lisp", R"lisp("abcd")lisp"},
    {R"lisp((concatenate 'list "ab" '(1)))lisp", R"lisp((#\a #\b 1))lisp"},
    {R"lisp((concatenate 'string "a" '(1)))lisp", R"lisp(!error)lisp"},
    {R"lisp((list (string= "abc" "abc") (string= "abc" "ABC") (string= 'abc "ABC") (string= "xabc" "abc" :start1 1)))lisp",
     R"lisp((T NIL T T))lisp"},
    {R"lisp((list (string-equal "abc" "ABC") (string-equal "abc" "abd")))lisp", R"lisp((T NIL))lisp"},
    {R"lisp((list (string< "abc" "abd") (string< "ab" "abc") (string< "abc" "ab") (string< "abc" "abc")))lisp",
     R"lisp((2 2 NIL NIL))lisp"},
    {R"lisp((list (string> "abd" "abc") (string<= "abc" "abc") (string>= "a" "b") (string/= "abc" "abd")))lisp",
     R"lisp((2 3 NIL 2))lisp"},
    {R"lisp((list (string-upcase "héllo") (string-downcase "ÄBC") (string-upcase "abc" :start 1) (string-upcase 'sym)))lisp",
     R"lisp(("HÉLLO" "äbc" "aBC" "SYM"))lisp"},
    {R"lisp((list (string-trim " x" " xxhixx ") (string-left-trim " " "  a ") (string-right-trim '(#\space) "  a ")))lisp",
     R"lisp(("hi" "a " "  a"))lisp"},
    {R"lisp((list (search "bc" "abcbc") (search "bc" "abcbc" :from-end t) (search "x" "abc") (search '(2 3) '(1 2 3))))lisp",
     R"lisp((1 3 NIL 1))lisp"},
    {R"lisp((search "" "abc"))lisp", R"lisp(0)lisp"},
    {R"lisp((list (char "abc" 1) (string (char "日本" 1))))lisp", R"lisp((#\b "本"))lisp"},
    {R"lisp((char "abc" 3))lisp", R"lisp(!error)lisp"},
    {R"lisp((list (parse-integer "42") (parse-integer "  -42  ") (parse-integer "+7") (parse-integer "ff" :radix 16)))lisp",
     R"lisp((42 -42 7 255))lisp"},
    {R"lisp((list (parse-integer "12ab" :junk-allowed t) (parse-integer "ab" :junk-allowed t) (parse-integer " 12 " :junk-allowed t)))lisp",
     R"lisp((12 NIL 12))lisp"},
    {R"lisp((parse-integer "12ab"))lisp", R"lisp(!error)lisp"},
    {R"lisp((parse-integer ""))lisp", R"lisp(!error)lisp"},
    {R"lisp((parse-integer "   "))lisp", R"lisp(!error)lisp"},
    {R"lisp((parse-integer "1 2"))lisp", R"lisp(!error)lisp"},
    {R"lisp((parse-integer "x123" :start 1))lisp", R"lisp(123)lisp"},
    {R"lisp((list (string 'abc) (string #\x) (string "s") (symbol-name :key)))lisp",
     R"lisp(("ABC" "x" "s" "KEY"))lisp"},
    {R"lisp((list (symbol-name 'car) (package-name (symbol-package 'car)) (symbol-package (gensym))))lisp",
     R"lisp(("CAR" "COMMON-LISP" NIL))lisp"},
    {R"lisp((list (boundp '*package*) (boundp (gensym)) (not (null (fboundp 'car))) (fboundp (gensym))))lisp",
     R"lisp((T NIL T NIL))lisp"},
    {R"lisp((let ((h (make-hash-table :test 'equal))) (setf (gethash "a" h) 1) (list (gethash "a" h) (gethash "b" h) (gethash "b" h 'none) (hash-table-count h))))lisp",
     R"lisp((1 NIL NONE 1))lisp"},
    {R"lisp((let ((h (make-hash-table))) (setf (gethash "a" h) 1) (gethash "a" h)))lisp", R"lisp(NIL)lisp"},
    {R"lisp((let ((h (make-hash-table :test #'equal))) (setf (gethash '(1 "x") h) 'v) (gethash (list 1 "x") h)))lisp",
     R"lisp(V)lisp"},
    {R"lisp((let ((h (make-hash-table))) (setf (gethash 1 h) 'a (gethash 2 h) 'b) (list (remhash 1 h) (remhash 1 h) (hash-table-count h))))lisp",
     R"lisp((T NIL 1))lisp"},
    {R"lisp((let ((h (make-hash-table))) (setf (gethash 1 h) 'a) (clrhash h) (hash-table-count h)))lisp",
     R"lisp(0)lisp"},
    {R"lisp((let ((h (make-hash-table)) (sum 0)) (setf (gethash 1 h) 10 (gethash 2 h) 20) (maphash (lambda (k v) (incf sum (+ k v)) (remhash k h)) h) (list sum (hash-table-count h))))lisp",
     R"lisp((33 0))lisp"},
};

std::string ours(const char* form) {
  try {
    std::string s = prin1_to_string(eval_string(form));
    for (char& c : s)
      if (c == '\n') c = ' ';
    return s;
  } catch (const lisp_error&) {
    return "!error";
  }
}

using BuiltinsSbcl = eval_test;

TEST_F(BuiltinsSbcl, EveryRowPrintsWhatSbclPrints) {
  for (const row& r : table) EXPECT_EQ(ours(r.form), r.expected) << r.form;
}

TEST_F(BuiltinsSbcl, TableAgreesWithSbcl) {
  if (std::system("command -v sbcl >/dev/null 2>&1") != 0) GTEST_SKIP() << "sbcl is not on PATH";
  const auto script =
      std::filesystem::temp_directory_path() / ("builtins_sbcl_" + std::to_string(getpid()) + ".lisp");
  {
    std::ofstream out(script);
    out << "(setf sb-impl::*default-external-format* :utf-8)\n"
           "(defun row (form)\n"
           "  (handler-case (write-line (substitute #\\Space #\\Newline (prin1-to-string (eval form))))\n"
           "    (error () (write-line \"!error\"))))\n";
    for (const row& r : table) out << "(row '" << r.form << ")\n";
  }
  FILE* p = popen(("sbcl --script '" + script.string() + "'").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
  pclose(p);
  std::filesystem::remove(script);
  std::size_t start = 0;
  for (const row& r : table) {
    const std::size_t end = text.find('\n', start);
    ASSERT_NE(end, std::string::npos) << "sbcl stopped before " << r.form;
    EXPECT_EQ(text.substr(start, end - start), r.expected) << r.form;
    start = end + 1;
  }
}

}  // namespace
}  // namespace host::lisp
