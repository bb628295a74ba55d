# What `cmake --install` puts where: the two programs, the desktop entry, the
# MIME types, the icons, the man pages, the documentation with the examples,
# bash completion and the files for other editors.
# The package's name, not the project's, names the documentation folder. A
# plain variable: the packages found earlier may have cached the default.
set(CMAKE_INSTALL_DOCDIR share/doc/quern-midi)
include(GNUInstallDirs)

install(TARGETS quern quern-editor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The outputs module that quern loads for play, render and ports.
install(TARGETS quern_outputs LIBRARY DESTINATION lib/quern)

install(FILES data/quern-editor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/quern-midi.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
set(quern_icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES data/icons/quern-midi.svg DESTINATION ${quern_icons}/scalable/apps)
foreach(size 16 32 48 128 256)
  install(FILES data/icons/quern-midi-${size}.png
          DESTINATION ${quern_icons}/${size}x${size}/apps RENAME quern-midi.png)
endforeach()

# The man pages name installed folders, so they are made at install time,
# when the prefix is known (cmake --install --prefix, or /usr in the package).
foreach(page quern quern-editor)
  install(CODE "
    set(PROJECT_VERSION ${PROJECT_VERSION})
    set(CMAKE_INSTALL_FULL_DOCDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}\")
    set(CMAKE_INSTALL_FULL_DATADIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")
    set(page \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1/${page}.1\")
    message(STATUS \"Installing: \${page}\")
    configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in \${page} @ONLY)
  ")
endforeach()

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        FILES_MATCHING PATTERN "*.qrn")
install(FILES data/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(FILES data/bash-completion/quern
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(quern_editors ${CMAKE_INSTALL_DATADIR}/quern-midi/editors)
install(FILES editors/quern.tmLanguage.json editors/quern.vim editors/package.json
              editors/package-lock.json editors/extension.js editors/README.md
              editors/.vscodeignore
        DESTINATION ${quern_editors})
install(FILES editors/ftdetect/quern.vim DESTINATION ${quern_editors}/ftdetect)
install(FILES editors/nvim/quern.lua DESTINATION ${quern_editors}/nvim)
