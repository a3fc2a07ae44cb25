// WriteGuard: the signals that a write of a whole file must survive or clean up after.
#pragma once

#include <QByteArray>

namespace zim::platform {

// While a guard lives, a write past the file size limit or into a pipe without a reader
// fails with EFBIG or EPIPE instead of ending the process (SIGXFSZ and SIGPIPE are ignored),
// and SIGTERM, SIGHUP and SIGINT first remove the temporary file the guard created, then end
// the process as they would have. A signal that was ignored before stays ignored. Everything
// is restored when the guard goes. One guard at a time, on the main thread.
class WriteGuard
{
public:
    WriteGuard();
    ~WriteGuard();

    WriteGuard(const WriteGuard &) = delete;
    WriteGuard &operator=(const WriteGuard &) = delete;

    // createTemporaryFile (rawfile.h), with the name taken held for removal on a signal from
    // the moment the file exists. -1 with errno set on failure.
    int createTemporaryFile(QByteArray &pattern);
    // The temporary file has taken its place (or is gone): a signal removes nothing now.
    void release();
};

} // namespace zim::platform
