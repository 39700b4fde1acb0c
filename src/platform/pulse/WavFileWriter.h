#pragma once

#include "common/QuorError.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

typedef struct sf_private_tag SNDFILE;

// Streams 16 kHz mono signed 16-bit samples into a new WAV file, in blocks of about a quarter
// second (capture delivers many tiny chunks). The header is made right when the file is
// closed; a write that fails (a full disk) is remembered and ends writing, so a cut-short file
// is never mistaken for a whole one. Not thread-safe: callers serialise.
class WavFileWriter
{
public:
    static constexpr int sampleRate = 16000;

    // Creates the file; refuses an existing file or a symlink at `path`.
    static Result<std::unique_ptr<WavFileWriter>> create(const QString& path);
    ~WavFileWriter();
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Appends `count` samples; false once any write has failed.
    bool write(const std::int16_t* samples, std::size_t count);
    // Appends `count` zero samples (a gap in the capture keeps its length).
    bool writeSilence(std::size_t count);
    // Completes the header and closes the file. Safe to call twice.
    Failure close();

    // Samples accepted so far (on disk once closed).
    std::int64_t framesWritten() const { return m_frames; }
    Failure failure() const { return m_failure; }

private:
    WavFileWriter(QString path, SNDFILE* file);
    bool flush();
    void fail(const QString& reason);

    QString m_path;
    SNDFILE* m_file;
    std::vector<std::int16_t> m_pending;
    std::int64_t m_frames = 0;
    Failure m_failure;
};
