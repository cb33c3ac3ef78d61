# Compile and link options for the project's own targets: everything added after this file is
# included. RC files get none of them (windres knows no -W flags).
include_guard(GLOBAL)

set(_kelvo_c_cxx "$<COMPILE_LANGUAGE:C,CXX>")
add_compile_options("$<${_kelvo_c_cxx}:-Wall;-Wextra>")

if(KELVO_CHECKED_BUILD)
    # VEXIL_DIAGNOSTICS turns the diagnostic (soft) assertions on: a broken invariant is reported
    # and execution goes on. Release builds leave it undefined and compile the checks out.
    add_compile_definitions(VEXIL_DIAGNOSTICS=1 _GLIBCXX_ASSERTIONS)
    # What catches memory and UB faults under Wine (there is no AddressSanitizer for mingw):
    # undefined behaviour traps in place (no runtime library needed), the stack guard aborts on a
    # smashed frame. The stack guard must be on the link line too, so that gcc adds libssp.
    add_compile_options("$<${_kelvo_c_cxx}:-fstack-protector-strong;-fsanitize=undefined;-fsanitize-undefined-trap-on-error>")
    add_link_options(-fstack-protector-strong)
else()
    # What ships is built the same way from the same commit wherever the tree and the build lie:
    # file names in the debug information and in __FILE__ are relative to the source tree, and the
    # build tree's own (and the compiler's working folder) under "build" (gcc takes the last map
    # that fits: the build tree may lie inside the source tree).
    add_compile_options("$<${_kelvo_c_cxx}:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=;-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
endif()

# kelvo_dll(<target>): a DLL of the project. It links the runtime statically (nothing but Windows'
# own DLLs at run time) and enters through KelvoDllEntry (uiassistlib/src/dllentry.cpp), which hands
# the runtime back what it keeps for the unloading thread. The image carries no link time, so two
# builds of one commit are byte for byte the same. In a release build the debug information moves
# to <dll>.debug beside it (the symbols package), and the DLL keeps only a link to that file.
function(kelvo_dll target)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/uiassistlib/src/dllentry.cpp)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(entry _KelvoDllEntry@12)
    else()
        set(entry KelvoDllEntry)
    endif()
    target_link_options(${target} PRIVATE -static -Wl,--entry=${entry} -Wl,--no-insert-timestamp)
    if(NOT KELVO_CHECKED_BUILD)
        set(dll $<TARGET_FILE:${target}>)
        # objcopy stamps the PE header with the current time unless SOURCE_DATE_EPOCH says which.
        set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${objcopy} --only-keep-debug ${dll} ${dll}.debug
            COMMAND ${objcopy} --strip-debug --add-gnu-debuglink=${dll}.debug ${dll}
            WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
            VERBATIM)
    endif()
endfunction()
