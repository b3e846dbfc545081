#include "files/crecoverykeeper.h"

#include "files/urecoveryfile.h"
#include "files/usaveloadfile.h"
#include "model/uglobal.h"
#include "sequencer/cacquisitionloop.h"

CRecoveryKeeper::CRecoveryKeeper(const GlobalValue& g, std::filesystem::path file, TKeptFormat format,
                                 bool bBackground)
    : Global(g), m_file(std::move(file)), m_format(format), m_background(bBackground) {
    if (m_background)
        m_worker = std::thread([this] { WorkerLoop(); });
}

CRecoveryKeeper::~CRecoveryKeeper() {
    if (!m_background)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_worker.join();
}

void CRecoveryKeeper::AfterTick(const _sTickResult& tick) {
    // The run's end is included: a run stopped between two modes may still have moved on.
    if (tick.bPositionChanged || tick.bRunEnded)
        MeasureChanged();
}

void CRecoveryKeeper::MeasureChanged() {
    if (Global.bMeasureSaved || m_file.empty())
        return;
    // The snapshot is taken here, on the caller's thread, so the worker never reads the store.
    std::string bytes = m_format == kfRecoveryCopy ? EncodeRecoveryFile(Global.MeasureData, Global.Samples)
                                                   : EncodeMeasureFile(Global.MeasureData, Global.Samples);
    Post(jWrite, std::move(bytes));
}

void CRecoveryKeeper::Discard() {
    // Only a recovery copy is ever removed: a measurement file is the operator's own.
    if (!m_file.empty() && m_format == kfRecoveryCopy)
        Post(jRemove, {});
}

void CRecoveryKeeper::Post(TJob job, std::string bytes) {
    if (!m_background) {
        Do(job, bytes);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_job = job; // replaces a job still waiting: only the newest state matters
        m_bytes = std::move(bytes);
    }
    m_wake.notify_one();
}

void CRecoveryKeeper::Do(TJob job, const std::string& bytes) {
    FileResult result = FileResult::Success();
    if (job == jWrite) {
        // The recovery copy makes its own folder in the data folder; a measurement file the
        // operator named goes nowhere but where it was named.
        result = m_format == kfRecoveryCopy ? WriteFileCreatingFolder(m_file, bytes)
                                            : WriteFileAtomically(m_file, bytes);
    } else if (job == jRemove) {
        result = RemoveRecoveryFile(m_file);
    }
    std::lock_guard lock(m_mutex);
    m_last = std::move(result);
    m_writes += job == jWrite ? 1 : 0;
}

void CRecoveryKeeper::WorkerLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_job != jNone; });
        if (m_job == jNone)
            return; // stopping with nothing left to do
        const TJob job = m_job;
        std::string bytes = std::move(m_bytes);
        m_job = jNone;
        m_busy = true;
        lock.unlock();
        Do(job, bytes);
        lock.lock();
        m_busy = false;
        m_idle.notify_all();
    }
}

void CRecoveryKeeper::Flush() {
    if (!m_background)
        return;
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_job == jNone && !m_busy; });
}

FileResult CRecoveryKeeper::LastResult() const {
    std::lock_guard lock(m_mutex);
    return m_last;
}

std::size_t CRecoveryKeeper::WriteCount() const {
    std::lock_guard lock(m_mutex);
    return m_writes;
}
