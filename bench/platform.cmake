# AT-SPI insertion of a 500-character transcript against xdotool type (needs a desktop:
# run it inside tests/integration/desktop-session).
wendlo_benchmark(AtspiInsertionBench
  SOURCES AtspiInsertionBench.cpp
  LIBS wendlo_inserter wendlo_platform_atspi Qt6::Widgets)
add_dependencies(AtspiInsertionBench qt-field)
target_compile_definitions(AtspiInsertionBench PRIVATE
  WENDLO_QT_FIELD="$<TARGET_FILE:qt-field>"
  WENDLO_GTK_FIELD="${PROJECT_SOURCE_DIR}/tests/integration/apps/gtk-field.py")

# Recording CPU cost and start-to-first-sample time; needs a sound server (see the source).
wendlo_benchmark(PulseRecorderBench
  SOURCES PulseRecorderBench.cpp
  LIBS wendlo_platform_pulse)

# A paste into a native Wayland window (data-control clipboard, wtype chord) against typing
# with wtype; run it inside tests/integration/wayland-session.
wendlo_benchmark(WaylandPasteBench
  SOURCES WaylandPasteBench.cpp
  LIBS wendlo_inserter wendlo_platform_wayland Qt6::Widgets)
add_dependencies(WaylandPasteBench qt-field wl-clipboard-owner)
target_compile_definitions(WaylandPasteBench PRIVATE
  WENDLO_QT_FIELD="$<TARGET_FILE:qt-field>"
  WENDLO_GTK_FIELD="${PROJECT_SOURCE_DIR}/tests/integration/apps/gtk-field.py"
  WENDLO_WL_CLIPBOARD_OWNER="$<TARGET_FILE:wl-clipboard-owner>")
