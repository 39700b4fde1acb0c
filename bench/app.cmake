# Start-up of the real app to its first window, and its resident memory.
wendlo_benchmark(AppStartupBench
  SOURCES AppStartupBench.cpp
  LIBS Qt6::Core)
add_dependencies(AppStartupBench wendlo)
target_compile_definitions(AppStartupBench PRIVATE WENDLO_EXECUTABLE="$<TARGET_FILE:wendlo>")

# Hot-key release to "text inserted" with the desktop's real back ends and a stand-in
# recogniser (needs a desktop: run it inside tests/integration/desktop-session).
wendlo_benchmark(DictationLatencyBench
  SOURCES DictationLatencyBench.cpp
  LIBS wendlo_app Qt6::Widgets)
add_dependencies(DictationLatencyBench qt-field)
target_compile_definitions(DictationLatencyBench PRIVATE
  WENDLO_QT_FIELD="$<TARGET_FILE:qt-field>"
  WENDLO_GTK_FIELD="${PROJECT_SOURCE_DIR}/tests/integration/apps/gtk-field.py")

# Release to "text inserted" through the real pipeline and whisper-cli with a chosen model;
# bench/recogniser-cost runs it per model shape.
wendlo_benchmark(WhisperPipelineBench
  SOURCES WhisperPipelineBench.cpp
  LIBS wendlo_app wendlo_model_prefetch wendlo_platform_kernel Qt6::Widgets)
add_dependencies(WhisperPipelineBench qt-field)
target_compile_definitions(WhisperPipelineBench PRIVATE
  WENDLO_QT_FIELD="$<TARGET_FILE:qt-field>"
  WENDLO_GTK_FIELD="${PROJECT_SOURCE_DIR}/tests/integration/apps/gtk-field.py")

# Hot key down to the first captured sample, and the audio missing from the recording
# (needs a desktop: run it inside tests/integration/desktop-session).
wendlo_benchmark(DictationStartBench
  SOURCES DictationStartBench.cpp
  LIBS wendlo_app Qt6::Widgets)
add_dependencies(DictationStartBench qt-field)
target_compile_definitions(DictationStartBench PRIVATE
  WENDLO_QT_FIELD="$<TARGET_FILE:qt-field>"
  WENDLO_GTK_FIELD="${PROJECT_SOURCE_DIR}/tests/integration/apps/gtk-field.py")

# Under sway: release of Super+D to text in a native GTK field, through the compositor's
# binding and the command line (run it inside tests/integration/wayland-session).
add_executable(WaylandDictationBench WaylandDictationBench.cpp)
target_include_directories(WaylandDictationBench PRIVATE ${PROJECT_SOURCE_DIR}/src
                           ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(WaylandDictationBench PRIVATE Qt6::Core)
set_target_properties(WaylandDictationBench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(WaylandDictationBench wendlo)
target_compile_definitions(WaylandDictationBench PRIVATE
  WENDLO_EXECUTABLE="$<TARGET_FILE:wendlo>"
  WENDLO_GTK_FIELD="${PROJECT_SOURCE_DIR}/tests/integration/apps/gtk-field.py"
  WENDLO_QT_FIELD="")
