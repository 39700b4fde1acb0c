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

# Hot key down to the first captured sample, and the audio missing from the recording
# (needs a desktop: run it inside tests/integration/desktop-session).
wendlo_benchmark(DictationStartBench
  SOURCES DictationStartBench.cpp
  LIBS wendlo_app Qt6::Widgets)
add_dependencies(DictationStartBench qt-field)
target_compile_definitions(DictationStartBench PRIVATE
  WENDLO_QT_FIELD="$<TARGET_FILE:qt-field>"
  WENDLO_GTK_FIELD="${PROJECT_SOURCE_DIR}/tests/integration/apps/gtk-field.py")
