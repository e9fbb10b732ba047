# Warnings and sanitizers for our own targets only.
function(mwst_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(MWST_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
    # GCC's flow analysis sees through ASan's instrumentation badly and warns
    # of uninitialised std::optional members that are initialised.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
    endif()
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# mwst_expose(target header...): the headers `target` offers, each linked into
# the target's own include tree under its path in the repository. A target
# sees its own headers and those of the libraries it links, and nothing else:
# an include of a higher layer's header does not compile.
function(mwst_expose target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  foreach(header ${ARGN})
    get_filename_component(absolute ${header} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${absolute})
    get_filename_component(dir ${root}/${relative} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${absolute} ${root}/${relative} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# add_mwst_library(name SOURCES... [HEADERS ...] [LIBS ...]): a static library
# of ours. It offers the header beside each of its sources and the HEADERS
# named (mwst_expose).
function(add_mwst_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;HEADERS;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/include/${name})
  set(headers ${ARG_HEADERS})
  foreach(source ${ARG_SOURCES})
    get_filename_component(absolute ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    string(REGEX REPLACE "\\.cpp$" ".h" header ${absolute})
    if(EXISTS ${header})
      list(APPEND headers ${header})
    endif()
  endforeach()
  mwst_expose(${name} ${headers})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  mwst_target_options(${name})
endfunction()

# add_unit_test(name SOURCES... LIBS ...): one GoogleTest executable registered with CTest.
# Qt tests run offscreen; settings never come from the user's own files.
function(add_unit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_BINARY_DIR}/include/tests)
  mwst_target_options(${name})
  target_compile_definitions(${name} PRIVATE
    MWST_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    MWST_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MWST_SETTINGS=${CMAKE_BINARY_DIR}/test-settings.ini"
    TIMEOUT 300)
endfunction()

# mwst_embed_text(target VAR file...): compiles text files into the target as
# std::string_view constants, so libraries without Qt can carry data from res/.
# Each file becomes extern const std::string_view <VAR>_<basename with _>.
function(mwst_embed_text target)
  foreach(file ${ARGN})
    get_filename_component(base ${file} NAME)
    string(MAKE_C_IDENTIFIER ${base} ident)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/embed_${ident}.cpp)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DIN=${file} -DOUT=${out} -DNAME=embedded_${ident}
              -P ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
      DEPENDS ${file} ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
      VERBATIM)
    target_sources(${target} PRIVATE ${out})
  endforeach()
endfunction()
