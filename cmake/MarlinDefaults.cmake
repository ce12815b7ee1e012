# Shared compile settings and helpers for every target of the project.

add_library(marlin_warnings INTERFACE)
if(MSVC)
  target_compile_options(marlin_warnings INTERFACE /W4 $<$<BOOL:${MARLIN_WERROR}>:/WX>)
else()
  target_compile_options(marlin_warnings INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers
                         $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local> $<$<BOOL:${MARLIN_WERROR}>:-Werror>)
endif()

if(MARLIN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# marlin_target_defaults(<target>): warnings and the project's language level.
function(marlin_target_defaults target)
  target_link_libraries(${target} PRIVATE marlin_warnings)
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()

# marlin_add_test(<name> SOURCES ... [LIBS ...] [QT]) — one GoogleTest program,
# its cases registered with CTest. QT runs it on Qt's offscreen platform.
function(marlin_add_test name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  marlin_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(env "")
  if(T_QT)
    list(APPEND env QT_QPA_PLATFORM=offscreen)
  endif()
  if(MARLIN_SANITIZE)
    list(APPEND env LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp)
  endif()
  # Each test is named after its program, which starts with its module's target (qzib32,
  # analyzer_sim, prismbar, marlin_core, ...): `ctest -R '^marlin_core'` runs one module.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_PREFIX "${name}."
                       PROPERTIES TIMEOUT 120)
  # The environment goes on the discovered cases afterwards, as one list: handed through
  # gtest_discover_tests' PROPERTIES, the list is split into separate arguments on its way and
  # every entry after the first is lost (LSAN_OPTIONS never reached the Qt tests).
  if(env)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
    file(WRITE ${script} "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${env}]==])\nendif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
  endif()
endfunction()

# marlin_add_benchmark(<name> SOURCES ... [LIBS ...]) — built by default, never run by CTest.
function(marlin_add_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  marlin_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
