# The Qt-free tests cross-built for Windows and run under Wine by scripts/test-windows.sh: one
# binary per layer folder. Left out: tests of the formats this build lacks, of the desktop's
# app/ floor, of the peer readers (Linux programs), and of POSIX-only behaviour (fork, signals,
# permissions, resource limits), which the Linux build covers.

# GoogleTest from Debian's sources, built with the cross compiler.
set(BREVIK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${BREVIK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main)
  if(NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
endforeach()

# Under Wine, drive Z: is the build machine's root.
get_filename_component(corpus "${PROJECT_SOURCE_DIR}/../shared/corpus" ABSOLUTE)
set(BREVIK_CORPUS_DIR "Z:${corpus}")
configure_file(support/test_paths.h.in ${CMAKE_CURRENT_BINARY_DIR}/generated/test_paths.h @ONLY)

file(GLOB support CONFIGURE_DEPENDS support/*.cpp support/windows/*.cpp)
add_library(brevik_test_support STATIC ${support})
target_include_directories(brevik_test_support PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/generated
                                                      ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(brevik_test_support PUBLIC brevik_cli_lib GTest::gtest)

set(left_out
    # formats without their libraries
    writers/eml_writer_test writers/mbox_writer_test writers/ics_writer_test
    writers/save_files_test cli/export_files_test cli/batch_command_test
    # peer readers
    writers/peer_readers_test
    # POSIX processes, signals, permissions and resource limits
    cli/interrupt_test cli/info_command_test engine/large_pages_test
    damage/damage_test)

set(BREVIK_WINDOWS_TESTS "" CACHE INTERNAL "")
foreach(folder engine message recovery cli writers)
  file(GLOB sources CONFIGURE_DEPENDS ${folder}/*_test.cpp)
  foreach(name ${left_out})
    list(FILTER sources EXCLUDE REGEX "/${name}\\.cpp$")
  endforeach()
  set(target brevik_${folder}_tests)
  add_executable(${target} ${sources})
  target_compile_options(${target} PRIVATE ${BREVIK_WARNINGS} -include
                                           ${CMAKE_CURRENT_SOURCE_DIR}/support/windows/posix_compat.h)
  target_include_directories(${target} PRIVATE support/windows)
  target_link_libraries(${target} PRIVATE brevik_test_support brevik_cli_lib brevik_writers
                                          GTest::gtest_main)
  set(BREVIK_WINDOWS_TESTS ${BREVIK_WINDOWS_TESTS} ${target} CACHE INTERNAL "")
endforeach()
add_custom_target(brevik_windows_tests DEPENDS ${BREVIK_WINDOWS_TESTS} brevik-cli)
