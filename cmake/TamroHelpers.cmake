# Adds every immediate sub-folder of DIR that has a CMakeLists.txt, in name order,
# so plug-ins, tools, test folders and benchmarks are picked up without editing a list.
function(tamro_add_children dir)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/${dir}
       ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${dir}/${child})
    endif()
  endforeach()
endfunction()

# A decoder plug-in: a MODULE library with the ".spi" suffix in the bin folder, installed
# into the library folder. Plug-ins link only the global-memory library of Tamro.
function(tamro_add_plugin name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".spi"
                        C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE tamro::globalmem)
  tamro_install_library(${name})
endfunction()

# A shared library or module of Tamro's own, installed into the library folder.
function(tamro_install_library name)
  install(TARGETS ${name} LIBRARY DESTINATION ${TAMRO_INSTALL_LIBDIR})
endfunction()

# A program installed into bin/, finding Tamro's libraries in the library folder.
function(tamro_install_program name)
  set_target_properties(${name} PROPERTIES INSTALL_RPATH "$ORIGIN/${TAMRO_LIBDIR_FROM_BINDIR}")
  install(TARGETS ${name} RUNTIME DESTINATION ${TAMRO_INSTALL_BINDIR})
endfunction()

# A GoogleTest executable registered with CTest. Tests run headless.
function(tamro_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tamro::testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    # One variable only: a list here would be split into property names. The corpus path
    # is compiled into the test support library.
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

# A libFuzzer target (only with TAMRO_FUZZ, built by clang): tamro_add_fuzzer(name SOURCES ... LIBS ...)
function(tamro_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
