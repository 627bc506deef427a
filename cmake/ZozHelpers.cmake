# Adds each listed folder that has a CMakeLists.txt, so the tree builds while
# subsystems are still missing.
function(zoz_add_subdirectories)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# zoz_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One GoogleTest executable; every test case becomes a CTest test.
# Tests that need the real recordings find them through ZOZ_TESTDATA_DIR.
function(zoz_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    ZOZ_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata"
    ZOZ_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ZOZ_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()

# zoz_add_fuzzer(<name> SOURCES <files...> LIBS <targets...>)
function(zoz_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY ZOZ_FUZZERS ${name})
endfunction()

# zoz_add_benchmark(<name> [OWN_MAIN | QT_MAIN] SOURCES <files...> LIBS <targets...>)
# A Google Benchmark executable; with OWN_MAIN a program with its own main that is
# timed as a whole process (for comparisons with other programs); with QT_MAIN the
# benchmarks run under an application object.
function(zoz_add_benchmark name)
  cmake_parse_arguments(ARG "OWN_MAIN;QT_MAIN" "" "SOURCES;LIBS" ${ARGN})
  if(ARG_QT_MAIN)
    list(APPEND ARG_SOURCES ${PROJECT_SOURCE_DIR}/bench/QtBenchmarkMain.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  elseif(ARG_QT_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Core benchmark::benchmark)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  endif()
  # "benchmarks" builds them all.
  if(NOT TARGET benchmarks)
    add_custom_target(benchmarks)
  endif()
  add_dependencies(benchmarks ${name})
endfunction()

# zoz_without_autogen(<folders...>)
# Turns moc and uic off for every target defined in the given source folders
# (relative to the project) and below them. Call it after every folder is
# added: it sees the targets defined by then.
function(zoz_without_autogen)
  set(pending ${PROJECT_SOURCE_DIR})
  while(pending)
    list(POP_FRONT pending dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND pending ${subdirs})
    foreach(folder IN LISTS ARGN)
      string(FIND "${dir}/" "${PROJECT_SOURCE_DIR}/${folder}/" at)
      if(at EQUAL 0)
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        if(targets)
          set_target_properties(${targets} PROPERTIES AUTOMOC OFF AUTOUIC OFF)
        endif()
        break()
      endif()
    endforeach()
  endwhile()
endfunction()

# zoz_enforce_layer(<static library>)
# Links the whole library, with nothing but the libraries it declares, into a
# shared object that may leave no symbol undefined: a layer that reaches up to
# code it does not link fails the build here, not only at the final link where
# everything is at hand.
function(zoz_enforce_layer target)
  # Sanitizer runtimes leave symbols to the executable: no check in the fuzz build.
  if(ZOZ_FUZZ)
    return()
  endif()
  set(check ${target}_layer_check)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${check}.cpp)
  if(NOT EXISTS ${source})
    file(WRITE ${source} "// Links ${target} whole; see zoz_enforce_layer.\n")
  endif()
  add_library(${check} SHARED ${source})
  target_link_libraries(${check} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${target}>")
  target_link_options(${check} PRIVATE -Wl,--no-undefined)
  set_target_properties(${check} PROPERTIES AUTOMOC OFF AUTOUIC OFF)
endfunction()
