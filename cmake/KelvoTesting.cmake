# Test support: GoogleTest/GoogleMock built from Debian's sources with the project's cross
# compiler, ctest running every test program under Wine, and kelvo_add_gtest() to declare a suite.
include_guard(GLOBAL)
include(GoogleTest)

set(KELVO_GOOGLETEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest source tree (Debian package googletest)")
set(KELVO_WINEPREFIX ${CMAKE_SOURCE_DIR}/build/wineprefix
    CACHE PATH "Wine prefix the tests run in (made on first use by tests/harness/setup-prefix)")
set(KELVO_TEST_TIMEOUT 60 CACHE STRING "Default time limit of one test case, in seconds")

# A test whose output shows one of these fails even if it exits 0: Wine's report of heap damage
# (WINEDEBUG=-all,err+heap), an exception Wine swallowed, such as a fault inside a window procedure
# that another thread reached with SendMessage (err+seh: "err:seh:... ignoring exception"), an
# unhandled exception (winedbg's "Unhandled exception: ..."), assert() from the C runtime, and a
# libstdc++ assertion (_GLIBCXX_ASSERTIONS).
set(KELVO_TEST_FAIL_REGEX "err:heap|err:seh|Unhandled exception|Assertion failed|Assertion '.*' failed")

if(CMAKE_CROSSCOMPILING AND NOT CMAKE_HOST_WIN32 AND NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
    # Every target created from here on runs through Wine in the project's own prefix: ctest's
    # test commands and gtest_discover_tests' listing of the cases alike.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tests/harness/wine-run --prefix=${KELVO_WINEPREFIX})
endif()

# Adds the gtest, gtest_main, gmock and gmock_main targets, once.
macro(kelvo_add_googletest)
    if(NOT TARGET gtest)
        if(NOT EXISTS ${KELVO_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
            message(FATAL_ERROR "GoogleTest sources not found in ${KELVO_GOOGLETEST_SOURCE_DIR}: "
                                "run ./dev.sh setup (installs Debian's googletest package)")
        endif()
        set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
        # SYSTEM: the project's -Wextra does not reach into GoogleTest's headers.
        add_subdirectory(${KELVO_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
    endif()
endmacro()

# kelvo_add_gtest(NAME <target> SOURCES <file>... [LIBS <lib>...] [DEPENDS <target>...]
#                 [TIMEOUT <seconds>] [WORKING_DIRECTORY <dir>] [RUN_SERIAL]
#                 [RESOURCE_LOCK <name>...])
#
# Builds a GoogleTest/GoogleMock program into bin/ (beside the DLLs), linked with gmock_main, and
# registers each of its cases with ctest, labelled with the program's name (ctest -L). ctest lists
# the cases just before it runs them (so the program is only started under Wine by ctest, never by
# the build), then runs each case through tests/harness/wine-run.
#   LIBS               libraries to link (targets such as uiassistlib, or Windows libraries: user32 ...)
#   DEPENDS            targets the program needs at run time but does not link, e.g. VexilKernel
#                      when the test loads it with LoadLibrary; they are built before the program
#   TIMEOUT            time limit of each case, default KELVO_TEST_TIMEOUT (60 s)
#   WORKING_DIRECTORY  current directory of each case, default the bin/ folder
#   RUN_SERIAL         run the cases alone: for cases that look for windows by class or caption
#                      on the desktop that every test process of the prefix shares
#   RESOURCE_LOCK      state of the prefix the cases share with other suites (the library folder,
#                      the display-mode file, the foreground window): ctest never runs two cases
#                      holding the same name at once
function(kelvo_add_gtest)
    cmake_parse_arguments(PARSE_ARGV 0 arg "RUN_SERIAL" "NAME;TIMEOUT;WORKING_DIRECTORY" "SOURCES;LIBS;DEPENDS;RESOURCE_LOCK")
    if(NOT arg_NAME OR NOT arg_SOURCES)
        message(FATAL_ERROR "kelvo_add_gtest: NAME and SOURCES are required")
    endif()
    if(arg_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "kelvo_add_gtest(${arg_NAME}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT ${KELVO_TEST_TIMEOUT})
    endif()
    if(NOT arg_WORKING_DIRECTORY)
        set(arg_WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    endif()

    add_executable(${arg_NAME} ${arg_SOURCES})
    target_link_libraries(${arg_NAME} PRIVATE ${arg_LIBS} gmock_main)
    # One translation unit per suite: every test file includes GoogleMock and the kit, whose headers
    # cost most of a file's compile time, so a suite compiles in about a third of the time. The
    # files' anonymous namespaces then share one unit: names in them must differ across a suite, and
    # gcc's warning about a fixture in an anonymous namespace no longer applies to a .cpp file.
    set_target_properties(${arg_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin UNITY_BUILD ON)
    target_compile_options(${arg_NAME} PRIVATE -Wno-subobject-linkage)
    if(NOT KELVO_CHECKED_BUILD)
        # The release trees test what ships: the DLLs they load are optimised, the programs that drive
        # them need not be (nothing in them is measured), and they compile in half the time without.
        target_compile_options(${arg_NAME} PRIVATE -O0 -g0)
    endif()
    if(arg_DEPENDS)
        add_dependencies(${arg_NAME} ${arg_DEPENDS})
    endif()

    set(serial)
    if(arg_RUN_SERIAL)
        set(serial RUN_SERIAL TRUE)
    endif()
    set(locks)
    if(arg_RESOURCE_LOCK)
        set(locks RESOURCE_LOCK "${arg_RESOURCE_LOCK}")
    endif()
    gtest_discover_tests(${arg_NAME}
        WORKING_DIRECTORY ${arg_WORKING_DIRECTORY}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 120
        PROPERTIES
            LABELS ${arg_NAME}
            TIMEOUT ${arg_TIMEOUT}
            FAIL_REGULAR_EXPRESSION "${KELVO_TEST_FAIL_REGEX}"
            ${serial}
            ${locks})
endfunction()
