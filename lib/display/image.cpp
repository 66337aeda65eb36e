// The video image on screen: pixel copy as captured, or a texture on a mesh
// whose vertices sit at the undistorted positions of a regular grid of
// observed points. Each window position's mesh is computed once and kept in
// a display list; the texture is uploaded on every call.
#include "display_internal.h"

#include <GL/gl.h>
#include <algorithm>

using mvdisplay::Area;
using mvdisplay::state;

namespace {

// Built flags and display-list names of one routine, per window slot.
struct MeshCache {
    bool built[10];
    GLuint list[10];
};

MeshCache tex4_cache[2];  // [upload mode]: every row, every second row
MeshCache tex3_cache[2];
MeshCache half_cache;

// The cache slot of a window position, or -1 for a position that has no slot
// of its own: one off the mini-window grid would either index past the ten
// slots or share the slot (and so the mesh) of a position inside the grid.
int window_slot(int xwin, int ywin)
{
    if (xwin == 0 && ywin == 0) return 0;
    if (xwin == 1 && ywin == 0) return 1;
    const mvdisplay::Layout &l = state.layout;
    if (xwin >= 1 && xwin <= l.cols && ywin >= 1 && ywin <= l.rows) {
        int slot = (ywin - 1) * l.cols + xwin + 1;
        if (slot <= 9) return slot;
    }
    return -1;
}

// One mesh: columns x[0..nx] (observed image pixels) with texture
// coordinates tx[], rows of the whole image height in 20 steps.
struct MeshColumns {
    int nx;
    double x[21], tx[21];
};

// A grid point whose ideal position is (ix, iy) goes to the area's
// (x + s ix - 1, top_row - s iy): the row where the pixel copy and the
// overlays put it, one column left of them.
void emit_mesh(const MeshColumns &cols, double ty_full, const Area &a, bool drop_folds)
{
    const int im_x = state.layout.im_x, im_y = state.layout.im_y;
    const double x0 = a.x, top = a.y + a.h;
    double y[21], ty[21];
    for (int j = 0; j <= 20; j++) {
        y[j] = (j * im_y) / 20.0;
        ty[j] = ty_full * j / 20.0;
    }
    for (int j = 1; j <= 20; j++) {
        for (int i = 1; i <= cols.nx; i++) {
            const int ci[4] = {i - 1, i, i, i - 1};
            const int cj[4] = {j - 1, j - 1, j, j};
            double ix[4], iy[4];
            for (int c = 0; c < 4; c++)
                mvParamObserv2Ideal(state.camera.distortion, cols.x[ci[c]], y[cj[c]], &ix[c], &iy[c]);
            // Quads that fold over or that the undistortion pushes beyond
            // the image are left out.
            if (drop_folds &&
                (ix[1] < ix[0] || ix[3] > ix[2] || iy[3] < iy[0] || iy[2] < iy[1] ||
                 ix[1] < 0 || ix[2] < 0 || ix[0] > im_x || ix[3] > im_x ||
                 iy[3] < 0 || iy[2] < 0 || iy[0] > im_y || iy[1] > im_y))
                continue;
            glBegin(GL_QUADS);
            for (int c = 0; c < 4; c++) {
                glTexCoord2d(cols.tx[ci[c]], ty[cj[c]]);
                glVertex3d(x0 + a.scale * ix[c] - 1.0, top - a.scale * iy[c] - 1.0, -1.0);
            }
            glEnd();
        }
    }
}

// Draws a mesh through the slot's display list, building it (drawn while
// compiled) on the slot's first use; a position without a slot is drawn
// directly every time.
void draw_mesh(MeshCache &cache, int slot, GLuint first_list, const MeshColumns &cols,
               double ty_full, const Area &a, bool drop_folds)
{
    if (slot < 0) {
        emit_mesh(cols, ty_full, a, drop_folds);
    } else if (!cache.built[slot]) {
        glNewList(first_list, GL_COMPILE_AND_EXECUTE);
        emit_mesh(cols, ty_full, a, drop_folds);
        glEndList();
    } else {
        glCallList(first_list);
    }
}

// Texture storage is (re)defined only when its size changes; the image
// itself is copied in by glTexSubImage2D, which reads the image's own rows
// and columns and nothing beyond the buffer.
struct Defined {
    GLuint name;
    int w, h;
};
Defined defined[3];

void upload(int which, int tex_w, int tex_h, const unsigned char *image, int skip_pixels,
            int cols, int rows)
{
    const GLuint name = state.textures[which];
    glBindTexture(GL_TEXTURE_2D, name);
    Defined &d = defined[which];
    if (d.name != name || d.w != tex_w || d.h != tex_h) {
        glTexImage2D(GL_TEXTURE_2D, 0, 3, tex_w, tex_h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        d = {name, tex_w, tex_h};
    }
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, skip_pixels);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, std::min(cols, tex_w), std::min(rows, tex_h),
                    GL_RGBA, GL_UNSIGNED_BYTE, image);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
}

void begin_texture(int row_length, int image_height)
{
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, row_length);
    glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, image_height);
}

void end_texture()
{
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 0);
}

MeshColumns even_columns(double tx_full)
{
    MeshColumns c;
    c.nx = 20;
    for (int i = 0; i <= 20; i++) {
        c.x[i] = (i * state.layout.im_x) / 20.0;
        c.tx[i] = tx_full * i / 20.0;
    }
    return c;
}

