// Stored meshes of the solid effects and the renderer that draws them with camera textures.
// Texture coordinates, colours and normals are per face corner or per face, never per vertex.
#ifndef KOVRA_EFFECTS_MESH_H
#define KOVRA_EFFECTS_MESH_H

#include <GL/gl.h>
#include <stdint.h>

struct MeshFace {
    int32_t material;
    int32_t cornerCount;  // 3 or 4; any other count draws nothing
    int32_t corners[4];   // vertex indices in drawing order; the fourth is 0 in a triangle
};

struct MeshMaterial {
    float r, g, b, a;
    int32_t textureSlot;  // index into the texture list given to DrawMesh; -1: untextured
    bool cornerColours;   // use the per-corner colours of the mesh
};

struct Mesh {
    const float* vertices;   // x, y, z per vertex
    const MeshFace* faces;   // drawn in array order
    const float* texcoords;  // 8 floats per face: (s, t) of each of four corners
    const float* colours;    // 16 floats per face, or null
    const float* normals;    // x, y, z per face
    const MeshMaterial* materials;
    int32_t faceCount;
    int32_t vertexCount;
};

// Draws every face of the mesh, textured from textures[material.textureSlot]. Sets neither
// matrices nor depth testing; GL_TEXTURE_2D is disabled whenever it returns.
void DrawMesh(const Mesh& mesh, const GLuint* textures);

extern const Mesh g_sphereMesh;        // radius 10, 8 segments, 8 bands
extern const Mesh g_pyramidMesh;       // open eight-sided pyramid, apex on +y
extern const Mesh g_floorCeilingMesh;  // 3 x 3 floor tiles at y -15, ceiling tiles at y 15
extern const Mesh g_slatsMesh;         // eight vertical slats in the z = 0 plane
extern const Mesh g_letteringMesh;     // the word LIVE in serif capitals, extruded

#endif
