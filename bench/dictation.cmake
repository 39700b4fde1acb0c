wendlo_benchmark(WhisperTranscriberBench
  SOURCES WhisperTranscriberBench.cpp
  LIBS wendlo_transcriber)
target_compile_definitions(WhisperTranscriberBench PRIVATE
  WENDLO_WHISPER_CLI="${WENDLO_RESOURCE_DIR}/Whisper/whisper-cli"
  WENDLO_TINY_MODEL_TOOL="${PROJECT_SOURCE_DIR}/tests/tools/make-tiny-whisper-model.py")

# Transcript cleanup on a 10 kB transcript.
wendlo_benchmark(TextCleanupBench
  SOURCES TextCleanupBench.cpp
  LIBS wendlo_cleanup)
