// The ways out of the picture, as the window sees them: their fixed size, whether any is on
// (then the tick reads the picture back and hands it over here), and Send, which offers the
// picture to other programs as a PipeWire camera. Each way out is a branch of one pipeline,
// joined and left on the worker with a deadline, so the window never waits on a consumer.
// Used on the user-interface thread.
#ifndef KOVRA_OUTPUT_PICTUREOUT_H
#define KOVRA_OUTPUT_PICTUREOUT_H

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "OutSize.h"
#include "Worker.h"

class COutPipeline;
class IniProfile;

class CPictureOut {
public:
    // Frames come once per tick of `intervalMs`.
    CPictureOut(CWorker& worker, int intervalMs);
    ~CPictureOut();
    CPictureOut(const CPictureOut&) = delete;
    CPictureOut& operator=(const CPictureOut&) = delete;

    // OUTSIZE (read only: the program never changes it) and SEND of [OUTPUT].
    void ExchangeSettings(IniProfile& profile, bool load);
    OutSize Size() const { return m_size; }

    // Whether a way out takes frames now: only then does the tick read the picture back.
    bool Active() const { return m_sendOn; }
    // The tick's picture: rows bottom first, RGBA, `stride` bytes apart, at `tickNs` of the
    // tick's clock. Never waits.
    void Push(const uint8_t* rows, int stride, long long tickNs);

    // Send to Other Programs: the wish, kept while no daemon answers and followed once one does.
    bool SendWanted() const { return m_sendWanted; }
    void SetSend(bool on);
    // Whether a PipeWire daemon answers on the user's socket now; asked without waiting.
    static bool SendAvailable();

    // At the close: every way out leaves on the worker (within the exit's budget), each with
    // its line of frames sent and dropped. The wishes stay, for the settings file.
    void StopAll();

private:
    struct Job;
    // Joins or leaves Send as the wish and the daemon say, unless a job is on its way.
    void Follow();
    void Join();
    void Leave();
    // Once a second while Send is wanted: a daemon that came, a branch that failed, a job that
    // overran its deadline.
    void Watch();
    void Say(const std::string& line);

    CWorker& m_worker;
    const int m_intervalMs;
    OutSize m_size;
    bool m_sendWanted = false;
    bool m_sendInFile = false;
    bool m_sendOn = false;  // the branch plays: frames go in
    bool m_closing = false;
    std::string m_said;  // the last line given, so that a wait is told of once
    std::shared_ptr<COutPipeline> m_pipeline;
    std::shared_ptr<Job> m_job;  // the join or leave on its way, if any
    QObject m_context;           // deliveries stop with this object
    QTimer m_watch;
};

#endif
