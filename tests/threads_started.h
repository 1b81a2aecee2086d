// Lets a Windows test program end only after every thread it has started is running.
#pragma once

namespace hvtest {

// Waits (up to ten seconds) until every thread of this process has run its start-up, and
// says on stderr when it gives up. GoogleTest starts a watcher thread for its thread-local
// values; a process that ends while such a thread is still starting was seen to crash Wine's
// start-up code of that thread (a segmentation fault, exit code 3 or a core dump) under load.
void WaitForThreadsToStart();

}  // namespace hvtest
