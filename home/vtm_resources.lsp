;;; English texts of the Vantrel Migrator. Image keys name files in the
;;; images directory of the module's home.
(in-package :vantrel-migrator)

(register-module-resource
 :module-title "Vantrel Migrator"
 :bronta-cmd-group-title "Extensions"
 :extension-modules-page-title "Extension Modules"
 :factory-customization-not-found "The factory customization file '~A' is missing!"
 :help-cmd-group-title "Help"
 :migration-tools-group-title "Migration Tools")

(register-module-resource
 :settings-cmd-title "Settings"
 :settings-cmd-description "Edit the settings of the Vantrel Migrator"
 :settings-cmd-image "vtm_settings.png"
 :display-doc-cmd-description "Open the help pages of the Vantrel Migrator"
 :display-doc-cmd-image "vtm_help.png"
 :module-about-cmd-title "About"
 :module-about-cmd-description "Show the version and copyright of the Vantrel Migrator"
 :module-about-cmd-image "vtm_about.png")

(register-module-resource
 :drawing_associator-title "Drawing Associator"
 :drawing_associator-cmd-description "Find the 3D models that own the views of drawings and write an association list"
 :drawing_associator-cmd-image "vtm_drawing_associator.png"
 :import_assembler-title "Import Assembler"
 :import_assembler-cmd-description "Stage legacy CAD files and drawings for import into Model Manager"
 :import_assembler-cmd-image "vtm_import_assembler.png"
 :assisted_checkin-title "Assisted Check-in"
 :assisted_checkin-cmd-description "Resolve name conflicts and check staged models and drawings into Model Manager"
 :assisted_checkin-cmd-image "vtm_assisted_checkin.png")

(register-module-resource
 :reset-var-title "Reset Settings"
 :import_assembler-inputdir "Input Directory"
 :migration-stagingdir "Staging Directory"
 :import_assembler-dir-not-found "The input directory does not exist."
 :migration-stagingdir-not-found "The staging directory cannot be created."
 :model-scanning-error-fmt "Scanning the model failed: ~A")
