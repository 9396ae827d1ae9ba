# Scanner and parser tables for the ParGen runtime, generated at build time by dovlin-tablegen.
#
#   dovlin_generate_scanner(<var> RULES <file> NAME <name> [FLAVOUR fast|compact])
#     writes <name>_tables.h and <name>_tables.cpp
#   dovlin_generate_parser(<var> GRAMMAR <file> NAME <name> [FLAVOUR fast|compact])
#     writes <name>_tables.h, <name>_tables.cpp and <name>_tokens.h
#
# The files go to the current binary directory (add it to the consumer's include path) and
# <var> lists them. The custom target dovlin_tables_<name> builds them, for consumers that are
# defined in another directory. The flavour defaults to fast.

function(_dovlin_generate_tables kind var input name flavour outputs)
  if(NOT flavour)
    set(flavour fast)
  endif()
  get_filename_component(input ${input} ABSOLUTE)
  set(files)
  foreach(output IN LISTS outputs)
    list(APPEND files ${CMAKE_CURRENT_BINARY_DIR}/${name}_${output})
  endforeach()
  add_custom_command(
    OUTPUT ${files}
    COMMAND dovlin-tablegen ${kind} --name ${name} --flavour ${flavour}
            --out ${CMAKE_CURRENT_BINARY_DIR} ${input}
    DEPENDS dovlin-tablegen ${input}
    COMMENT "Generating ${kind} tables ${name} from ${input}"
    VERBATIM)
  add_custom_target(dovlin_tables_${name} DEPENDS ${files})
  set(${var} ${files} PARENT_SCOPE)
endfunction()

function(dovlin_generate_scanner var)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "RULES;NAME;FLAVOUR" "")
  if(NOT ARG_RULES OR NOT ARG_NAME)
    message(FATAL_ERROR "dovlin_generate_scanner needs RULES and NAME")
  endif()
  _dovlin_generate_tables(scanner files ${ARG_RULES} ${ARG_NAME} "${ARG_FLAVOUR}"
                          "tables.h;tables.cpp")
  set(${var} ${files} PARENT_SCOPE)
endfunction()

function(dovlin_generate_parser var)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "GRAMMAR;NAME;FLAVOUR" "")
  if(NOT ARG_GRAMMAR OR NOT ARG_NAME)
    message(FATAL_ERROR "dovlin_generate_parser needs GRAMMAR and NAME")
  endif()
  _dovlin_generate_tables(parser files ${ARG_GRAMMAR} ${ARG_NAME} "${ARG_FLAVOUR}"
                          "tables.h;tables.cpp;tokens.h")
  set(${var} ${files} PARENT_SCOPE)
endfunction()
