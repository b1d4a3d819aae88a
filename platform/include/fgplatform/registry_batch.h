// Registry batches: the platform's own calls (not Win32 ones) that run many
// registry calls of one thread as one transaction of the store.
//
//   if (FgRegistryBeginBatch(TRUE) == ERROR_SUCCESS) {
//     LSTATUS rc = ...registry calls...;
//     rc = FgRegistryEndBatch(rc == ERROR_SUCCESS);   // all of it, or none
//   }
//
// Between the two, every registry call of the thread that began the batch
// joins its transaction: other processes see none of its changes until
// FgRegistryEndBatch commits them, and see nothing of them at all when it
// rolls them back, when the process ends or is killed first, or when the
// commit fails. Each call inside the batch stays atomic on its own: a call
// that fails undoes only itself, and the batch goes on (its caller decides
// whether to commit).
//
// A batch begun for reading (`write` FALSE) is a snapshot instead: every
// call of it sees the store as it was when the batch began, whatever other
// processes commit meanwhile; it takes no write lock, so they go on
// writing; a call of it that would write answers ERROR_ACCESS_DENIED. It
// spares a long walk of the store a transaction for each call.
//
// Choices:
// - The batch takes the store's write lock at once (a store the user may
//   only read is read in one snapshot instead): writers of other processes
//   wait for it within their busy timeout (10 s), as for any call.
// - Other threads of the process wait for the batch to end before their
//   own registry calls run; only the thread that began a batch may end it.
// - Batches do not nest: beginning a second one on the same thread answers
//   ERROR_INVALID_FUNCTION, and so does ending one that was not begun (or
//   was begun by another thread).
// - The store must not be switched (FARROWGATE_REGISTRY changed) while a
//   batch runs: calls then go to the new store, outside the batch.
// - A failed begin (the store cannot be opened, or its write lock not had
//   within the busy timeout) answers the store's error and leaves no batch.
#pragma once

#include "fgplatform/basetypes.h"
#include "fgplatform/winreg.h"

// Begins a batch on this thread: one that writes (`write` TRUE) or a
// snapshot for reading. ERROR_SUCCESS or the store's error.
FG_API LSTATUS WINAPI FgRegistryBeginBatch(BOOL write);
// Ends this thread's batch: commits every change it made when `commit` is
// TRUE, else rolls them all back (a snapshot just ends). ERROR_SUCCESS, or the commit's error
// (then nothing of the batch was kept).
FG_API LSTATUS WINAPI FgRegistryEndBatch(BOOL commit);
