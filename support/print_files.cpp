#include "print_files.h"

#include "tool_files.h"

#include <cmath>
#include <sstream>

namespace mvtool {

std::string svgOpen(double width_mm, double height_mm)
{
    std::ostringstream s;
    s.precision(10);
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" "
         "xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\"\n"
      << "     width=\"" << width_mm << "mm\" height=\"" << height_mm << "mm\" viewBox=\"0 0 "
      << width_mm << " " << height_mm << "\">\n";
    return s.str();
}

std::string base64(const std::vector<uint8_t> &data)
{
    static const char *t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        unsigned v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += t[v >> 18]; out += t[(v >> 12) & 63]; out += t[(v >> 6) & 63]; out += t[v & 63];
    }
    if (i + 1 == data.size()) {
        unsigned v = data[i] << 16;
        out += t[v >> 18]; out += t[(v >> 12) & 63]; out += "==";
    } else if (i + 2 == data.size()) {
        unsigned v = (data[i] << 16) | (data[i + 1] << 8);
        out += t[v >> 18]; out += t[(v >> 12) & 63]; out += t[(v >> 6) & 63]; out += '=';
    }
    return out;
}

namespace {

uint32_t crc32(const uint8_t *p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; i++) {
        c ^= p[i];
        for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
}

void put32(std::vector<uint8_t> *v, uint32_t x)
{
    for (int s = 24; s >= 0; s -= 8) v->push_back((uint8_t)(x >> s));
}

}  // namespace

bool writePngAtSize(const std::string &path, const Image &img, double width_mm, std::string *error)
{
    std::vector<uint8_t> png;
    std::string why;
    if (!encodePng(img, &png, &why)) {
        if (error) *error = path + ": " + why;
        return false;
    }
    // pHYs goes right after IHDR: signature (8) + IHDR chunk (25).
    const uint32_t per_metre = (uint32_t)std::lround(img.width / width_mm * 1000.0);
    std::vector<uint8_t> chunk;
    put32(&chunk, 9);
    for (char c : std::string("pHYs")) chunk.push_back((uint8_t)c);
    put32(&chunk, per_metre);
    put32(&chunk, per_metre);
    chunk.push_back(1);   // unit: metre
    put32(&chunk, crc32(chunk.data() + 4, chunk.size() - 4));
    png.insert(png.begin() + 33, chunk.begin(), chunk.end());
    return writeFile(path, png.data(), png.size(), error);
}

}  // namespace mvtool
