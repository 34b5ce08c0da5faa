// A control target that writes down what it is told, one line per call.
#ifndef KOVRA_TESTS_CONTROL_RECORDINGTARGET_H
#define KOVRA_TESTS_CONTROL_RECORDINGTARGET_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ControlTarget.h"

class RecordingTarget : public ControlTarget {
public:
    void SetEffect(int value) override { Add("effect " + std::to_string(value)); }
    void StepEffect(int delta) override { Add("effect step " + std::to_string(delta)); }
    void SetCtrl(int ctrl, int value) override
    {
        Add("ctrl" + std::to_string(ctrl) + " " + std::to_string(value));
    }
    void StepCtrl(int ctrl, int delta) override
    {
        Add("ctrl" + std::to_string(ctrl) + " step " + std::to_string(delta));
    }
    void Memory(int camera, int key, bool pressed) override
    {
        Add("key " + std::to_string(camera) + " " + std::to_string(key) +
            (pressed ? " down" : " up"));
    }
    void Store(bool pressed) override { Add(pressed ? "store down" : "store up"); }
    void Toggle(Action action) override { Add("toggle " + ActionName(action)); }
    void SetToggle(Action action, bool on) override
    {
        Add("set " + ActionName(action) + (on ? " on" : " off"));
    }

    void SetClipSpeed(int camera, double speed) override
    {
        char text[64];
        std::snprintf(text, sizeof text, "clip %d speed %.3f", camera, speed);
        Add(text);
    }
    void RestartClip(int camera) override { Add("clip " + std::to_string(camera) + " restart"); }

    std::vector<std::string> Take() { return std::exchange(m_calls, {}); }

private:
    void Add(std::string call) { m_calls.push_back(std::move(call)); }
    std::vector<std::string> m_calls;
};

#endif
