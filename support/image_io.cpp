// image_io.cpp - PNG (libpng) and, when available, JPEG (libjpeg) files.
#include "image_io.h"
#include "tool_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <png.h>

#ifdef MORVEX_TOOL_HAVE_JPEG
#include <csetjmp>
#include <jpeglib.h>
#endif

namespace mvtool {

namespace {

void setError(std::string *error, const std::string &text) {
    if (error) *error = text;
}

bool readPng(const std::string &path, Image *out, std::string *error) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) {
        setError(error, path + ": cannot read PNG: " + img.message);
        return false;
    }
    // Keep grey as grey; anything with transparency becomes RGBA.
    int channels;
    if (img.format & PNG_FORMAT_FLAG_ALPHA) {
        img.format = PNG_FORMAT_RGBA;
        channels = 4;
    } else if (img.format & PNG_FORMAT_FLAG_COLOR) {
        img.format = PNG_FORMAT_RGB;
        channels = 3;
    } else {
        img.format = PNG_FORMAT_GRAY;
        channels = 1;
    }
    Image tmp;
    tmp.width = static_cast<int>(img.width);
    tmp.height = static_cast<int>(img.height);
    tmp.channels = channels;
    tmp.pixels.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, tmp.pixels.data(), 0, nullptr)) {
        setError(error, path + ": cannot decode PNG: " + img.message);
        png_image_free(&img);
        return false;
    }
    *out = std::move(tmp);
    return true;
}

#ifdef MORVEX_TOOL_HAVE_JPEG
struct JpegErr {
    jpeg_error_mgr mgr;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegQuiet(j_common_ptr) {}  // warnings: the caller reports failures itself

void jpegFail(j_common_ptr cinfo) {
    JpegErr *e = reinterpret_cast<JpegErr *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, e->message);
    longjmp(e->jump, 1);
}

// Plain C data only between setjmp and longjmp: nothing with a destructor
// is live across the jump.
bool readJpeg(const std::string &path, Image *out, std::string *error) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        setError(error, path + ": cannot open: " + std::strerror(errno));
        return false;
    }
    jpeg_decompress_struct cinfo;
    JpegErr jerr;
    cinfo.err = jpeg_std_error(&jerr.mgr);
    jerr.mgr.error_exit = jpegFail;
    jerr.mgr.output_message = jpegQuiet;
    jerr.message[0] = 0;
    unsigned char *buf = nullptr;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(f);
        std::free(buf);
        setError(error, path + ": cannot decode JPEG: " + jerr.message);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = cinfo.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    size_t stride = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    buf = static_cast<unsigned char *>(std::malloc(stride * cinfo.output_height));
    if (!buf) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(f);
        setError(error, path + ": out of memory");
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        unsigned char *row = buf + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
    int ch = cinfo.output_components;
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    out->width = w;
    out->height = h;
    out->channels = ch;
    out->pixels.assign(buf, buf + stride * h);
    std::free(buf);
    return true;
}
#endif

// The libpng description of `img`; false when there is nothing to write.
bool describe(const Image &img, png_image *pi) {
    if (img.width <= 0 || img.height <= 0 ||
        (img.channels != 1 && img.channels != 3 && img.channels != 4) ||
        img.pixels.size() < static_cast<size_t>(img.width) * img.height * img.channels)
        return false;
    std::memset(pi, 0, sizeof *pi);
    pi->version = PNG_IMAGE_VERSION;
    pi->width = static_cast<png_uint_32>(img.width);
    pi->height = static_cast<png_uint_32>(img.height);
    pi->format = img.channels == 1 ? PNG_FORMAT_GRAY : img.channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
    return true;
}

}  // namespace

bool readImage(const std::string &path, Image *out, std::string *error) {
    unsigned char magic[8] = {0};
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        setError(error, path + ": cannot open: " + std::strerror(errno));
        return false;
    }
    size_t got = std::fread(magic, 1, sizeof magic, f);
    std::fclose(f);
    if (got >= 8 && png_sig_cmp(magic, 0, 8) == 0) return readPng(path, out, error);
    if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
#ifdef MORVEX_TOOL_HAVE_JPEG
        return readJpeg(path, out, error);
#else
        setError(error, path + ": JPEG files are not supported in this build (use PNG)");
        return false;
#endif
    }
#ifdef MORVEX_TOOL_HAVE_JPEG
    setError(error, path + ": not a PNG or JPEG file");
#else
    setError(error, path + ": not a PNG file");
#endif
    return false;
}

bool writePng(const std::string &path, const Image &img, std::string *error) {
    png_image pi;
    if (!describe(img, &pi)) {
        setError(error, path + ": nothing to write (empty image or bad channel count)");
        return false;
    }
    // Replaces an older file only once complete.
    OutputFile out;
    std::string why;
    if (!out.open(path, &why)) {
        setError(error, why);
        return false;
    }
    if (!png_image_write_to_stdio(&pi, out.stream(), 0, img.pixels.data(), 0, nullptr)) {
        setError(error, path + ": cannot write PNG: " + pi.message);
        return false;
    }
    if (!out.commit(&why)) {
        setError(error, why);
        return false;
    }
    return true;
}

bool encodePng(const Image &img, std::vector<uint8_t> *bytes, std::string *error) {
    png_image pi;
    if (!describe(img, &pi)) {
        setError(error, "cannot encode PNG: empty image or bad channel count");
        return false;
    }
    // The first call only measures; the second writes into a buffer of that size.
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(&pi, nullptr, &size, 0, img.pixels.data(), 0, nullptr)) {
        std::vector<uint8_t> out(size);
        if (png_image_write_to_memory(&pi, out.data(), &size, 0, img.pixels.data(), 0, nullptr)) {
            out.resize(size);
            *bytes = std::move(out);
            return true;
        }
    }
    setError(error, std::string("cannot encode PNG: ") + pi.message);
    return false;
}

}  // namespace mvtool
