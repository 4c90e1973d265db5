;;; A short tour of the host console: one host command line per form.
;;; Run it with: build/release/bin/sdhost -f examples/console/tour.lsp
(vtm::get-resource :module-title)
(vtm:activate-module)
show ribbon
(vtm:about-module)
