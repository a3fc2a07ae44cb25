// The operating-system services the loader needs, behind one small interface so that
// nothing else calls an OS API directly.
#pragma once

#include <QString>
#include <cstdint>


// Full path of the running executable, with the platform's own separators.
namespace zim::platform {

QString executablePath();

// Milliseconds from an arbitrary fixed point; only differences are meaningful.
uint64_t tickCount();

// Blocks the calling thread for at least ms milliseconds.
void sleepMs(unsigned ms);

} // namespace zim::platform
