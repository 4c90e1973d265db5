;;; Factory customization of the Vantrel Migrator.
;;;
;;; Loaded first whenever the module loads its customization; the
;;; corporate, site and user customization files (customize.lsp in the
;;; VT_MIGRATOR directory of $SDCORPCUSTOMIZEDIR, $SDSITECUSTOMIZEDIR and
;;; the user's settings directory) follow and may change what is set here.
(in-package :vantrel-migrator)

;; Where the module's commands appear: :fluentui (a group in the ribbon's
;; extension tab), :toolbox (the quick-access toolbox), :custom (commands
;; only; the customization builds the user interface) or :none.
(setq *user-interface-integration* :fluentui)
