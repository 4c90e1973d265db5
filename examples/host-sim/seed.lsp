;; The database of the comparison example of docs/host-sim.md.
(:name "bolt" :elid "E-BOLT" :file "stored/bolt.pkg")
