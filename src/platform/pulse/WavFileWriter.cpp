#include "platform/pulse/WavFileWriter.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t blockSamples = 4096;

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

Result<std::unique_ptr<WavFileWriter>> WavFileWriter::create(const QString& path)
{
    // Exclusive and without following links: a recording never lands in a file planted there.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return QuorError{
            QStringLiteral("Could not create recording %1: %2").arg(path, systemReason(errno))};
    }
    SF_INFO format{};
    format.samplerate = sampleRate;
    format.channels = 1;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &format, SF_TRUE);
    if (!file) {
        const QString reason = QString::fromUtf8(sf_strerror(nullptr));
        ::close(fd);
        return QuorError{QStringLiteral("Could not create recording %1: %2").arg(path, reason)};
    }
    return std::unique_ptr<WavFileWriter>(new WavFileWriter(path, file));
}

WavFileWriter::WavFileWriter(QString path, SNDFILE* file) : m_path(std::move(path)), m_file(file)
{
    m_pending.reserve(blockSamples);
}

WavFileWriter::~WavFileWriter()
{
    close();
}

bool WavFileWriter::write(const std::int16_t* samples, std::size_t count)
{
    if (!m_file || m_failure)
        return false;
    m_pending.insert(m_pending.end(), samples, samples + count);
    m_frames += std::int64_t(count);
    return m_pending.size() < blockSamples || flush();
}

bool WavFileWriter::flush()
{
    if (m_pending.empty())
        return true;
    errno = 0;
    const sf_count_t wanted = sf_count_t(m_pending.size());
    const sf_count_t written = sf_write_short(m_file, m_pending.data(), wanted);
    const int error = errno;
    m_pending.clear();
    if (written != wanted) {
        fail(error ? systemReason(error) : QString::fromUtf8(sf_strerror(m_file)));
        return false;
    }
    return true;
}

bool WavFileWriter::writeSilence(std::size_t count)
{
    const std::vector<std::int16_t> zeros(count, 0);
    return write(zeros.data(), zeros.size());
}

Failure WavFileWriter::close()
{
    if (m_file) {
        if (!m_failure)
            flush();
        SNDFILE* file = m_file;
        m_file = nullptr;
        errno = 0;
        // Closing rewrites the header with the final data size; that write can fail too.
        if (sf_close(file) != 0)
            fail(errno ? systemReason(errno) : QString::fromUtf8(sf_error_number(SF_ERR_SYSTEM)));
    }
    return m_failure;
}

void WavFileWriter::fail(const QString& reason)
{
    if (!m_failure) {
        m_failure =
            QuorError{QStringLiteral("Could not save the recording %1: %2").arg(m_path, reason)};
    }
}
