// The ways out as the window sees them; see PictureOut.h.
#include "PictureOut.h"

#include <gst/gst.h>
#include <gst/video/video.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStandardPaths>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "IniFile.h"
#include "OutPipeline.h"
#include "PipeWireSocket.h"
#include "RecordingFile.h"

namespace {

const char* const kLane = "output";

struct WayText {
    const char* branch;
    const char* doing;  // "cannot ..."
    const char* done;   // the line of frames sent and dropped
};
const WayText kText[CPictureOut::kWays] = {
    {"send", "send to other programs", "sent to other programs"},
    {"stream", "stream", "streamed"},
    {"record", "record", "recorded"},
};

// A camera node other programs list as "Kovra".
const char* const kSendChain =
    "pipewiresink name=pipewire mode=provide sync=false async=false "
    "client-name=Kovra stream-properties=\"props,media.class=Video/Source,"
    "media.role=Camera,node.name=kovra,node.description=Kovra\"";
// MPEG-TS in whole SRT packets (7 of 188 bytes), or the receiver decodes nothing. A listener
// that nobody has called holds nothing up.
const char* const kStreamChain =
    "h264parse ! mpegtsmux alignment=7 ! srtsink name=srt sync=false async=false "
    "wait-for-connection=false";
// Starting at zero whenever the recording joins the running encoder.
const char* const kRecordChain =
    "h264parse ! matroskamux offset-to-zero=true ! filesink name=file sync=false async=false";
// An encoded way out may fall this far behind (about 2 s) before it loses frames: a lost
// H.264 frame spoils the picture until the next key frame.
constexpr int kEncodedQueue = 60;
constexpr std::chrono::seconds kJoinDeadline(5);

// A receiver that calls the stream's listener gets a key frame at once, not at the next one due.
void AskKeyFrame(GstElement* sink, gint, gpointer, gpointer)
{
    GstPad* in = gst_element_get_static_pad(sink, "sink");
    gst_pad_push_event(in,
                       gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
    gst_object_unref(in);
}

// The user's videos folder, as the file system spells it.
std::string VideosFolder()
{
    return QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::MoviesLocation))
        .toStdString();
}

}  // namespace

// A join or leave on the worker: its result, written on the lane before the delivery.
struct CPictureOut::Job {
    bool join = false;
    bool ok = false;
    std::string error;
    std::string path;  // the recording's file
    std::atomic<bool> late{false};
    CWorker::TaskPtr task;
};

CPictureOut::CPictureOut(CWorker& worker, int intervalMs, std::function<void()> changed)
    : m_worker(worker),
      m_intervalMs(intervalMs),
      m_changed(std::move(changed)),
      m_pipeline(std::make_shared<COutPipeline>(m_size, intervalMs))
{
    m_watch.setInterval(1000);
    QObject::connect(&m_watch, &QTimer::timeout, &m_context, [this] { Watch(); });
}

CPictureOut::~CPictureOut() { StopAll(); }

void CPictureOut::ExchangeSettings(IniProfile& profile, bool load)
{
    if (load) {
        std::string text;
        const OutSize size =
            profile.GetString("OUTPUT", "OUTSIZE", text) ? ParseOutSize(text) : OutSize();
        if (!(size == m_size)) {
            m_size = size;
            m_pipeline = std::make_shared<COutPipeline>(m_size, m_intervalMs);
        }
        m_uriInFile = profile.GetString("OUTPUT", "STREAMURI", text);
        m_stream.uri = m_uriInFile && !text.empty() ? text : StreamSettings().uri;
        m_passphraseInFile = profile.GetString("OUTPUT", "STREAMPASSPHRASE", text);
        m_stream.passphrase = m_passphraseInFile ? text : "";
        struct stat info;
        if (!m_stream.passphrase.empty() && stat(profile.Path().c_str(), &info) == 0 &&
            (info.st_mode & 044) != 0)
            Say("Kovra: " + profile.Path() +
                " holds the stream's passphrase and others may read it: chmod 600 it");
        m_sendInFile = profile.GetString("OUTPUT", "SEND", text);
        Set(Send, m_sendInFile && text == "1");
        return;
    }
    // A file of before the ways out gets the key only once Send is turned on.
    if (m_sendInFile || m_ways[Send].wanted)
        profile.Set("OUTPUT", "SEND", m_ways[Send].wanted ? "1" : "0");
    // Kept as read, so that a settings file made again keeps them; one with a passphrase is
    // made for its owner's eyes only.
    if (m_uriInFile) profile.Set("OUTPUT", "STREAMURI", m_stream.uri);
    if (m_passphraseInFile) profile.Set("OUTPUT", "STREAMPASSPHRASE", m_stream.passphrase);
    if (!m_stream.passphrase.empty()) profile.KeepPrivate();
}

