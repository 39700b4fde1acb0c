# wendlo_library(NAME SOURCES ... [LIBS ...]): one small static library of the app.
function(wendlo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# wendlo_test(NAME SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s]): one GoogleTest executable.
# Unit tests run offscreen; tests labelled "integration" or "desktop-apps" run inside
# tests/integration/desktop-session, tests labelled "wayland" inside
# tests/integration/wayland-session (as a Wayland client: QT_QPA_PLATFORM=wayland).
function(wendlo_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} wendlo_test_support GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  set(desktop FALSE)
  if("integration" IN_LIST ARG_LABELS OR "desktop-apps" IN_LIST ARG_LABELS)
    set(desktop TRUE)
  endif()
  set(wayland FALSE)
  if("wayland" IN_LIST ARG_LABELS)
    set(wayland TRUE)
  endif()
  if(wayland)
    # A private headless sway, session bus with accessibility, and sound server per executable.
    add_test(NAME ${name}
             COMMAND ${PROJECT_SOURCE_DIR}/tests/integration/wayland-session $<TARGET_FILE:${name}>)
  elseif(desktop)
    # A private display, session bus with accessibility, and sound server per executable.
    add_test(NAME ${name}
             COMMAND ${PROJECT_SOURCE_DIR}/tests/integration/desktop-session $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(env "QT_QPA_PLATFORM=offscreen")
  if(desktop)
    set(env "")
  elseif(wayland)
    set(env "QT_QPA_PLATFORM=wayland")
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT}
                       ENVIRONMENT "${env}")
endfunction()

# wendlo_benchmark(NAME SOURCES ... [LIBS ...]): a Google Benchmark executable (not a test).
function(wendlo_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# wendlo_wayland_protocol(VAR xml): generates the client header and glue code of the protocol
# description `xml` into the current build folder's protocols/; VAR receives both files.
function(wendlo_wayland_protocol var xml)
  find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
  get_filename_component(name ${xml} NAME_WE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/protocols)
  add_custom_command(
    OUTPUT ${dir}/${name}-client-protocol.h ${dir}/${name}-protocol.c
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${dir}/${name}-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${dir}/${name}-protocol.c
    DEPENDS ${xml}
    VERBATIM)
  set(${var} ${dir}/${name}-protocol.c ${dir}/${name}-client-protocol.h PARENT_SCOPE)
endfunction()
