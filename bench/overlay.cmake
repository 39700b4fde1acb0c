wendlo_benchmark(StarfieldPillBench
  SOURCES StarfieldPillBench.cpp
  LIBS wendlo_overlay Qt6::Widgets)
