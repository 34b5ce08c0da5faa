// The wait for a chosen file that is missing: once a second, on the worker (a drive that
// hangs holds only that file's lane), a look whether it is a regular file now; when it is,
// `appeared` runs once on the user-interface thread, as a plugged-in camera starts by itself.
#ifndef KOVRA_CAPTURE_FILEWAIT_H
#define KOVRA_CAPTURE_FILEWAIT_H

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

class CWorker;

class CFileWait {
public:
    // Deliveries go to `context`, which must outlive this object.
    CFileWait(CWorker& worker, QObject* context);
    ~CFileWait();
    CFileWait(const CFileWait&) = delete;
    CFileWait& operator=(const CFileWait&) = delete;

    // Waits for `path`, in place of any earlier wait; the first look is at once.
    void Wait(const std::string& path, std::function<void()> appeared);
    // Ends the wait; a look on its way delivers nothing.
    void Stop();
    bool Waiting() const { return m_timer.isActive(); }
    // Looks finished so far (for tests: a state to wait for).
    unsigned Looks() const { return m_looks; }

    static constexpr int kLookPeriodMs = 1000;

private:
    void Look();

    CWorker& m_worker;
    QObject* m_context;
    QTimer m_timer;
    std::string m_path;
    std::function<void()> m_appeared;
    // Shared with the looks on their way: a newer wait, a stop or the end makes them stale.
    std::shared_ptr<unsigned> m_generation = std::make_shared<unsigned>(0);
    bool m_looking = false;  // one look at a time, so a slow drive piles up nothing
    unsigned m_looks = 0;
};

#endif
