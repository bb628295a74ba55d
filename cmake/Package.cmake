# `make deb`: a Debian package of the install tree, built by CPack. The
# library dependencies come from dpkg-shlibdeps; the General MIDI SoundFont
# of the built-in synthesizer and Qt's platform plugins are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quern-midi)
set(CPACK_PACKAGE_VENDOR QuernKASTO)
set(CPACK_PACKAGE_CONTACT "Quern MIDI developers <quern-midi@quernkasto.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor, compiler and player for a plain-text music language")
# The extended description, in lines of Debian's width.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Quern MIDI compiles scores written as plain text (tracks of notes, lengths,"
  "octaves, loops, macros, controllers, tempo and byte lists) into compact song"
  "images and plays them at once, on the built-in synthesizer or on any ALSA"
  "MIDI port. Songs can also be written as Standard MIDI Files or WAV files."
  "."
  "The package holds the editor quern-editor and the command line quern, with"
  "man pages, example scores, bash completion and syntax files for Vim and for"
  "editors that read TextMate grammars.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "timgm6mb-soundfont | sf2-soundfont-gm, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Compresses the man pages and adds the Debian changelog in the staging tree.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianDocs.cmake)
set(CPACK_QUERN_DEBIAN_CHANGELOG ${PROJECT_SOURCE_DIR}/data/debian/changelog)
include(CPack)
