// Tells runs of the program apart. The cache tree is per user, and the 32- and
// 64-bit products share its upper levels, so one run per user at a time: the
// lock is a mutex in the global namespace named after the user's SID, which
// binds every session and window station of that user, and which the
// process holds until it ends. The folders themselves are no lock: they are
// held so that nobody renames or removes them, while other programs may save
// files into them.
#ifndef WYK_CACHE_RUN_LOCK_H
#define WYK_CACHE_RUN_LOCK_H

// False when another run of the program for the same user holds the lock;
// true again once this process holds it.
// A lock that cannot be made, or a name taken by an object that no run made
// (one whose owner is not the user: a run sets it so), is no other run: that
// is logged and the run goes on without the lock, as a run did
// before there was one, rather than let anyone stop every install by taking
// the name first.
bool TakeRunLock();

#endif
