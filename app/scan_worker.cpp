#include "app/scan_worker.h"

#include <exception>
#include <utility>

#include "app/qt_text.h"
#include "app/session.h"
#include "survey/scan.h"

namespace koravel::app {

namespace {

// The worker's one catch boundary: what `work` throws becomes the message (UTF-8).
template <class Work>
std::string Caught(Work&& work) noexcept {
    try {
        work();
        return {};
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unknown error";
    }
}

}  // namespace

bool ScanWorker::begin() {
    const std::lock_guard lock(m_mutex);
    m_cancel = m_stopped;
    m_waiting = false;
    return !m_stopped;
}

Arrivals ScanWorker::take() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_arrivals, {});
}

void ScanWorker::push(TeamOutcome&& outcome) {
    bool wasEmpty = false;
    {
        const std::lock_guard lock(m_mutex);
        wasEmpty = m_arrivals.outcomes.empty() && !m_arrivals.finished;
        // The next request goes out once the user has seen the failure.
        if (outcome.failure) m_waiting = true;
        m_arrivals.outcomes.push_back(std::move(outcome));
    }
    if (wasEmpty) Q_EMIT arrived();
}

void ScanWorker::finish(std::string error) {
    bool wasEmpty = false;
    {
        const std::lock_guard lock(m_mutex);
        wasEmpty = m_arrivals.outcomes.empty() && !m_arrivals.finished;
        m_arrivals.finished = true;
        m_arrivals.error = std::move(error);
    }
    if (wasEmpty) Q_EMIT arrived();
}

void ScanWorker::resume() {
    const std::lock_guard lock(m_mutex);
    m_waiting = false;
    m_resumed.notify_all();
}

void ScanWorker::cancel() {
    const std::lock_guard lock(m_mutex);
    m_cancel = true;
    m_waiting = false;
    m_resumed.notify_all();
}

void ScanWorker::stop() {
    const std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_cancel = true;
    m_waiting = false;
    m_resumed.notify_all();
}

void ScanWorker::waitForResume() {
    std::unique_lock lock(m_mutex);
    m_resumed.wait(lock, [this] { return !m_waiting || m_cancel; });
}

void ScanWorker::scan(const ScanJob& job) {
    if (!begin()) return finish({});
    std::string error = Caught([&] {
        survey::Scan scan(job.teamIds, job.decimalSeparator, [&](std::int32_t id) {
            site::Reply reply = m_session.fetch(id, job.proxy, &m_cancel);
            if (reply.ok()) return survey::Fetched{std::move(reply.body), {}};
            return survey::Fetched{std::nullopt, reply.reason()};
        });
        while (std::optional<survey::TeamOutcome> outcome = scan.next(&m_cancel)) {
            // A request dropped by Stop is no failure to show.
            if (outcome->failure && m_cancel) break;
            const bool failed = outcome->failure.has_value();
            push(std::move(*outcome));
            // The next request goes out once the user has seen the failure.
            if (failed) waitForResume();
        }
    });
    finish(m_cancel ? std::string() : std::move(error));
}

void ScanWorker::save(const survey::TeamList& rows) {
    if (!begin()) return Q_EMIT saved({}, false);
    bool written = false;
    const std::string error = Caught([&] { written = m_session.saveReport(rows, &m_cancel); });
    Q_EMIT saved(m_cancel ? QString() : FromUtf8(error), written && error.empty());
}

}  // namespace koravel::app
