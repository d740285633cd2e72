# Read by cpack for each package generator, after the values given on its command line (so a
# `cpack -D CPACK_PACKAGE_VERSION=...` run names its files by that version).

# A release must talk to the real service: no package of a build for a loopback host, unless the
# build was configured for the package tests.
if(NOT CPACK_FOTREL_PACKAGE_TEST)
  string(TOLOWER "${CPACK_FOTREL_SERVICE_HOST}" _fotrel_host)
  if(_fotrel_host STREQUAL "" OR _fotrel_host MATCHES
     "^(localhost|.*\\.localhost|127\\.[0-9]+\\.[0-9]+\\.[0-9]+|\\[::1\\]|::1|\\[0*:0*:0*:0*:0*:0*:0*:0*1\\])(:[0-9]+)?$")
    message(FATAL_ERROR "Fotrel: the service host is \"${CPACK_FOTREL_SERVICE_HOST}\", a loopback "
            "address; a release package must talk to the real service. Configure the build with "
            "-DFOTREL_SERVICE_HOST=<host[:port]> (or -DFOTREL_PACKAGE_TEST=ON for a test package).")
  endif()
endif()

if(CPACK_GENERATOR STREQUAL "NSIS64")
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-win64-setup")
else()
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-win64")
endif()
# The installer's own version resource wants four numbers.
string(REGEX MATCHALL "[0-9]+" _fotrel_numbers "${CPACK_PACKAGE_VERSION}")
list(APPEND _fotrel_numbers 0 0 0 0)
list(SUBLIST _fotrel_numbers 0 4 _fotrel_numbers)
list(JOIN _fotrel_numbers "." FOTREL_PACKAGE_VERSION_QUAD)
