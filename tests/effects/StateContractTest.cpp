// Every effect leaves texturing, depth testing and blending off and the model-view matrix
// current, whatever the controls; Init and Reset never touch OpenGL.
#include <GL/gl.h>

#include "EffectFixture.h"

namespace {

class StateContract : public EffectTest {};

TEST_F(StateContract, EveryEffectDisablesWhatItEnabled)
{
    for (int effect = 0; effect < 16; ++effect) {
        for (int ctrl : {0, 64, 127}) {
            Draw(effect, ctrl, 127 - ctrl);
            SCOPED_TRACE("effect " + std::to_string(effect) + " ctrl " + std::to_string(ctrl));
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
            EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
            EXPECT_FALSE(glIsEnabled(GL_BLEND));
            EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
            EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
            GLint mode = 0;
            glGetIntegerv(GL_MATRIX_MODE, &mode);
            EXPECT_EQ(mode, GL_MODELVIEW);
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        }
    }
}

TEST_F(StateContract, EveryEffectClearsWhatTheCallerLeftBehind)
{
    for (int effect = 0; effect < 16; ++effect) {
        // A frame left full of white with a stray matrix must not show through.
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glRotatef(33, 0, 0, 1);
        Draw(effect, 64, 64);
        const std::vector<uint8_t> once = Frame();
        KOVRAEFF_Reset(effect);
        Draw(effect, 64, 64);
        if (effect != 15) {
            EXPECT_TRUE(once == Frame()) << "effect " << effect;
        }
    }
}

TEST_F(StateContract, InitAndResetIssueNoOpenGLCall)
{
    // A call between glBegin and glEnd other than vertex data would raise an error.
    glBegin(GL_TRIANGLES);
    KOVRAEFF_Init();
    for (int effect = 0; effect < 16; ++effect) KOVRAEFF_Reset(effect);
    glEnd();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
