// The recording stand-in of the effects library's three calls.
#include "RecordingEffects.h"

#include "KovraEff.h"

std::vector<std::string>& RecordedEffectCalls()
{
    static std::vector<std::string> calls;
    return calls;
}

extern "C" {

int KOVRAEFF_Init(void)
{
    RecordedEffectCalls().push_back("init");
    return 16;
}

void KOVRAEFF_Reset(int effect)
{
    RecordedEffectCalls().push_back("reset " + std::to_string(effect));
}

void KOVRAEFF_Draw(int effect, const EffectParams* p)
{
    RecordedEffectCalls().push_back("draw " + std::to_string(effect) + " " +
                                    std::to_string(p->ctrl1) + " " + std::to_string(p->ctrl2) +
                                    " " + std::to_string(p->texA) + " " + std::to_string(p->texB));
}

}  // extern "C"
