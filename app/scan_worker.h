#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/proxy_settings.h"
#include "survey/team_list.h"

namespace koravel::app {

class Session;

struct ScanJob {
    std::vector<std::int32_t> teamIds;
    std::string decimalSeparator;
    common::ProxySettings proxy;
};

// The window's work that must not hold the GUI thread: the scan, and the save that may
// wait for another program's lock. It lives on a thread of its own and talks back only
// through its signals, so the window keeps painting and its handlers return at once.
class ScanWorker final : public QObject {
    Q_OBJECT

public:
    explicit ScanWorker(const Session& session) : m_session(session) {}

    // Run on the worker's thread (queue them there).
    void scan(const ScanJob& job);
    void save(const survey::TeamList& rows);

    // From any thread. After a failed request the scan waits until resume().
    void resume();
    // From any thread, for good (the window is closing): ends the scan or the save at
    // once (the request in flight is dropped, a wait for a lock or for resume() ends), and
    // any job queued after it ends before it starts.
    void stop();

Q_SIGNALS:
    // Shared, not copied: a hostile page can make a row megabytes long. The one receiver
    // takes it over.
    void rowRead(const std::shared_ptr<koravel::survey::TeamRow>& row);
    void requestFailed(std::int32_t teamId, const QString& reason);
    // `error` is empty after a scan that ran to its end or was stopped; otherwise it is
    // the message of the error that ended it, in Windows-1251.
    void finished(const std::string& error);
    void saved(const std::string& error);

private:
    void waitForResume();

    const Session& m_session;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_resumed;
    bool m_waiting = false;
};

}  // namespace koravel::app
