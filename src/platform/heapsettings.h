// The C library allocator's settings for a process that makes and frees many small blocks.
#pragma once

namespace zim::platform {

// Keeps memory the allocator has been given for reuse instead of handing it back to the system
// after every large free, takes it from the system in large steps, and asks for large pages for
// those steps, so that a heap that grows and shrinks with the script's garbage is not touched
// afresh (a page fault for every 4 KiB) again and again. Only requests: where the system or the
// C library has no such settings, nothing changes. Called once, at start-up, before the work
// begins.
void prepareHeap();

} // namespace zim::platform
