// The renderer of the stored meshes: one primitive per face, texturing switched per face.
#include <GL/gl.h>

#include "Mesh.h"

void DrawMesh(const Mesh& mesh, const GLuint* textures)
{
    for (int i = 0; i < mesh.faceCount; ++i) {
        const MeshFace& face = mesh.faces[i];
        const MeshMaterial& material = mesh.materials[face.material];
        glColor4f(material.r, material.g, material.b, material.a);

        GLenum primitive;
        if (face.cornerCount == 3) {
            primitive = GL_TRIANGLES;
        } else if (face.cornerCount == 4) {
            primitive = GL_QUADS;
        } else {
            continue;
        }

        const float* normal = mesh.normals + 3 * i;
        glNormal3f(normal[0], normal[1], normal[2]);
        const bool textured = material.textureSlot != -1;
        if (textured) {
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, textures[material.textureSlot]);
        }
        glBegin(primitive);
        for (int k = 0; k < face.cornerCount; ++k) {
            if (material.cornerColours) {
                const float* colour = mesh.colours + 16 * i + 4 * k;
                glColor4f(colour[0], colour[1], colour[2], colour[3]);
            }
            if (textured) {
                const float* st = mesh.texcoords + 8 * i + 2 * k;
                glTexCoord2f(st[0], st[1]);
            }
            const float* v = mesh.vertices + 3 * face.corners[k];
            glVertex3f(v[0], v[1], v[2]);
        }
        glEnd();
        if (textured) glDisable(GL_TEXTURE_2D);
    }
}
