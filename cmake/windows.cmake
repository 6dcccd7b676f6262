# The Windows build (cross-built with cmake/mingw-w64.cmake): the command-line tool, the Qt-free
# floors and their tests. GMime, libgsf and libical have no mingw packages, so the writers that
# need them (.eml, mbox, .msg, .ics) stay out; BREVIK_HAVE_* tells the code which are there.
add_compile_definitions(_WIN32_WINNT=0x0A00 WIN32_LEAN_AND_MEAN NOMINMAX)
set(BREVIK_WRITERS_LEFT_OUT "/writers/eml/" "/writers/mbox/" "/writers/msg/" "/writers/ics/")

if(NOT CMAKE_CROSSCOMPILING)
  # On Windows itself, from a package manager (vcpkg, MSYS2).
  find_package(nlohmann_json 3 REQUIRED)
  find_package(CLI11 CONFIG REQUIRED)
  return()
endif()

# CLI11 and nlohmann-json are header-only: the build machine's copies serve, through a folder of
# their own, as /usr/include on the include path would hide mingw's C headers.
set(BREVIK_HEADER_ONLY_DIR ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${BREVIK_HEADER_ONLY_DIR})
foreach(dir CLI nlohmann)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${BREVIK_HEADER_ONLY_DIR}/${dir} SYMBOLIC)
endforeach()
add_library(brevik_header_only INTERFACE)
target_include_directories(brevik_header_only SYSTEM INTERFACE ${BREVIK_HEADER_ONLY_DIR})
add_library(nlohmann_json::nlohmann_json ALIAS brevik_header_only)
add_library(CLI11::CLI11 ALIAS brevik_header_only)

# One static zlib inside the .exe.
set(ZLIB_USE_STATIC_LIBS ON)

# mingw's GCC 12 warns of overlapping copies and out-of-bounds moves inside std::string and
# std::vector at -O2 (insert, replace, resize): false alarms of that compiler version.
add_compile_options(-Wno-restrict -Wno-array-bounds)
