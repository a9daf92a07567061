# Run by CPack on the staged tree before it is packed, doing to the files
# what Debian's own helpers would.
set(_root ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})

# Changelog and manual pages compressed, without name or time stamp, so that
# the same tree always packs the same bytes.
file(GLOB_RECURSE _pages ${_root}/share/man/*)
list(FILTER _pages EXCLUDE REGEX "\\.gz$")
foreach(_file IN LISTS _pages ITEMS ${_root}/share/doc/orvelle/changelog)
  execute_process(COMMAND gzip -9nf ${_file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# What lintian is told to accept, each with its reason in the file.
file(MAKE_DIRECTORY ${_root}/share/lintian/overrides)
file(COPY_FILE ${CMAKE_CURRENT_LIST_DIR}/../share/orvelle.lintian-overrides ${_root}/share/lintian/overrides/orvelle)
