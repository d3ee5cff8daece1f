#include "app/scan_worker.h"

#include <exception>

#include "app/session.h"
#include "common/code_page.h"
#include "common/error.h"
#include "survey/scan.h"

namespace koravel::app {

namespace {

std::string MessageOf(const std::exception& error) {
    // Library messages may be UTF-8; the display expects Windows-1251.
    if (dynamic_cast<const common::Error*>(&error) != nullptr) return error.what();
    return common::AnyTextToCp1251(error.what());
}

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
        survey::RunScan(
            job.teamIds, job.decimalSeparator,
            [&](std::int32_t id) -> std::optional<std::string> {
                site::Reply reply = m_session.fetch(id, job.proxy, &m_stop);
                if (reply.ok()) return std::move(reply.body);
                if (m_stop) return std::nullopt;
                // The next request goes out once the user has seen the failure.
                {
                    const std::lock_guard lock(m_mutex);
                    m_waiting = true;
                }
                Q_EMIT requestFailed(id, QString::fromStdString(reply.reason()));
                waitForResume();
                return std::nullopt;
            },
            [this](survey::TeamRow&& row) {
                Q_EMIT rowRead(std::make_shared<survey::TeamRow>(std::move(row)));
            },
            &m_stop);
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
