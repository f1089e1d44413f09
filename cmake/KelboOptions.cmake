# Every Kelbo target links kelbo_options: the same warnings everywhere, and the sanitizers on demand.
add_library(kelbo_options INTERFACE)
target_compile_options(kelbo_options INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(kelbo_options INTERFACE QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(KELBO_SANITIZE)
  target_compile_options(kelbo_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(kelbo_options INTERFACE -fsanitize=address,undefined)
endif()
# The fuzz build: every library gets libFuzzer's coverage instrumentation and the sanitizers;
# only the fuzz targets link the fuzzer's main (-fsanitize=fuzzer, fuzz/CMakeLists.txt).
if(KELBO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KELBO_FUZZ needs clang (libFuzzer): configure with -DCMAKE_CXX_COMPILER=clang++-14")
  endif()
  target_compile_options(kelbo_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(kelbo_options INTERFACE -fsanitize=address,undefined)
endif()

# kelbo_add_library(NAME SOURCES... LINK deps... [PRIVATE_LINK deps...]): one static library
# per folder. LINK is what its headers need, PRIVATE_LINK what only its sources use.
function(kelbo_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK;PRIVATE_LINK" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINK} PRIVATE ${ARG_PRIVATE_LINK} kelbo_options)
endfunction()

# kelbo_lookup_first(TARGET LIBRARY...): TARGET names first, among the libraries it needs, those
# of cmake/lookup-order.txt that the LIBRARY files (imported targets or paths: the FFmpeg and Qt
# libraries this build links) load, at the paths the dynamic loader gives them (ldd). The
# dynamic loader looks every symbol of the ~150 libraries that FFmpeg and Qt bring in up
# through the libraries in their load order, from the first; with the libraries most lookups
# end in named first, kelbo-export starts with about a quarter less processor time (12 ms of
# 45 here), which every call from a script pays. The libraries loaded stay the same, and a
# listed name that this build's libraries do not load (another FFmpeg or Qt installed beside)
# is left out. Which copy of a symbol is used changes only for symbols that several of them
# define alike (inline template code, version names).
function(kelbo_lookup_first target)
  if(KELBO_SANITIZE OR KELBO_FUZZ) # the sanitizers' runtime must stay the first library
    return()
  endif()
  find_program(KELBO_LDD ldd)
  set(files)
  foreach(library IN LISTS ARGN)
    if(TARGET ${library})
      get_target_property(library ${library} LOCATION)
    endif()
    if(library AND EXISTS "${library}")
      list(APPEND files "${library}")
    endif()
  endforeach()
  if(NOT KELBO_LDD OR NOT files)
    return()
  endif()
  execute_process(COMMAND ${KELBO_LDD} ${files} OUTPUT_VARIABLE loaded RESULT_VARIABLE failed ERROR_QUIET)
  if(failed)
    return()
  endif()
  file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/lookup-order.txt names REGEX "^[^#]")
  set(found)
  foreach(name IN LISTS names)
    string(REGEX REPLACE "([.+])" "\\\\\\1" pattern "${name}")
    if(loaded MATCHES "[\t ]${pattern} => (/[^ \n]+)")
      list(APPEND found "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES found)
  if(found)
    target_link_options(${target} PRIVATE "LINKER:--push-state,--no-as-needed" ${found} "LINKER:--pop-state")
  endif()
endfunction()
