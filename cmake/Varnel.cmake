# Shared helpers for the folder CMakeLists.

# Compile options every target of ours gets.
function(varnel_target_defaults target)
  target_compile_options(${target} PRIVATE ${VARNEL_WARNINGS})
endfunction()

# Puts each of the given folders (relative to the source root, such as
# office/word) on the include path of `target` and of whatever links it, as
# "office/word/file.h", and nothing beside them. Each target has an include
# root in the build tree holding links to its own folders only, so a header
# of a target one does not link is not found: the include graph cannot run
# against the link graph.
function(varnel_export_folders target)
  set(_root ${PROJECT_BINARY_DIR}/include/${target})
  foreach(_folder IN LISTS ARGN)
    get_filename_component(_parent ${_root}/${_folder} DIRECTORY)
    file(MAKE_DIRECTORY ${_parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${_folder} ${_root}/${_folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${_root})
endfunction()

# Tests, benchmarks and fuzz targets share fixtures under tests/ and include
# them as "tests/office/...": they get that folder besides what they link.
function(varnel_test_includes target)
  set(_root ${PROJECT_BINARY_DIR}/include/tests-root)
  if(NOT EXISTS ${_root}/tests)
    file(MAKE_DIRECTORY ${_root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/tests ${_root}/tests SYMBOLIC)
  endif()
  target_include_directories(${target} PRIVATE ${_root})
endfunction()

# Sources of a folder: every .cpp beside its CMakeLists.txt. Globbing keeps
# people working in parallel from editing the same target list.
function(varnel_folder_sources out)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(${out} ${_src} PARENT_SCOPE)
endfunction()

# One GoogleTest executable per test file, so a test file is built and run
# on its own: tests/<folder>/<name>_test.cpp becomes test_<folder>_<name>.
function(varnel_gtests folder)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB _support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
  foreach(_t IN LISTS _tests)
    get_filename_component(_name ${_t} NAME_WE)
    string(REGEX REPLACE "_test$" "" _name ${_name})
    set(_exe test_${folder}_${_name})
    add_executable(${_exe} ${_t} ${_support})
    varnel_target_defaults(${_exe})
    varnel_test_includes(${_exe})
    target_include_directories(${_exe} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${_exe} PRIVATE
      VARNEL_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
      VARNEL_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}"
      $<$<BOOL:${VARNEL_SANITIZE}>:VARNEL_SANITIZED>)
    target_link_libraries(${_exe} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    add_test(NAME ${_exe} COMMAND ${_exe})
    set_tests_properties(${_exe} PROPERTIES TIMEOUT ${VARNEL_TEST_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endforeach()
endfunction()

# The soname of a shared library file, the name a program that links it
# records: for libraries opened at run time instead (platform/lazylibrary.h).
function(varnel_soname out library)
  get_filename_component(_real "${library}" REALPATH)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p "${_real}" OUTPUT_VARIABLE _dump RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0 OR NOT _dump MATCHES "SONAME +([^ \n]+)")
    message(FATAL_ERROR "cannot read the soname of ${library} with ${CMAKE_OBJDUMP}")
  endif()
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()
