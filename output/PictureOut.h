// The ways out of the picture, as the window sees them: their fixed size, whether any is on
// (then the tick reads the picture back and hands it over here), and the three ways: Send, which
// offers the picture to other programs as a PipeWire camera; Stream, H.264 over SRT to another
// machine; Record, H.264 in a Matroska file. Each way out is a branch of one pipeline, joined and
// left on the worker with a deadline, so the window never waits on a consumer. Used on the
// user-interface thread.
#ifndef KOVRA_OUTPUT_PICTUREOUT_H
#define KOVRA_OUTPUT_PICTUREOUT_H

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "OutSize.h"
#include "StreamSettings.h"
#include "Worker.h"

class COutPipeline;
class IniProfile;

class CPictureOut {
public:
    enum Way { Send, Stream, Record, kWays };

    // Frames come once per tick of `intervalMs`; `changed` is called when a way starts or stops
    // or its wish changes by itself (a failed start, a failure).
    CPictureOut(CWorker& worker, int intervalMs, std::function<void()> changed);
    ~CPictureOut();
    CPictureOut(const CPictureOut&) = delete;
    CPictureOut& operator=(const CPictureOut&) = delete;

    // OUTSIZE, STREAMURI and STREAMPASSPHRASE (read only: the program never changes them), and
    // SEND of [OUTPUT]. Stream and Record are never remembered: the program never starts
    // broadcasting or filling a disk by itself.
    void ExchangeSettings(IniProfile& profile, bool load);
    OutSize Size() const { return m_size; }

    // Whether a way out takes frames now: only then does the tick read the picture back.
    bool Active() const;
    // The tick's picture: rows bottom first, RGBA, `stride` bytes apart, at `tickNs` of the
    // tick's clock. Never waits.
    void Push(const uint8_t* rows, int stride, long long tickNs);

    // A way's wish, as its menu item shows it; Send's is kept while no daemon answers and
    // followed once one does.
    bool Wanted(Way way) const { return m_ways[way].wanted; }
    void Set(Way way, bool on);
    // Whether the way takes frames now (its branch joined and playing).
    bool On(Way way) const { return m_ways[way].on; }
    bool Recording() const { return On(Record); }
    // Whether a PipeWire daemon answers on the user's socket now; asked without waiting.
    static bool SendAvailable();
    // Whether an H.264 encoder is installed, for Stream and Record; says once why not.
    static bool EncoderAvailable();

    // At the close: every way out leaves on the worker (within the exit's budget, a recording
    // finished), each with its line of frames sent and dropped. The wishes stay, for the
    // settings file.
    void StopAll();

private:
    struct Job;
    struct WayState {
        bool wanted = false;
        bool on = false;           // the branch plays: frames go in
        std::shared_ptr<Job> job;  // the join or leave on its way, if any
    };

    // Joins or leaves the way as its wish (and for Send, the daemon) says, unless a job is on
    // its way.
    void Follow(Way way);
    void Join(Way way);
    void Leave(Way way, bool failed);
    // Once a second while a way is wanted or on: a daemon that came or went, a branch that
    // failed, a join that overran its deadline.
    void Watch();
    void Fail(Way way, const std::string& why);
    void WatchAsNeeded();
    void Say(const std::string& line);

    CWorker& m_worker;
    const int m_intervalMs;
    const std::function<void()> m_changed;
    OutSize m_size;
    StreamSettings m_stream;
    bool m_sendInFile = false;
    bool m_uriInFile = false;
    bool m_passphraseInFile = false;
    bool m_closing = false;
    WayState m_ways[kWays];
    std::string m_said;  // the last line given, so that a wait is told of once
    std::shared_ptr<COutPipeline> m_pipeline;
    QObject m_context;  // deliveries stop with this object
    QTimer m_watch;
};

#endif
