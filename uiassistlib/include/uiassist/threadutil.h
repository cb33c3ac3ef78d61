// The module's threads: starting one that keeps the module loaded, waiting without stopping the
// messages other threads send, and copying a handle for another thread. Any thread.
#pragma once

#include <windows.h>

namespace vexil {

// Waits for handle up to timeoutMs while still delivering messages sent to the calling thread, so a
// thread that is inside SendMessage to this thread can finish. Returns the wait result
// (WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED). Posted messages are left in the queue.
DWORD WaitDeliveringSent(HANDLE handle, DWORD timeoutMs);
// The same for any of count handles (at most MAXIMUM_WAIT_OBJECTS - 1): WAIT_OBJECT_0 + index.
DWORD WaitAnyDeliveringSent(DWORD count, const HANDLE* handles, DWORD timeoutMs);

// Starts a thread named name (as debuggers show it) that runs proc(param). The thread holds a
// reference to the module that contains this code from before it starts until its last instruction
// (FreeLibraryAndExitThread), so a host that unloads the module never has its code pulled from under
// a running thread, and the module goes exactly when its last thread or the host lets go. Null on
// failure (nothing started, nothing held).
HANDLE StartModuleThread(LPTHREAD_START_ROUTINE proc, void* param, const wchar_t* name);

// True when thread names a thread other than the calling one: the one thread a caller may wait for
// (a thread waiting for its own end would wait forever).
bool IsAnotherThread(HANDLE thread);

// A handle of its own to the same object, with the same access; null for none or on failure.
HANDLE DuplicateOf(HANDLE handle);

} // namespace vexil
