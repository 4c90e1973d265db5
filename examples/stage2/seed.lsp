;; What Model Manager holds before the example's check-in.
;; A shaft of its own, with a stored file: the staged shaft is compared with
;; it and replaced by it.
(:name "shaft" :sysid "DB-SHAFT" :elid "E-SHAFT" :unique_id_string "U-SHAFT" :model_objtype "npart3"
 :revision "C" :state "TC-RELEASED" :timestamp 3900000000 :file "stored/shaft.sdp")
;; An assembly named like the bracket's plate part: only a new name helps.
(:name "plate" :sysid "DB-PLATE" :elid "E-PLATE" :model_objtype "nasmb3")
