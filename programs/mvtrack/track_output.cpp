// JSON and CSV records of tracked frames.
#include "track_output.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace mvtrack {

std::string jsonNumber(double v)
{
    if (!std::isfinite(v)) return "null";
    if (v == 0.0) return "0";   // also -0.0, which would print as "-0"
    char buf[64];
    // Shortest round-trip form; never "inf"/"nan" here, and its exponent
    // form (1e+20) is valid JSON.
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

// Length of the valid UTF-8 sequence starting at s[i], or 0.
static size_t utf8_length(const std::string &s, size_t i)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    size_t n;
    uint32_t cp;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) { n = 2; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { n = 3; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { n = 4; cp = c & 0x07; }
    else return 0;
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; k++) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const uint32_t min_cp[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < min_cp[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

std::string jsonString(const std::string &s)
{
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            i++;
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            i++;
        } else {
            const size_t n = utf8_length(s, i);
            if (n == 0) {
                out += "\\ufffd";
                i++;
            } else {
                out.append(s, i, n);
                i += n;
            }
        }
    }
    return out + "\"";
}

TrackedMarker fromTracker(const MvTrackerMarker &m)
{
    TrackedMarker t;
    t.info.area = m.area;
    t.info.id = m.id;
    t.info.direction = m.direction;
    t.info.confidence = m.confidence;
    std::memcpy(t.info.center, m.center, sizeof t.info.center);
    std::memcpy(t.info.edgeLines, m.edgeLines, sizeof t.info.edgeLines);
    std::memcpy(t.info.vertices, m.cornersIdeal, sizeof t.info.vertices);
    std::memcpy(t.corners, m.corners, sizeof t.corners);
    t.family = m.family;
    t.side = m.widthMm;
    t.hasPose = m.hasPose != 0;
    if (t.hasPose) {
        std::memcpy(t.trans, m.pose, sizeof t.trans);
        t.error = m.poseError;
    }
    return t;
}

// Four points as [[x, y], ...].
static std::string points(const double p[4][2])
{
    std::string out = "[";
    for (int i = 0; i < 4; i++)
        out += std::string(i > 0 ? ", " : "") + "[" + jsonNumber(p[i][0]) + ", " + jsonNumber(p[i][1]) + "]";
    return out + "]";
}

std::string frameJson(long frame, const std::vector<TrackedMarker> &markers,
                      const std::string *source)
{
    std::string out = "{";
    if (source != nullptr) out += "\"source\": " + jsonString(*source) + ", ";
    out += "\"frame\": " + std::to_string(frame) + ", \"markers\": [";
    for (size_t k = 0; k < markers.size(); k++) {
        const TrackedMarker &m = markers[k];
        const MvMarkerInfo &in = m.info;
        if (k > 0) out += ", ";
        out += "{\"id\": " + std::to_string(in.id);
        out += ", \"pattern\": " + (m.pattern ? jsonString(m.pattern) : std::string("null"));
        out += ", \"family\": " + (m.family ? jsonString(m.family) : std::string("null"));
        out += ", \"confidence\": " + jsonNumber(in.confidence);
        out += ", \"direction\": " + std::to_string(in.direction);
        out += ", \"area\": " + std::to_string(in.area);
        out += ", \"center\": [" + jsonNumber(in.center[0]) + ", " + jsonNumber(in.center[1]) + "]";
        // "vertices" (ideal pixels) stays for the scripts that read it;
        // "corners" are where the image shows them, "corners_ideal" the
        // same numbers as "vertices".
        out += ", \"vertices\": " + points(in.vertices);
        out += ", \"corners\": " + points(m.corners);
        out += ", \"corners_ideal\": " + points(in.vertices);
        out += ", \"transform\": ";
        if (m.hasPose) {
            out += "[";
            for (int r = 0; r < 3; r++) {
                out += r > 0 ? ", [" : "[";
                for (int c = 0; c < 4; c++) {
                    if (c > 0) out += ", ";
                    out += jsonNumber(m.trans[r][c]);
                }
                out += "]";
            }
            out += "]";
        } else {
            out += "null";
        }
        out += ", \"error\": " + (m.hasPose ? jsonNumber(m.error) : std::string("null"));
        out += "}";
    }
    return out + "]}\n";
}

std::string csvHeader(bool withSource)
{
    return std::string(withSource ? "source," : "") +
           "frame,id,pattern,family,confidence,direction,area,center_x,center_y,"
           "tx,ty,tz,qx,qy,qz,qw,error,"
           "corner0_x,corner0_y,corner1_x,corner1_y,corner2_x,corner2_y,corner3_x,corner3_y\n";
}

// A CSV field: quoted when it holds a comma, quote or line break.
static std::string csv_field(const std::string &s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// An empty field stands for a missing or non-finite number.
static std::string csv_number(double v)
{
    return std::isfinite(v) ? jsonNumber(v) : std::string();
}

bool transformQuat(const double m[3][4], double q[4])
{
    double p[3];
    if (mvUtilMat2QuatPos(m, q, p) != 0) return false;
    // The library's quaternion is the conjugate of the usual one (its matrix
    // is the transpose of the rotation): flipping the vector part gives the
    // rotation marker -> camera as scipy, Eigen and ROS read (x, y, z, w).
    for (int i = 0; i < 3; i++) q[i] = -q[i];
    return std::isfinite(q[0]) && std::isfinite(q[1]) && std::isfinite(q[2]) && std::isfinite(q[3]);
}

std::string frameCsv(long frame, const std::vector<TrackedMarker> &markers,
                     const std::string *source)
{
    std::string out;
    for (const TrackedMarker &m : markers) {
        const MvMarkerInfo &in = m.info;
        if (source != nullptr) out += csv_field(*source) + ",";
        out += std::to_string(frame) + "," + std::to_string(in.id) + ",";
        out += (m.pattern ? csv_field(m.pattern) : std::string()) + ",";
        out += (m.family ? std::string(m.family) : std::string()) + ",";
        out += csv_number(in.confidence) + "," + std::to_string(in.direction) + ",";
        out += std::to_string(in.area) + ",";
        out += csv_number(in.center[0]) + "," + csv_number(in.center[1]);
        double q[4];
        if (m.hasPose && transformQuat(m.trans, q)) {
            for (int r = 0; r < 3; r++) out += "," + csv_number(m.trans[r][3]);
            for (int i = 0; i < 4; i++) out += "," + csv_number(q[i]);
            out += "," + csv_number(m.error);
        } else {
            out += ",,,,,,,,";
        }
        for (int i = 0; i < 4; i++) out += "," + csv_number(m.corners[i][0]) + "," + csv_number(m.corners[i][1]);
        out += "\n";
    }
    return out;
}

}  // namespace mvtrack
