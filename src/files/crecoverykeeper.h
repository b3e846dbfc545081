#pragma once

#include "files/uatomicfile.h"

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

class GlobalValue;
struct _sTickResult;

// What the keeper writes.
enum TKeptFormat {
    kfRecoveryCopy, // the recovery copy (measurement file plus the samples' use flags)
    kfMeasureFile,  // a plain measurement file, as the command line's --out keeps it
};

// Keeps a file on disk up to date with the measurement in memory while it has unsaved changes,
// so that a crash loses nothing that was stored. It decides when to write: after every tick that
// moved the sequencer (a stored mode always moves it to the next mode, sample or temperature) and
// whenever a caller reports a change of its own (a reference temperature added or deleted, an edit
// committed, a measurement restored). Nothing is written while bMeasureSaved is set.
//
// With bBackground the GUI thread only takes a snapshot of the bytes; a worker thread of the
// keeper writes them atomically, newest first: a write still waiting is replaced by a newer one.
// Without it every write is done before the call returns (the command line, the tests).
class CRecoveryKeeper {
public:
    CRecoveryKeeper(const GlobalValue& g, std::filesystem::path file, TKeptFormat format, bool bBackground);
    // Finishes what was asked (a pending write or removal) before it returns.
    ~CRecoveryKeeper();
    CRecoveryKeeper(const CRecoveryKeeper&) = delete;
    CRecoveryKeeper& operator=(const CRecoveryKeeper&) = delete;

    // After every acquisition tick.
    void AfterTick(const _sTickResult& tick);
    // The caller changed the measurement (and cleared bMeasureSaved).
    void MeasureChanged();
    // The measurement was saved, or the program ends with nothing unsaved: the copy goes.
    void Discard();
    // Waits until every write and removal asked for has been done.
    void Flush();

    const std::filesystem::path& File() const { return m_file; }
    // The outcome of the last write or removal done; Ok before the first.
    FileResult LastResult() const;
    // Writes done so far (successful or not).
    std::size_t WriteCount() const;

private:
    enum TJob { jNone, jWrite, jRemove };

    const GlobalValue& Global;
    const std::filesystem::path m_file;
    const TKeptFormat m_format;
    const bool m_background;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake; // a job arrived, or the keeper ends
    std::condition_variable m_idle; // the worker finished a job
    TJob m_job = jNone;
    std::string m_bytes;
    bool m_busy = false;
    bool m_stop = false;
    FileResult m_last = FileResult::Success();
    std::size_t m_writes = 0;
    std::thread m_worker;

    void Post(TJob job, std::string bytes);
    void Do(TJob job, const std::string& bytes);
    void WorkerLoop();
};
