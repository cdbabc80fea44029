#pragma once

#include <QSocketNotifier>
#include <functional>
#include <initializer_list>

// A stop asked for by a signal (or by the program itself) reaches the event
// loop through a pipe, the only thing a signal handler may safely touch: the
// run then ends in order, as its own Stop or Exit would end it.

// What becomes of a signal that was ignored when the program started (nohup
// ignores SIGHUP, a script's background job SIGINT): caught all the same, or
// left ignored as whoever started the program asked.
enum class IgnoredSignals { Caught, Kept };

// Catches `stopSignals`, without restarting the calls they interrupt (so that a
// wait on a FIFO's writer or on standard input ends too). False when the
// pipe cannot be had.
bool InstallStopSignals(std::initializer_list<int> stopSignals, IgnoredSignals ignored);
// Asks for a stop; safe in a signal handler.
void RequestStop();
// Whether a stop was asked for since the start.
bool StopRequested();

// Calls `stop` on the event loop's thread each time a stop is asked for.
// Only after InstallStopSignals has succeeded.
class CStopWatch {
public:
    explicit CStopWatch(std::function<void()> stop);

private:
    QSocketNotifier m_notifier;
};
