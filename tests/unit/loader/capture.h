// A stdio stream whose bytes a test reads back, for output checked byte for byte.
#pragma once

#include <cstdio>
#include <string>

class CapturedStream
{
public:
    CapturedStream() : m_file(std::tmpfile()) {}
    ~CapturedStream() { std::fclose(m_file); }
    CapturedStream(const CapturedStream &) = delete;
    CapturedStream &operator=(const CapturedStream &) = delete;

    FILE *file() const { return m_file; }

    // Everything written so far; the stream keeps its contents.
    std::string text() const
    {
        std::fflush(m_file);
        const long end = std::ftell(m_file);
        std::string bytes(size_t(end), '\0');
        std::rewind(m_file);
        const size_t n = std::fread(bytes.data(), 1, bytes.size(), m_file);
        bytes.resize(n);
        std::fseek(m_file, 0, SEEK_END);
        return bytes;
    }

private:
    FILE *m_file;
};
