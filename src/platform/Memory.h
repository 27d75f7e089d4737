#pragma once

// The process's heap. Any thread; it may take some milliseconds, so not on the
// main thread.
namespace Memory {

// Gives the heap's free pages back to the system: after a recording its
// buffers are gone, but the allocator keeps their pages until asked.
void giveBack();

// One heap for every thread, called first thing in main: memory freed on a
// thread with an arena of its own stays with the process (giveBack cannot
// reach the top of another thread's arena); after a recording and its speech
// models some 40 MB. With one heap freed memory is reused and can be given back.
void shareOneHeap();

} // namespace Memory
