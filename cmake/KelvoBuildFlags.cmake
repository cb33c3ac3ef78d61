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
endif()

# kelvo_dll(<target>): a DLL of the project. It links the runtime statically (nothing but Windows'
# own DLLs at run time) and enters through KelvoDllEntry (uiassistlib/src/dllentry.cpp), which hands
# the runtime back what it keeps for the unloading thread.
function(kelvo_dll target)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/uiassistlib/src/dllentry.cpp)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(entry _KelvoDllEntry@12)
    else()
        set(entry KelvoDllEntry)
    endif()
    target_link_options(${target} PRIVATE -static -Wl,--entry=${entry})
endfunction()
