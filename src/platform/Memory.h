#pragma once

// The process's heap. Any thread; it may take some milliseconds, so not on the
// main thread.
namespace Memory {

// Gives the heap's free pages back to the system: after a recording its
// buffers are gone, but the allocator keeps their pages until asked.
void giveBack();

} // namespace Memory
