# Shared build helpers.

# kv_add_test(NAME SOURCES src... LIBS lib... [WINE_GUI] [TSAN])
# A GoogleTest executable. Natively every case becomes one ctest test; in the
# Windows build the whole executable is one ctest test run under Wine (a Wine
# process per case would cost far more than the cases themselves). TSAN also
# labels the native cases "tsan", so the ThreadSanitizer tree runs them.
function(kv_add_test name)
  cmake_parse_arguments(T "WINE_GUI;TSAN" "" "SOURCES;LIBS" ${ARGN})
  if(KV_FUZZ)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    if(T_WINE_GUI)
      set_tests_properties(${name} PROPERTIES LABELS "wine;gui")
    else()
      set_tests_properties(${name} PROPERTIES LABELS "wine")
    endif()
  else()
    gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
                         PROPERTIES LABELS native DISCOVERY_TIMEOUT 60)
    if(T_TSAN)
      # Discovery flattens list-valued properties, so the second label is set
      # on the discovered cases from a file ctest reads after theirs.
      set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_tsan_labels.cmake)
      file(WRITE ${labels_file}
           "foreach(t IN LISTS ${name}_TESTS)\n  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"native;tsan\")\nendforeach()\n")
      set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
    endif()
  endif()
endfunction()

# kv_add_fuzz_target(NAME SOURCE src CORPUS dir LIBS lib...)
# SOURCE defines LLVMFuzzerTestOneInput. With KV_FUZZ (clang) it becomes a
# libFuzzer executable; in the native test build it becomes a test that
# replays every file of the corpus folder under the sanitizers.
function(kv_add_fuzz_target name)
  cmake_parse_arguments(F "" "SOURCE;CORPUS" "LIBS" ${ARGN})
  if(WIN32)
    return()
  endif()
  if(KV_FUZZ)
    add_executable(${name} ${F_SOURCE})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  else()
    add_executable(${name}_replay ${F_SOURCE} ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
    target_include_directories(${name}_replay PRIVATE ${PROJECT_SOURCE_DIR})
    add_test(NAME ${name}_corpus COMMAND ${name}_replay ${F_CORPUS})
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
