// The once-a-second look for a missing file; see FileWait.h.
#include "FileWait.h"

#include "ClipFolder.h"
#include "Worker.h"

CFileWait::CFileWait(CWorker& worker, QObject* context) : m_worker(worker), m_context(context)
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Look(); });
}

CFileWait::~CFileWait() { Stop(); }

void CFileWait::Wait(const std::string& path, std::function<void()> appeared)
{
    Stop();
    m_path = path;
    m_appeared = std::move(appeared);
    m_timer.start(kLookPeriodMs);
    Look();
}

void CFileWait::Stop()
{
    ++*m_generation;
    m_timer.stop();
    m_looking = false;
}

void CFileWait::Look()
{
    if (m_looking) return;
    m_looking = true;
    auto present = std::make_shared<bool>(false);
    CWorker::Job job;
    job.name = "file look";
    job.work = [present, path = m_path] { *present = IsRegularFile(path); };
    job.context = m_context;
    job.skipAtExit = true;
    job.done = [this, present, generation = m_generation, mine = *m_generation] {
        if (*generation != mine) return;  // stopped or replaced: `this` may be a new wait's
        m_looking = false;
        ++m_looks;
        if (!*present) return;
        m_timer.stop();
        ++*m_generation;
        // Taken out first: what it calls may wait anew, replacing it.
        const std::function<void()> appeared = std::move(m_appeared);
        m_appeared = nullptr;
        if (appeared) appeared();
    };
    if (m_worker.Post("file:" + m_path, std::move(job))->Refused()) m_looking = false;
}
