#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/proxy_settings.h"
#include "survey/scan.h"
#include "survey/team_list.h"

namespace koravel::app {

class Session;

struct ScanJob {
    std::vector<std::int32_t> teamIds;
    std::string decimalSeparator;
    common::ProxySettings proxy;
};

using survey::TeamOutcome;

// What the scan left for the window since it last looked.
struct Arrivals {
    std::vector<TeamOutcome> outcomes;
    bool finished = false;  // the scan is over; nothing follows
    std::string error;      // what ended it unexpectedly (UTF-8), empty otherwise
};

// The window's work that must not hold the GUI thread: the scan, and the save that may
// wait for another program's lock. It lives on a thread of its own; the scan's outcomes
// wait in a guarded buffer that the window empties once a frame.
class ScanWorker final : public QObject {
    Q_OBJECT

public:
    explicit ScanWorker(const Session& session) : m_session(session) {}

    // Run on the worker's thread (queue them there).
    void scan(const ScanJob& job);
    void save(const survey::TeamList& rows);

    // From the window: everything that arrived since the last call.
    Arrivals take();
    // From any thread. After an outcome with a failure the scan waits until resume().
    void resume();
    // From any thread: ends the running scan or save (the request in flight is dropped,
    // a wait for a lock or for resume() ends). The next job runs as usual.
    void cancel();
    // From any thread, for good (the window is closing): as cancel(), and any job queued
    // after it ends before it starts.
    void stop();

Q_SIGNALS:
    // The buffer was empty and is not any more.
    void arrived();
    // `written`: the rows are in the file. `error` says why not (UTF-8); it is empty
    // when the save was cancelled.
    void saved(const QString& error, bool written);

private:
    void push(TeamOutcome&& outcome);
    void finish(std::string error);
    void waitForResume();
    // Whether the job may start; clears a cancel() left from the job before.
    bool begin();

    const Session& m_session;
    std::atomic<bool> m_cancel{false};
    std::mutex m_mutex;
    std::condition_variable m_resumed;
    bool m_stopped = false;
    bool m_waiting = false;
    Arrivals m_arrivals;
};

}  // namespace koravel::app
