// The ways out as the window sees them; see PictureOut.h.
#include "PictureOut.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "IniFile.h"
#include "OutPipeline.h"
#include "PipeWireSocket.h"

namespace {

const char* const kLane = "output";
const char* const kSendBranch = "send";
// A camera node other programs list as "Kovra".
const char* const kSendChain =
    "pipewiresink name=pipewire mode=provide sync=false async=false "
    "client-name=Kovra stream-properties=\"props,media.class=Video/Source,"
    "media.role=Camera,node.name=kovra,node.description=Kovra\"";
constexpr std::chrono::seconds kJoinDeadline(5);

void PrintCounts(const char* way, const COutPipeline::Counts& counts)
{
    std::fprintf(stderr, "Kovra: %s: %llu frames sent, %llu dropped\n", way, counts.sent,
                 counts.dropped);
}

}  // namespace

// A join or leave on the worker: its result, written on the lane before the delivery.
struct CPictureOut::Job {
    bool join = false;
    bool ok = false;
    std::string error;
    std::atomic<bool> late{false};
    CWorker::TaskPtr task;
};

CPictureOut::CPictureOut(CWorker& worker, int intervalMs)
    : m_worker(worker), m_intervalMs(intervalMs)
{
    m_watch.setInterval(1000);
    QObject::connect(&m_watch, &QTimer::timeout, &m_context, [this] { Watch(); });
}

CPictureOut::~CPictureOut() { StopAll(); }

void CPictureOut::ExchangeSettings(IniProfile& profile, bool load)
{
    if (load) {
        std::string text;
        m_size = profile.GetString("OUTPUT", "OUTSIZE", text) ? ParseOutSize(text) : OutSize();
        m_sendInFile = profile.GetString("OUTPUT", "SEND", text);
        SetSend(m_sendInFile && text == "1");
        return;
    }
    // A file of before the ways out gets the key only once Send is turned on.
    if (m_sendInFile || m_sendWanted) profile.Set("OUTPUT", "SEND", m_sendWanted ? "1" : "0");
}

void CPictureOut::Push(const uint8_t* rows, int stride, long long tickNs)
{
    if (m_sendOn) m_pipeline->Push(rows, stride, tickNs);
}

bool CPictureOut::SendAvailable() { return PipeWireAnswers(PipeWireSocketPath()); }

void CPictureOut::SetSend(bool on)
{
    m_sendWanted = on;
    m_said.clear();
    if (on && !m_closing)
        m_watch.start();
    else if (!m_sendOn && !m_job)
        m_watch.stop();
    Follow();
}

void CPictureOut::StopAll()
{
    m_closing = true;
    m_watch.stop();
    if (m_sendOn) Leave();
}

void CPictureOut::Follow()
{
    if (m_job || m_closing) return;
    if (m_sendOn && !m_sendWanted) {
        Leave();
        return;
    }
    if (m_sendOn || !m_sendWanted) return;
    const std::string socket = PipeWireSocketPath();
    if (!PipeWireAnswers(socket)) {
        Say("Kovra: no PipeWire daemon answers on " + (socket.empty() ? "no socket" : socket) +
            ": sending to other programs waits for one");
        return;
    }
    Join();
}

void CPictureOut::Join()
{
    if (!m_pipeline) m_pipeline = std::make_shared<COutPipeline>(m_size, m_intervalMs);
    auto job = std::make_shared<Job>();
    job->join = true;
    CWorker::Job work;
    work.name = "send to other programs";
    work.work = [job, pipeline = m_pipeline] {
        job->ok =
            pipeline->Start(job->error) && pipeline->AddBranch(kSendBranch, kSendChain, job->error);
    };
    // Too late for the window: the branch goes again.
    work.late = [job, pipeline = m_pipeline] {
        job->late = true;
        if (job->ok) pipeline->RemoveBranch(kSendBranch);
        pipeline->Stop();
    };
    work.done = [this, job] {
        if (job != m_job) return;
        m_job.reset();
        if (job->ok) {
            m_sendOn = true;
            m_said.clear();
        } else {
            Say("Kovra: cannot send to other programs: " + job->error);
        }
        Follow();
    };
    work.context = &m_context;
    work.timeout = kJoinDeadline;
    work.skipAtExit = true;
    m_job = job;
    job->task = m_worker.Post(kLane, std::move(work));
    if (job->task->Refused()) {
        m_job.reset();
        Say("Kovra: cannot send to other programs: the last try has not returned");
    }
}

void CPictureOut::Leave()
{
    // No frame goes in from now on; the branch leaves on the worker.
    m_sendOn = false;
    auto job = std::make_shared<Job>();
    CWorker::Job work;
    work.name = "stop sending to other programs";
    work.work = [job, pipeline = m_pipeline] {
        PrintCounts("sent to other programs", pipeline->RemoveBranch(kSendBranch));
        pipeline->Stop();
        job->ok = true;
    };
    work.done = [this, job] {
        if (job != m_job) return;
        m_job.reset();
        if (!m_sendWanted) m_watch.stop();
        Follow();
    };
    work.context = &m_context;
    m_job = job;
    job->task = m_worker.Post(kLane, std::move(work));
    if (job->task->Refused()) m_job.reset();
}

void CPictureOut::Watch()
{
    if (m_job) {
        // A join past its deadline gives no delivery: the window stops waiting for it, and a
        // new pipeline takes the next try while the lane's late part stops the old one.
        if (!m_job->join || (!m_job->late && !m_worker.Hung(kLane))) return;
        m_job.reset();
        m_pipeline.reset();
        Say("Kovra: cannot send to other programs: PipeWire did not answer within 5 s");
        return;
    }
    // pipewiresink tells nothing of a daemon that went away: its socket does.
    if (m_sendOn && (m_pipeline->FailedBranch() == kSendBranch || !SendAvailable())) {
        Say("Kovra: PipeWire stopped taking the picture: sending waits for the daemon again");
        Leave();
        return;
    }
    Follow();
}

void CPictureOut::Say(const std::string& line)
{
    if (line == m_said) return;
    m_said = line;
    std::fprintf(stderr, "%s\n", line.c_str());
}
