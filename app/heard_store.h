// --heard-file: the heard tables read at start and saved whole every minute,
// at SIGUSR1 and at the end, under a lock that keeps a second client away.
#pragma once

#include <chrono>

#include "app/platform.h"

// A save is due this long after the last one (or the start), on the
// monotonic clock.
inline constexpr std::chrono::seconds HEARD_SAVE_INTERVAL{60};

// Beside the heard file: its lock, the temporary file of a save, and where
// the list goes when the file itself cannot be read.
inline constexpr char HEARD_LOCK_SUFFIX[] = ".lock";
inline constexpr char HEARD_TEMP_SUFFIX[] = ".tmp";
inline constexpr char HEARD_STAND_IN_SUFFIX[] = ".new";

// Takes the file's lock and reads the file into the tables; a file that
// cannot be read is kept and the list goes to its stand-in (read in its
// turn when it exists). False after printing why the client cannot start:
// another client has the file, the lock cannot be taken, or neither the
// file nor its stand-in can be read.
bool open_heard_file(const char* path, MonotonicClock::time_point now);

// When the next timed save is due; max when no heard file is kept.
MonotonicClock::time_point next_heard_save();

// Saves when a timed save is due and a report has counted since the last
// save (or the last one failed); the receive loop calls it after each wait.
void save_heard_file_if_due(MonotonicClock::time_point now);

// Saves now (SIGUSR1, the end of a run); nothing when no heard file is
// kept. A failure is told once, and every later save tries again.
void save_heard_file();
