# Compiles the files listed in resources/resources.txt into the foundation library: one
# generated source per resource (rebuilt when its file or the list changes) and a table of them.
set(res_list ${CMAKE_SOURCE_DIR}/resources/resources.txt)
set(res_script ${CMAKE_SOURCE_DIR}/resources/embed_one.cmake)
set(res_out ${CMAKE_BINARY_DIR}/generated/resources)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${res_list})

file(STRINGS ${res_list} res_lines)
set(res_names "")
set(res_idents "")
set(res_decls "")
set(res_refs "")
set(res_count 0)
foreach(line IN LISTS res_lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
        continue()
    endif()
    if(NOT line MATCHES "^([^ \t]+)[ \t]+(.+)$")
        message(FATAL_ERROR "resources.txt: a line needs a name and a file: '${line}'")
    endif()
    string(TOUPPER "${CMAKE_MATCH_1}" name)
    set(src "${CMAKE_MATCH_2}")
    if(NOT IS_ABSOLUTE "${src}")
        set(src ${CMAKE_SOURCE_DIR}/resources/${src})
    endif()
    if(NOT EXISTS "${src}" OR IS_DIRECTORY "${src}")
        message(FATAL_ERROR "resources.txt: ${name}: no such file ${src}")
    endif()
    if(NOT name MATCHES "^[!-~]+$" OR name MATCHES "[\";\\\\]")
        message(FATAL_ERROR "resources.txt: ${name}: a name is printable ASCII without quotes, ';' or backslashes")
    endif()
    string(MAKE_C_IDENTIFIER "${name}" ident)
    if(name IN_LIST res_names OR ident IN_LIST res_idents)
        message(FATAL_ERROR "resources.txt: ${name} is listed twice (names ignore case)")
    endif()
    list(APPEND res_names "${name}")
    list(APPEND res_idents "${ident}")

    set(out ${res_out}/res_${ident}.cpp)
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -DRES_NAME=${name} -DRES_IDENT=${ident} -DRES_SRC=${src} -DRES_OUT=${out}
                -P ${res_script}
        DEPENDS ${src} ${res_list} ${res_script}
        COMMENT "Embedding resource ${name}"
        VERBATIM)
    target_sources(corvane_foundation PRIVATE ${out})
    string(APPEND res_decls "extern const RES_entry gRes_${ident};\n")
    string(APPEND res_refs "    &gRes_${ident},\n")
    math(EXPR res_count "${res_count} + 1")
endforeach()

if(res_count EQUAL 0)
    set(res_refs "    nullptr,\n")
endif()
# Written only when it changes, so an unchanged list recompiles nothing.
file(CONFIGURE OUTPUT ${res_out}/res_table.cpp CONTENT
"// Generated from resources/resources.txt by resources/embed.cmake; do not edit.
#include \"foundation/resources.h\"

${res_decls}
const RES_entry* const gResTable[] = {
${res_refs}};
const int gResCount = ${res_count};
" @ONLY)
target_sources(corvane_foundation PRIVATE ${res_out}/res_table.cpp)
