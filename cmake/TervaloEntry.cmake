# One entry, several builds: the program itself, and test builds of the same
# entry that probe only the ports a test names (never the machine's own) and may
# carry other window documents (a broken one, one that closes itself).
function(tervalo_add_entry target qrc)
    cmake_parse_arguments(E "TEST_BUILD" "" "" ${ARGN})
    if(WIN32)
        set(platform ${PROJECT_SOURCE_DIR}/app/exitsignals_win.cpp ${PROJECT_SOURCE_DIR}/app/instanceguard_win.cpp)
    else()
        set(platform ${PROJECT_SOURCE_DIR}/app/exitsignals_unix.cpp ${PROJECT_SOURCE_DIR}/app/instanceguard_unix.cpp)
    endif()
    add_executable(${target} ${PROJECT_SOURCE_DIR}/app/main.cpp ${PROJECT_SOURCE_DIR}/app/exitsignals.h
                   ${PROJECT_SOURCE_DIR}/app/instanceguard.h ${platform}
                   ${PROJECT_SOURCE_DIR}/app/widgettheme.h ${PROJECT_SOURCE_DIR}/app/widgettheme.cpp ${qrc})
    target_link_libraries(${target} PRIVATE tervaloservices tervalocore Qt5::Gui Qt5::Widgets Qt5::Sql Qt5::Qml
                          Qt5::Quick Qt5::QuickControls2)
    if(E_TEST_BUILD)
        target_compile_definitions(${target} PRIVATE TERVALO_TEST_BUILD)
    endif()
    if(WIN32)
        set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
    endif()
endfunction()
