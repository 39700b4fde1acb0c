
# The onboarding window: backdrop frame and practice keystroke.
wendlo_benchmark(OnboardingUiBench
  SOURCES OnboardingUiBench.cpp
  LIBS wendlo_onboarding_ui Qt6::Widgets)

# Practice matching on a 500-character attempt.
wendlo_benchmark(OnboardingPracticeBench
  SOURCES OnboardingPracticeBench.cpp
  LIBS wendlo_onboarding_model)