// Mode 1 takes rows 0, 2, 4, ... through the unpack row length.
int upload_step()
{
    return mvgTexmapMode == 1 ? 2 : 1;
}

void mvgDispImageTex4(const unsigned char *image, int xwin, int ywin)
{
    const int im_x = state.layout.im_x, im_y = state.layout.im_y;
    const mvdisplay::TextureSizes &tex = state.tex;
    const int step = upload_step();
    MeshCache &cache = tex4_cache[step - 1];
    begin_texture(step * im_x, im_y / step);
    upload(0, tex.full_x1, tex.full_y / step, image, 0, im_x, (im_y + step - 1) / step);

    const int slot = window_slot(xwin, ywin);
    GLuint list = 0;
    if (slot >= 0) {
        if (!cache.built[slot]) cache.list[slot] = glGenLists(1);
        list = cache.list[slot];
    }
    draw_mesh(cache, slot, list, even_columns((double)im_x / tex.full_x1),
              (double)im_y / tex.full_y, mvdisplay::window_area(state.layout, xwin, ywin), false);
    if (slot >= 0) cache.built[slot] = true;
    end_texture();
}

void mvgDispImageTex3(const unsigned char *image, int xwin, int ywin)
{
    const int im_x = state.layout.im_x, im_y = state.layout.im_y;
    const mvdisplay::TextureSizes &tex = state.tex;
    const int step = upload_step();
    MeshCache &cache = tex3_cache[step - 1];
    const int rest = im_x - tex.full_x1;
    const int rows = (im_y + step - 1) / step;
    const double ty_full = (double)im_y / tex.full_y;
    const Area a = mvdisplay::window_area(state.layout, xwin, ywin);
    begin_texture(step * im_x, im_y / step);

    const int slot = window_slot(xwin, ywin);
    GLuint first = 0;
    if (slot >= 0) {
        if (!cache.built[slot]) cache.list[slot] = glGenLists(2);
        first = cache.list[slot];
    }

    MeshColumns left;
    left.nx = 16;
    for (int i = 0; i <= 16; i++) {
        left.x[i] = i * tex.full_x1 * 0.0625;
        left.tx[i] = i * 0.0625;
    }
    upload(0, tex.full_x1, tex.full_y / step, image, 0, tex.full_x1, rows);
    draw_mesh(cache, slot, first, left, ty_full, a, true);

    MeshColumns right;
    right.nx = 4;
    for (int i = 0; i <= 4; i++) {
        right.x[i] = tex.full_x1 + (rest * i) * 0.25;
        right.tx[i] = ((double)rest / tex.full_x2) * i * 0.25;
    }
    upload(1, tex.full_x2, tex.full_y / step, image, tex.full_x1, rest, rows);
    draw_mesh(cache, slot, first + 1, right, ty_full, a, true);

    if (slot >= 0) cache.built[slot] = true;
    end_texture();
}

void mvgDispHalfImageTex(const unsigned char *image, int xwin, int ywin)
{
    const int im_x = state.layout.im_x, im_y = state.layout.im_y;
    const mvdisplay::TextureSizes &tex = state.tex;
    const int hx = im_x / 2, hy = im_y / 2;
    begin_texture(hx, hy);
    upload(2, tex.half_x, tex.half_y, image, 0, hx, hy);

    const int slot = window_slot(xwin, ywin);
    GLuint list = 0;
    if (slot >= 0) {
        if (!half_cache.built[slot]) half_cache.list[slot] = glGenLists(1);
        list = half_cache.list[slot];
    }
    draw_mesh(half_cache, slot, list, even_columns(im_x / (2.0 * tex.half_x)),
              im_y / (2.0 * tex.half_y), mvdisplay::window_area(state.layout, xwin, ywin), false);
    if (slot >= 0) half_cache.built[slot] = true;
    end_texture();
}

// The image runs downwards from the raster position at the area's top-left
// pixel; a half image is copied at `mul` = 2.
void draw_pixels(const unsigned char *image, int w, int h, int xwin, int ywin, double mul)
{
    const Area a = mvdisplay::window_area(state.layout, xwin, ywin);
    const double zoom = a.scale * mul;
    glPixelZoom((float)zoom, (float)-zoom);
    glRasterPos3i(a.x, a.top_row(), -1);
    glDrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, image);
}

void set_scissor(int xwin, int ywin)
{
    const Area a = mvdisplay::window_area(state.layout, xwin, ywin);
    glScissor(a.x, a.y, a.w, a.h);
    glEnable(GL_SCISSOR_TEST);
}

}  // namespace

void mvgDispImage(const unsigned char *image, int xwin, int ywin)
{
    const int im_x = state.layout.im_x, im_y = state.layout.im_y;
    if (mvgDrawMode == 0) {
        draw_pixels(image, im_x, im_y, xwin, ywin, 1.0);
        return;
    }
    set_scissor(xwin, ywin);
    if (im_x > state.tex.full_x1)
        mvgDispImageTex3(image, xwin, ywin);
    else
        mvgDispImageTex4(image, xwin, ywin);
    glDisable(GL_SCISSOR_TEST);
}

void mvgDispHalfImage(const unsigned char *image, int xwin, int ywin)
{
    if (mvgDrawMode == 0) {
        draw_pixels(image, state.layout.im_x / 2, state.layout.im_y / 2, xwin, ywin, 2.0);
        return;
    }
    set_scissor(xwin, ywin);
    mvgDispHalfImageTex(image, xwin, ywin);
    glDisable(GL_SCISSOR_TEST);
}