bool CPictureOut::Active() const
{
    for (const WayState& state : m_ways)
        if (state.on) return true;
    return false;
}

void CPictureOut::Push(const uint8_t* rows, int stride, long long tickNs)
{
    if (Active()) m_pipeline->Push(rows, stride, tickNs);
}

bool CPictureOut::SendAvailable() { return PipeWireAnswers(PipeWireSocketPath()); }

bool CPictureOut::EncoderAvailable()
{
    static bool told = false;
    const bool available = !COutPipeline::EncoderChain().empty();
    if (!available && !told)
        std::fprintf(stderr,
                     "Kovra: no H.264 encoder (x264enc or openh264enc) is installed: "
                     "Stream and Record are off\n");
    told = told || !available;
    return available;
}

void CPictureOut::Set(Way way, bool on)
{
    m_ways[way].wanted = on;
    m_said.clear();
    Follow(way);
    WatchAsNeeded();
}

void CPictureOut::StopAll()
{
    m_closing = true;
    m_watch.stop();
    // A join still on its way leaves behind it, on the same lane.
    for (int way = 0; way < kWays; ++way)
        if (m_ways[way].on || (m_ways[way].job && m_ways[way].job->join))
            Leave(static_cast<Way>(way), false);
}

void CPictureOut::Follow(Way way)
{
    WayState& state = m_ways[way];
    if (state.job || m_closing) return;
    if (state.on && !state.wanted) {
        Leave(way, false);
        return;
    }
    if (state.on || !state.wanted) return;
    std::string refusal;
    if (way == Send) {
        const std::string socket = PipeWireSocketPath();
        if (!PipeWireAnswers(socket)) {
            Say("Kovra: no PipeWire daemon answers on " + (socket.empty() ? "no socket" : socket) +
                ": sending to other programs waits for one");
            return;
        }
    } else if (!EncoderAvailable()) {
        refusal = "no H.264 encoder is installed";
    } else if (way == Stream) {
        refusal = StreamRefusal(m_stream);
    }
    if (!refusal.empty()) {
        Say(std::string("Kovra: cannot ") + kText[way].doing + ": " + refusal);
        state.wanted = false;
        m_changed();
        return;
    }
    if (way == Stream && m_stream.passphrase.empty() && ListensBeyondLocalhost(m_stream.uri))
        Say("Kovra: the stream listens on " + m_stream.uri +
            " without STREAMPASSPHRASE: anyone on the network can watch it");
    Join(way);
}

void CPictureOut::Join(Way way)
{
    auto job = std::make_shared<Job>();
    job->join = true;
    COutPipeline::Branch branch;
    branch.name = kText[way].branch;
    std::string videos;
    std::tm when = {};
    if (way == Send) {
        branch.chain = kSendChain;
    } else {
        branch.encoded = true;
        branch.queued = kEncodedQueue;
    }
    if (way == Stream) {
        branch.chain = kStreamChain;
        branch.configure = [settings = m_stream](GstBin* bin, std::string&) {
            GstElement* sink = gst_bin_get_by_name(bin, "srt");
            // A listener binds to the address's host only when its address says it listens;
            // the mode said last wins over one the user's query names.
            const char* mode = settings.uri.find('?') == std::string::npos ? "?" : "&";
            const std::string uri = settings.uri + mode + "mode=listener";
            g_object_set(sink, "uri", uri.c_str(), nullptr);
            if (!settings.passphrase.empty())
                g_object_set(sink, "passphrase", settings.passphrase.c_str(), nullptr);
            g_signal_connect(sink, "caller-added", G_CALLBACK(AskKeyFrame), nullptr);
            gst_object_unref(sink);
            return true;
        };
    }
    if (way == Record) {
        branch.chain = kRecordChain;
        branch.finish = true;
        branch.configure = [job](GstBin* bin, std::string&) {
            GstElement* sink = gst_bin_get_by_name(bin, "file");
            g_object_set(sink, "location", job->path.c_str(), nullptr);
            gst_object_unref(sink);
            return true;
        };
        videos = VideosFolder();
        const std::time_t now = std::time(nullptr);
        localtime_r(&now, &when);
    }
    CWorker::Job work;
    work.name = std::string("start to ") + kText[way].doing;
    work.work = [job, pipeline = m_pipeline, branch, videos, when] {
        if (!branch.finish || CreateRecordingFile(videos, when, job->path, job->error))
            job->ok = pipeline->AddBranch(branch, job->error);
        // A recording that never began leaves no empty file behind.
        if (!job->ok && !job->path.empty()) unlink(job->path.c_str());
    };
    // Too late for the window: the branch goes again.
    work.late = [job, pipeline = m_pipeline, name = branch.name] {
        job->late = true;
        if (job->ok) pipeline->RemoveBranch(name);
    };
    work.done = [this, way, job] {
        WayState& state = m_ways[way];
        if (job != state.job) return;
        state.job.reset();
        if (job->ok) {
            state.on = true;
            m_said.clear();
            if (way == Stream) Say("Kovra: streaming on " + m_stream.uri);
            if (way == Record) Say("Kovra: recording to " + job->path);
            Follow(way);
        } else {
            // Send tries again with the watch; the others wait to be asked.
            Say(std::string("Kovra: cannot ") + kText[way].doing + ": " + job->error);
            if (way != Send) state.wanted = false;
        }
        m_changed();
        WatchAsNeeded();
    };
    work.context = &m_context;
    work.timeout = kJoinDeadline;
    work.skipAtExit = true;
    m_ways[way].job = job;
    job->task = m_worker.Post(kLane, std::move(work));
    if (job->task->Refused()) {
        m_ways[way].job.reset();
        Say(std::string("Kovra: cannot ") + kText[way].doing + ": the last try has not returned");
        if (way != Send) m_ways[way].wanted = false;
        m_changed();
    }
}

