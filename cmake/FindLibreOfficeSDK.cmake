# Finds the LibreOffice SDK for a C++ UNO client (Debian: libreoffice-dev):
# cppumaker, the URE headers and libraries, and the office's type libraries,
# from which the API headers are generated into the build tree.
#
# Defines LibreOfficeSDK_FOUND, LibreOfficeSDK_PROGRAM_DIR (the office's
# program folder, with soffice and fundamentalrc), LibreOfficeSDK_RUNTIME (the
# runtime's libraries there, in the order they load, separated by ":") and,
# when found, the
# INTERFACE library `orvelle_uno`: compile definitions, the URE headers and
# the generated ones as system includes, the libraries, and the generation
# step as a dependency of whatever links it.

set(_lo_hints /usr/lib/libreoffice /usr/lib64/libreoffice /opt/libreoffice)

find_program(LibreOfficeSDK_CPPUMAKER cppumaker
  HINTS ${_lo_hints} PATH_SUFFIXES sdk/bin NO_DEFAULT_PATH)
find_path(LibreOfficeSDK_INCLUDE_DIR sal/types.h
  HINTS /usr/include/libreoffice ${_lo_hints} PATH_SUFFIXES sdk/include)
find_path(LibreOfficeSDK_PROGRAM_DIR types.rdb
  HINTS ${_lo_hints} PATH_SUFFIXES program NO_DEFAULT_PATH)
find_file(LibreOfficeSDK_OFFAPI_RDB offapi.rdb
  HINTS ${LibreOfficeSDK_PROGRAM_DIR} PATH_SUFFIXES types NO_DEFAULT_PATH)
foreach(_lib uno_cppu uno_cppuhelpergcc3 uno_sal)
  find_library(LibreOfficeSDK_${_lib}_LIBRARY ${_lib}
    HINTS ${_lo_hints} PATH_SUFFIXES sdk/lib program NO_DEFAULT_PATH)
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(LibreOfficeSDK
  REQUIRED_VARS LibreOfficeSDK_CPPUMAKER LibreOfficeSDK_INCLUDE_DIR LibreOfficeSDK_PROGRAM_DIR
                LibreOfficeSDK_OFFAPI_RDB LibreOfficeSDK_uno_cppu_LIBRARY
                LibreOfficeSDK_uno_cppuhelpergcc3_LIBRARY LibreOfficeSDK_uno_sal_LIBRARY)

if(LibreOfficeSDK_FOUND AND NOT TARGET orvelle_uno)
  # All types of the URE and the office API: about 3,300 headers in a second
  # or two, regenerated only when the office's type libraries change.
  set(_lo_generated ${CMAKE_BINARY_DIR}/generated/uno)
  set(_lo_types ${LibreOfficeSDK_PROGRAM_DIR}/types.rdb ${LibreOfficeSDK_OFFAPI_RDB})
  file(MAKE_DIRECTORY ${_lo_generated})
  add_custom_command(
    OUTPUT ${_lo_generated}/generated.stamp
    COMMAND ${LibreOfficeSDK_CPPUMAKER} -Gc -O${_lo_generated} ${_lo_types}
    COMMAND ${CMAKE_COMMAND} -E touch ${_lo_generated}/generated.stamp
    DEPENDS ${_lo_types}
    COMMENT "Generating the UNO API headers"
    VERBATIM)
  add_custom_target(orvelle_uno_headers DEPENDS ${_lo_generated}/generated.stamp)

  # The runtime's libraries in the office's own folder, where they find their
  # private companions (uno-libs-private on Debian) through $ORIGIN; the links
  # to them in the system's library folder do not. Linked by these paths, the
  # build tree's programs find them there through CMake's build RUNPATH, which
  # the install removes; an installed program loads them by these paths
  # before whatever needs them.
  set(LibreOfficeSDK_RUNTIME "")
  set(_sep "")
  foreach(_lib uno_sal uno_cppu uno_cppuhelpergcc3)
    get_filename_component(_file ${LibreOfficeSDK_${_lib}_LIBRARY} REALPATH)
    list(APPEND _lo_runtime ${_file})
    string(APPEND LibreOfficeSDK_RUNTIME "${_sep}${_file}")
    set(_sep ":")
  endforeach()

  add_library(orvelle_uno INTERFACE)
  add_dependencies(orvelle_uno orvelle_uno_headers)
  target_compile_definitions(orvelle_uno INTERFACE LINUX CPPU_ENV=gcc3
    ORVELLE_LIBREOFFICE_PROGRAM_DIR="${LibreOfficeSDK_PROGRAM_DIR}")
  target_include_directories(orvelle_uno SYSTEM INTERFACE ${LibreOfficeSDK_INCLUDE_DIR} ${_lo_generated})
  target_link_libraries(orvelle_uno INTERFACE ${_lo_runtime} -Wl,-rpath-link,${LibreOfficeSDK_PROGRAM_DIR})
endif()

mark_as_advanced(LibreOfficeSDK_CPPUMAKER LibreOfficeSDK_INCLUDE_DIR LibreOfficeSDK_PROGRAM_DIR
  LibreOfficeSDK_OFFAPI_RDB LibreOfficeSDK_uno_cppu_LIBRARY LibreOfficeSDK_uno_cppuhelpergcc3_LIBRARY
  LibreOfficeSDK_uno_sal_LIBRARY)
