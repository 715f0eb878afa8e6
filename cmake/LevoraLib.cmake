# levora_logic_library(NAME DIR DEPS...) — a Qt-free static library of every .cpp directly in DIR.
function(levora_logic_library name)
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    # A folder's main.cpp is its program, not part of its library.
    list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
    if(NOT srcs)
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARGN})
        return()
    endif()
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
    target_compile_options(${name} PRIVATE ${LEVORA_STRICT_WARNINGS})
endfunction()

# levora_gui_library(NAME DEPS...) — the Qt windows of a folder, from its gui/ sub-folder.
function(levora_gui_library name)
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/gui/*.h
         ${CMAKE_CURRENT_SOURCE_DIR}/gui/*.qrc)
    if(NOT srcs)
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE Qt6::Widgets ${ARGN})
        return()
    endif()
    add_library(${name} STATIC ${srcs})
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON)
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC Qt6::Widgets ${ARGN})
endfunction()

# levora_test(NAME DEPS...) — one test program of every .cpp in the current tests/ folder.
function(levora_test name)
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT srcs)
        return()
    endif()
    add_executable(${name} ${srcs})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE levora_test_support ${ARGN})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "LEVORA_BIN_DIR=${LEVORA_BIN_DIR};QT_QPA_PLATFORM=offscreen")
endfunction()

# levora_add_subfolders() — every folder directly below the current one that has a CMakeLists.txt.
function(levora_add_subfolders)
    file(GLOB entries LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
    foreach(entry ${entries})
        if(IS_DIRECTORY ${entry} AND EXISTS ${entry}/CMakeLists.txt)
            add_subdirectory(${entry})
        endif()
    endforeach()
endfunction()
