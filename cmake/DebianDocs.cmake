# Run by CPack on the staging tree before it builds the .deb: Debian wants
# man pages and the changelog (of a native package: changelog.gz)
# compressed with gzip -9n.
file(GLOB_RECURSE staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file ${staged})
  if(file MATCHES "/share/man/man1/[^/]+\\.1$")
    execute_process(COMMAND gzip -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
  elseif(file MATCHES "/share/doc/quern-midi/copyright$")
    get_filename_component(doc "${file}" DIRECTORY)
    configure_file("${CPACK_QUERN_DEBIAN_CHANGELOG}" "${doc}/changelog" COPYONLY)
    execute_process(COMMAND gzip -9nf "${doc}/changelog" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
