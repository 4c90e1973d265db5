// setf and the forms built on places: push, pop, incf, decf, remf.
#include "eval_fixture.h"
#include "host/lisp/structures.h"

namespace host::lisp {
namespace {

using Places = eval_test;

TEST_F(Places, VariablesAndConses) {
  EXPECT_EQ(run("(let ((a 1) (b 2)) (list (setf a 10 b (+ a 1)) a b))"), "(11 10 11)");
  EXPECT_EQ(run("(setf)"), "NIL");
  EXPECT_EQ(run("(let ((l (list 1 2 3))) (setf (car l) 'a (cdr (cdr l)) '(z)) l)"), "(A 2 Z)");
  EXPECT_EQ(run("(let ((l (list 1 2 3))) (setf (nth 1 l) 'b (third l) 'c (first l) 'a) l)"), "(A B C)");
  EXPECT_EQ(error_of("(let ((l (list 1))) (setf (nth 5 l) 'x))"), "The value NIL is not of type CONS.");
  EXPECT_EQ(error_of("(setf (car 5) 1)"), "The value 5 is not of type CONS.");
  EXPECT_EQ(error_of("(setf (length x) 1)"), "(LENGTH X) is not a place the host's evaluator can set.");
}

TEST_F(Places, Getf) {
  // A new key goes in front, into the variable; an existing one changes in place.
  EXPECT_EQ(run("(let ((p nil)) (setf (getf p :a) 1) (setf (getf p :b) 2) (setf (getf p :a) 3) p)"),
            "(:B 2 :A 3)");
  EXPECT_EQ(run("(let* ((p (list :a 1)) (alias p)) (setf (getf p :a) 5) alias)"), "(:A 5)");
  // Nested places write the grown plist back into the outer place.
  EXPECT_EQ(run("(let ((h (make-hash-table))) (setf (getf (gethash 'k h) :x) 1) (gethash 'k h))"), "(:X 1)");
  EXPECT_EQ(run("(let ((p (list :n 1))) (incf (getf p :n)) (incf (getf p :m 10) 5) p)"), "(:M 15 :N 2)");
  EXPECT_EQ(run("(let ((p nil)) (push 'x (getf p :items)) (push 'y (getf p :items)) p)"), "(:ITEMS (Y X))");
}

TEST_F(Places, GethashPushPopIncfDecf) {
  EXPECT_EQ(run("(let ((h (make-hash-table :test 'equal)))"
                "  (setf (gethash \"k\" h) 1) (incf (gethash \"k\" h)) (incf (gethash \"new\" h 0) 10)"
                "  (list (gethash \"k\" h) (gethash \"new\" h)))"),
            "(2 10)");
  EXPECT_EQ(run("(let ((l nil)) (push 1 l) (push 2 l) (list (pop l) l))"), "(2 (1))");
  EXPECT_EQ(run("(let ((l nil)) (list (pop l) l))"), "(NIL NIL)");
  EXPECT_EQ(run("(let ((x 10)) (list (decf x) (decf x 2.5d0) (incf x 3) x))"), "(9 6.5d0 9.5d0 9.5d0)");
  EXPECT_EQ(error_of("(let ((x \"a\")) (incf x))"), "The value \"a\" is not of type NUMBER.");
  // A special variable is changed in its current binding.
  EXPECT_EQ(run("(defvar *stack* nil) (list (let ((*stack* '(a))) (push 'b *stack*)) *stack*)"),
            "((B A) NIL)");
}

TEST_F(Places, SubformsAreEvaluatedOnce) {
  EXPECT_EQ(run("(let ((n 0) (l (list 1 2 3))) (incf (nth (incf n) l) 10) (list n l))"), "(1 (1 12 3))");
  EXPECT_EQ(run("(let ((n 0) (h (make-hash-table))) (push 'v (gethash (incf n) h)) (list n (gethash 1 h)))"),
            "(1 (V))");
}

TEST_F(Places, Remf) {
  EXPECT_EQ(run("(let ((p (list :a 1 :b 2 :c 3))) (list (remf p :b) p))"), "(T (:A 1 :C 3))");
  EXPECT_EQ(run("(let ((p (list :a 1 :b 2))) (list (remf p :a) p))"), "(T (:B 2))");
  EXPECT_EQ(run("(let ((p (list :a 1))) (list (remf p :z) p))"), "(NIL (:A 1))");
}

TEST_F(Places, StructureAccessors) {
  const struct_type& base = define_struct(sym("SHAPE"), {&sym("NAME")});
  define_struct(sym("BOX"), {&sym("WIDTH")}, &base);
  EXPECT_EQ(run("(let ((b (make-box :name \"b1\" :width 2)))"
                "  (setf (box-width b) 5) (incf (box-width b)) (setf (shape-name b) \"renamed\")"
                "  (list (box-width b) (box-name b)))"),
            "(6 \"renamed\")");
  EXPECT_EQ(run("(let ((s (make-shape))) (push 'x (shape-name s)) (shape-name s))"), "(X)");
  EXPECT_EQ(error_of("(let ((s (make-shape))) (setf (box-width s) 1))"),
            "The value #S(SHAPE :NAME NIL) is not of type BOX.");
}

}  // namespace
}  // namespace host::lisp
