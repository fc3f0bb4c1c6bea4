# What an installed copy needs beyond its files: the licence, and the
# loader's cache told about the shared library.

# The licence: LICENSE in a Windows package, Debian's machine-readable
# copyright file (the same text) elsewhere.
if(WIN32)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  string(REGEX REPLACE "^MIT License\n\nCopyright \\(c\\) ([^\n]*)\n\n" "" licence_terms "${licence}")
  set(licence_holder "${CMAKE_MATCH_1}")
  if(licence_holder STREQUAL "")
    message(FATAL_ERROR "LICENSE does not start with the MIT licence's title and copyright line")
  endif()
  string(REGEX REPLACE "\n+$" "" licence_terms "${licence_terms}")
  string(REPLACE "\n\n" "\n.\n" licence_terms "${licence_terms}")
  string(REPLACE "\n" "\n " licence_terms "${licence_terms}")
  file(WRITE ${PROJECT_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: runaudit

Files: *
Copyright: ${licence_holder}
License: Expat
 ${licence_terms}
")
  install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# The loader finds a library in /usr/local/lib (or /usr/lib) through its
# cache: a program linked against one just installed would not start until
# ldconfig ran. A root install into such a prefix runs it; a staged one
# (DESTDIR, cpack) leaves it to the package: the libc's ldconfig trigger
# (cpack's own postinst, made for the shared library, runs it as well).
if(UNIX AND NOT APPLE AND NOT CMAKE_CROSSCOMPILING AND TARGET runaudit_shared)
  install(CODE [[
    if("$ENV{DESTDIR}" STREQUAL "" AND CMAKE_INSTALL_PREFIX MATCHES "^/usr(/local)?/?$")
      execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
      find_program(RUNAUDIT_LDCONFIG ldconfig PATHS /sbin /usr/sbin NO_CACHE)
      if(uid STREQUAL "0" AND RUNAUDIT_LDCONFIG)
        message(STATUS "Updating the loader's cache: ${RUNAUDIT_LDCONFIG}")
        execute_process(COMMAND ${RUNAUDIT_LDCONFIG})
      endif()
    endif()
  ]])
endif()
file(WRITE ${PROJECT_BINARY_DIR}/deb/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/deb/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
