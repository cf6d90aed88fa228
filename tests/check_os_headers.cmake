# Operating-system headers may be included only by the platform layer, the transports'
# OS files, the simulator's OS files and tests: the printer logic stays portable.
# Usage: cmake -DSOURCE_DIR=<repo> -P check_os_headers.cmake
set(os_headers "unistd\\.h|sys/[a-z_]+\\.h|termios\\.h|dlfcn\\.h|pthread\\.h|windows\\.h|fcntl\\.h|dirent\\.h|poll\\.h|netinet/[a-z_]+\\.h|arpa/[a-z_]+\\.h|netdb\\.h|ifaddrs\\.h|libudev\\.h|winsock2?\\.h")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/core/* ${SOURCE_DIR}/diag/* ${SOURCE_DIR}/transport/* ${SOURCE_DIR}/api/*
  ${SOURCE_DIR}/print/* ${SOURCE_DIR}/driver/* ${SOURCE_DIR}/cards/* ${SOURCE_DIR}/scanner/*
  ${SOURCE_DIR}/platform/* ${SOURCE_DIR}/sim/* ${SOURCE_DIR}/include/*)
set(offenders "")
foreach(file IN LISTS sources)
  if(file MATCHES "^platform/" OR file MATCHES "_(posix|linux|win32)\\.cpp$")
    continue()
  endif()
  if(NOT file MATCHES "\\.(h|hpp|c|cpp|cc|inc)$")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} hits REGEX "^[ \t]*#[ \t]*include[ \t]*<(${os_headers})>")
  if(hits)
    list(APPEND offenders "${file}: ${hits}")
  endif()
endforeach()
if(offenders)
  string(REPLACE ";" "\n  " text "${offenders}")
  message(FATAL_ERROR "OS headers outside the platform layer:\n  ${text}")
endif()
message(STATUS "no OS headers outside the platform layer")
