;; The example's stage 2: every queued model of the staging directory made
;; from examples/stage1/input, checked into Model Manager with its drawings.
;; Run after the line that opens the dialog on the staging directory:
;;   sdhost -e 'VANTREL_MM_ASSISTED_CHECKIN :staging_directory "DIR"' -f checkin.lsp
;; with a database seeded from seed.lsp (scripts/run-checkin-example.sh).
;; Each model starts the dialog again (on the same directory), so that a
;; second run, or one after a host crash, goes past the models checked in
;; already: their check-in is not available and the lines meant for the store
;; dialog just end the dialog.

;; The gearbox: two different gears share a name; the preset keeps the
;; check model and makes the reference use it.
VANTREL_MM_ASSISTED_CHECKIN
:staged "models/I-GEARBOX.sda"
show tables
:modelname "gear"
:resolution :replace-reference-by-check
:apply_resolution
:check_in
complete

;; The frame has part check errors, checked in regardless, then its drawing.
VANTREL_MM_ASSISTED_CHECKIN
:staged "models/I-FRAME.sda"
:ignore_errors :on
:check_in
complete
VANTREL_MM_ASSISTED_CHECKIN
:staged_dwg "drawings.ami/DRW-1000@frame-front.ami"
:check_in_drawing

;; The bracket's plate is named like a stored assembly: renamed locally.
VANTREL_MM_ASSISTED_CHECKIN
:staged "models/I-BRACKET.sda"
:modelname "plate"
:resolution :rename-local
:apply_resolution
:check_in
complete

;; The shaft is named like a stored shaft: compared with it (the comparison
;; ends the dialog), then replaced by the stored one through a reload. The
;; store dialog finds nothing to write: the stored shaft is up to date.
VANTREL_MM_ASSISTED_CHECKIN
:staged "models/I-SHAFT.sdp"
:modelname "shaft"
:compare
VANTREL_MM_ASSISTED_CHECKIN
:resolution :replace-local-by-db
:apply_resolution
:check_in
complete

;; Models without conflicts.
VANTREL_MM_ASSISTED_CHECKIN
:staged "models/I-TWINS.sda"
:check_in
complete
VANTREL_MM_ASSISTED_CHECKIN
:staged "models/I-LOGWARN.sdp"
:check_in
complete
VANTREL_MM_ASSISTED_CHECKIN
:staged "models/I-PUMP.sda"
:check_in
complete
VANTREL_MM_ASSISTED_CHECKIN
:staged "models/I-OLDPART.sdp"
:check_in
complete

VANTREL_MM_ASSISTED_CHECKIN
show tables
cancel