void CPictureOut::Leave(Way way, bool failed)
{
    // No frame goes in from now on; the branch leaves on the worker.
    WayState& state = m_ways[way];
    state.on = false;
    auto job = std::make_shared<Job>();
    CWorker::Job work;
    work.name = std::string("stop to ") + kText[way].doing;
    work.work = [job, pipeline = m_pipeline, way, failed] {
        const COutPipeline::Counts counts = pipeline->RemoveBranch(kText[way].branch, failed);
        if (counts.joined)
            std::fprintf(stderr, "Kovra: %s: %llu frames sent, %llu dropped\n", kText[way].done,
                         counts.sent, counts.dropped);
        job->ok = true;
    };
    work.done = [this, way, job] {
        if (job != m_ways[way].job) return;
        m_ways[way].job.reset();
        Follow(way);
        WatchAsNeeded();
    };
    work.context = &m_context;
    state.job = job;
    job->task = m_worker.Post(kLane, std::move(work));
    if (job->task->Refused()) state.job.reset();
    if (!m_closing) m_changed();
}

void CPictureOut::Watch()
{
    for (int way = 0; way < kWays; ++way) {
        WayState& state = m_ways[way];
        // A join past its deadline gives no delivery: the window stops waiting for it, and
        // the lane's late part takes the branch out again.
        if (!state.job || !state.job->join || (!state.job->late && !m_worker.Hung(kLane))) continue;
        state.job.reset();
        Say(std::string("Kovra: cannot ") + kText[way].doing +
            ": the ways out did not answer within 5 s");
        if (way != Send) state.wanted = false;
        m_changed();
    }
    for (const COutPipeline::Failure& failure : m_pipeline->Failures()) {
        for (int way = 0; way < kWays; ++way) {
            const bool fed = failure.branch == kText[way].branch ||
                             (way != Send && failure.branch == COutPipeline::kEncoder);
            if (fed && m_ways[way].on) Fail(static_cast<Way>(way), failure.why);
        }
    }
    // pipewiresink tells nothing of a daemon that went away: its socket does.
    if (m_ways[Send].on && !SendAvailable()) Fail(Send, "the daemon went away");
    for (int way = 0; way < kWays; ++way) Follow(static_cast<Way>(way));
    WatchAsNeeded();
}

void CPictureOut::Fail(Way way, const std::string& why)
{
    if (way == Send) {
        Say("Kovra: PipeWire stopped taking the picture (" + why +
            "): sending waits for the daemon again");
    } else {
        Say(std::string("Kovra: ") + (way == Record ? "recording" : "streaming") +
            " stopped: " + why);
        m_ways[way].wanted = false;
    }
    Leave(way, true);
}

void CPictureOut::WatchAsNeeded()
{
    bool needed = false;
    for (const WayState& state : m_ways) needed = needed || state.wanted || state.on || state.job;
    if (needed && !m_closing) {
        if (!m_watch.isActive()) m_watch.start();
    } else {
        m_watch.stop();
    }
}

void CPictureOut::Say(const std::string& line)
{
    if (line == m_said) return;
    m_said = line;
    std::fprintf(stderr, "%s\n", line.c_str());
}
