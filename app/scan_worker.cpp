#include "app/scan_worker.h"

#include <exception>

#include "app/session.h"
#include "common/code_page.h"
#include "survey/scan.h"

namespace koravel::app {

namespace {

// Messages are UTF-8; the display expects Windows-1251.
std::string MessageOf(const std::exception& error) { return common::AnyTextToCp1251(error.what()); }

}  // namespace

void ScanWorker::resume() {
    const std::lock_guard lock(m_mutex);
    m_waiting = false;
    m_resumed.notify_all();
}

void ScanWorker::stop() {
    const std::lock_guard lock(m_mutex);
    m_stop = true;
    m_waiting = false;
    m_resumed.notify_all();
}

void ScanWorker::waitForResume() {
    std::unique_lock lock(m_mutex);
    m_resumed.wait(lock, [this] { return !m_waiting || m_stop; });
}

void ScanWorker::scan(const ScanJob& job) {
    std::string error;
    try {
        survey::Scan scan(job.teamIds, job.decimalSeparator, [&](std::int32_t id) {
            site::Reply reply = m_session.fetch(id, job.proxy, &m_stop);
            if (reply.ok()) return survey::Fetched{std::move(reply.body), {}};
            return survey::Fetched{std::nullopt, reply.reason()};
        });
        while (std::optional<survey::TeamOutcome> outcome = scan.next(&m_stop)) {
            if (outcome->failure) {
                // The next request goes out once the user has seen the failure.
                {
                    const std::lock_guard lock(m_mutex);
                    m_waiting = true;
                }
                Q_EMIT requestFailed(outcome->teamId, QString::fromStdString(*outcome->failure));
                waitForResume();
                if (m_stop) break;
            }
            Q_EMIT rowRead(std::make_shared<survey::TeamRow>(std::move(outcome->row)));
            if (outcome->error) error = common::AnyTextToCp1251(*outcome->error);
        }
    } catch (const std::exception& e) {
        error = MessageOf(e);
    } catch (...) {
        error = "Unknown error";
    }
    Q_EMIT finished(m_stop ? std::string() : error);
}

void ScanWorker::save(const survey::TeamList& rows) {
    std::string error;
    try {
        m_session.saveReport(rows, &m_stop);
    } catch (const std::exception& e) {
        error = MessageOf(e);
    } catch (...) {
        error = "Unknown error";
    }
    Q_EMIT saved(m_stop ? std::string() : error);
}

}  // namespace koravel::app
