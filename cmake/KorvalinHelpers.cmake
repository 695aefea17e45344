# Shared build helpers.

# kv_add_test(NAME SOURCES src... LIBS lib... [WINE_GUI] [TSAN] [PREFIX text] [SHARDS n])
# A GoogleTest executable. Natively every case becomes one ctest test; in the
# Windows build the whole executable is one ctest test run under Wine (a Wine
# process per case would cost far more than the cases themselves). SHARDS
# splits that one run into n ctest tests (GoogleTest's own sharding), so a
# long suite stays within the per-test time-out and a failure names its shard.
# TSAN adds the native cases to the ThreadSanitizer run (label tsan). PREFIX
# goes before each case's name, so one suite can be built twice over
# different links.
function(kv_add_test name)
  cmake_parse_arguments(T "WINE_GUI;TSAN" "PREFIX;SHARDS" "SOURCES;LIBS" ${ARGN})
  if(KV_FUZZ)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(WIN32)
    if(T_WINE_GUI)
      set(labels "wine;gui")
    else()
      set(labels "wine")
    endif()
    if(T_SHARDS)
      math(EXPR last "${T_SHARDS} - 1")
      foreach(shard RANGE ${last})
        add_test(NAME ${name}_${shard} COMMAND ${name} --gtest_color=no)
        set_tests_properties(${name}_${shard} PROPERTIES WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin LABELS "${labels}"
                             ENVIRONMENT "GTEST_TOTAL_SHARDS=${T_SHARDS};GTEST_SHARD_INDEX=${shard}")
      endforeach()
    else()
      add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
      set_tests_properties(${name} PROPERTIES WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin LABELS "${labels}")
    endif()
  else()
    gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin TEST_PREFIX "${T_PREFIX}"
                         PROPERTIES LABELS native DISCOVERY_TIMEOUT 60)
    if(T_TSAN)
      # A list cannot pass through the discovery's properties, so a script
      # run after the discovered tests are known adds the second label.
      set(discovered "${CMAKE_CURRENT_BINARY_DIR}/${name}[1]_tests.cmake")
      set(script "${CMAKE_CURRENT_BINARY_DIR}/${name}_tsan_labels.cmake")
      file(WRITE ${script}
        "if(EXISTS \"${discovered}\")\n"
        "  file(STRINGS \"${discovered}\" kv_lines REGEX \"^add_test\\\\(\")\n"
        "  foreach(kv_line IN LISTS kv_lines)\n"
        "    if(kv_line MATCHES \"^add_test\\\\(\\\\[=\\\\[([^]]+)\\\\]=\\\\]\")\n"
        "      set_tests_properties(\"\${CMAKE_MATCH_1}\" PROPERTIES LABELS \"native;tsan\")\n"
        "    endif()\n"
        "  endforeach()\n"
        "endif()\n")
      set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
    endif()
  endif()
endfunction()

# kv_add_fuzz_target(NAME SOURCE src LIBS lib...)
# SOURCE defines LLVMFuzzerTestOneInput; its seed corpus is the folder
# tests/fuzz/corpus/NAME (every target's corpus sits there). With KV_FUZZ
# (clang) it becomes a libFuzzer executable and a ctest test (label
# fuzz-smoke) that fuzzes it briefly from its corpus; in the native test
# build it becomes a test that replays every file of the corpus under the
# sanitizers. A new target is this one line and its corpus folder.
function(kv_add_fuzz_target name)
  cmake_parse_arguments(F "" "SOURCE;CORPUS" "LIBS" ${ARGN})
  if(WIN32)
    return()
  endif()
  if(F_CORPUS)
    message(FATAL_ERROR "fuzz target ${name}: no CORPUS argument; its corpus is tests/fuzz/corpus/${name}")
  endif()
  set(corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name})
  if(NOT IS_DIRECTORY ${corpus})
    message(FATAL_ERROR "fuzz target ${name} has no seed corpus ${corpus}")
  endif()
  if(KV_FUZZ)
    # The libraries are instrumented by the top-level flags; only the
    # target links the fuzzer's main.
    add_executable(${name} ${F_SOURCE})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    add_test(NAME ${name}_smoke
             COMMAND ${PROJECT_SOURCE_DIR}/tests/fuzz/smoke_run.sh $<TARGET_FILE:${name}> ${corpus}
                     ${CMAKE_BINARY_DIR}/fuzz-runs/${name})
    set_tests_properties(${name}_smoke PROPERTIES LABELS "fuzz-smoke")
  else()
    add_executable(${name}_replay ${F_SOURCE} ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
    target_include_directories(${name}_replay PRIVATE ${PROJECT_SOURCE_DIR})
    add_test(NAME ${name}_corpus COMMAND ${name}_replay ${corpus})
    set_tests_properties(${name}_corpus PROPERTIES LABELS "native;fuzz")
  endif()
endfunction()

# kv_copy_data(TARGET dir-in-source dest-subfolder)
# Copies a data folder (skins, help) beside the programs after each build.
function(kv_copy_data target src dest)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${src} ${CMAKE_BINARY_DIR}/bin/${dest}
    VERBATIM)
endfunction()

# kv_add_version_info(TARGET DESCRIPTION)
# Gives a Windows program or DLL its version resource, from the one project
# version (project(VERSION) in the top-level CMakeLists.txt).
function(kv_add_version_info target description)
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  if(type STREQUAL "SHARED_LIBRARY")
    set(KV_FILETYPE VFT_DLL)
    set(KV_FILENAME "${name}.dll")
  else()
    set(KV_FILETYPE VFT_APP)
    set(KV_FILENAME "${name}.exe")
  endif()
  set(KV_DESCRIPTION "${description}")
  set(rc ${CMAKE_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
