# What ships, and how: install() rules in two components, runtime (the DLLs, the skin package beside
# them, the host's headers, the CMake package, the host guide, the runtime notice, SHA256SUMS) and
# symbols (the debug information split off each DLL), and CPack's ZIP generator writing one zip per
# component: kelvo-desktopui-<version>-win64.zip and ...-win64-symbols.zip (win32 for the x86 build).
include_guard(GLOBAL)
include(CMakePackageConfigHelpers)

# The headers a host compiles against: the bookshelf interface (bookrack/) and the kernel contract
# (vexil/). A host links nothing: it loads desktopui.dll at run time.
add_library(kelvo_host_headers INTERFACE)
set_target_properties(kelvo_host_headers PROPERTIES EXPORT_NAME bookrack)
target_include_directories(kelvo_host_headers INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/desktopui/include>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/uiassistlib/include>
    $<INSTALL_INTERFACE:include>)
target_compile_features(kelvo_host_headers INTERFACE cxx_std_11)

# The module finds VexilKernel.dll beside itself, and the kernel the skin package as
# DesktopSkin\KelvoDesktopUi.ufd beside itself: all three in bin/.
install(FILES $<TARGET_FILE:desktopui> $<TARGET_FILE:VexilKernel> DESTINATION bin COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/skin/DesktopSkin DESTINATION bin COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/desktopui/include/bookrack ${PROJECT_SOURCE_DIR}/uiassistlib/include/vexil
        DESTINATION include COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/docs/hosting.md DESTINATION . COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/docs/NOTICE-runtime.txt DESTINATION . RENAME NOTICE.txt COMPONENT runtime)

install(TARGETS kelvo_host_headers EXPORT kelvoTargets COMPONENT runtime)
install(EXPORT kelvoTargets NAMESPACE kelvo:: DESTINATION lib/cmake/kelvo COMPONENT runtime)
set(KELVO_INSTALL_BINDIR bin)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kelvoConfig.cmake.in
    ${CMAKE_BINARY_DIR}/kelvoConfig.cmake
    INSTALL_DESTINATION lib/cmake/kelvo
    PATH_VARS KELVO_INSTALL_BINDIR)
# The version file also refuses a package of the other architecture (pointer size).
write_basic_package_version_file(${CMAKE_BINARY_DIR}/kelvoConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/kelvoConfig.cmake ${CMAKE_BINARY_DIR}/kelvoConfigVersion.cmake
        DESTINATION lib/cmake/kelvo COMPONENT runtime)

if(NOT KELVO_CHECKED_BUILD)
    # kelvo_dll() leaves <dll>.debug beside each DLL of a release build.
    install(FILES $<TARGET_FILE:desktopui>.debug $<TARGET_FILE:VexilKernel>.debug
            DESTINATION bin COMPONENT symbols)
endif()

# Last rule of each component: the SHA-256 of every file installed before it.
foreach(component runtime symbols)
    install(CODE [[
        set(_kelvo_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
        file(GLOB_RECURSE _kelvo_files RELATIVE "${_kelvo_root}" "${_kelvo_root}/*")
        list(REMOVE_ITEM _kelvo_files SHA256SUMS)
        list(SORT _kelvo_files)
        set(_kelvo_sums "")
        foreach(_kelvo_file IN LISTS _kelvo_files)
            file(SHA256 "${_kelvo_root}/${_kelvo_file}" _kelvo_hash)
            string(APPEND _kelvo_sums "${_kelvo_hash}  ${_kelvo_file}\n")
        endforeach()
        file(WRITE "${_kelvo_root}/SHA256SUMS" "${_kelvo_sums}")
    ]] COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kelvo-desktopui)
set(CPACK_PACKAGE_VENDOR Kelvo)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
else()
    set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime symbols)
set(CPACK_ARCHIVE_RUNTIME_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
set(CPACK_ARCHIVE_SYMBOLS_FILE_NAME ${CPACK_PACKAGE_FILE_NAME}-symbols)
# bin/, include/, ... at the top of each zip.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
