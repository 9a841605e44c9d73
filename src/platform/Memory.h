// The process heap's footprint.
#pragma once

// Hands pages the heap holds free back to the system. Linux: glibc keeps
// what a burst of session threads freed in its per-thread arenas, so the
// resident size would grow with every reconnect storm; this trims every
// arena. Windows: compacts the process heaps. Takes milliseconds; call it
// after many sessions have ended, not per session.
void release_free_memory();
