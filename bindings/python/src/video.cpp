// morvex.Video: a capture source, frames as numpy arrays.
#include "video.h"

#include "common.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <unistd.h>

namespace mvpy {

namespace {

// A source from capture words or a path. Frames at the source's own size
// unless the words scale it, as mvtrack takes them.
class Video {
public:
    Video(py::object source, bool bgr) : bgr_(bgr)
    {
        MvVideoConfig config;
        mvVideoConfigInit(&config);
        // Files are read as fast as frames are asked for.
        config.nopace = 1;
        if (py::isinstance<py::str>(source) || py::hasattr(source, "__fspath__")) {
            const std::string s = path_of(source);
            // A path (blanks and all) unless it reads as capture words.
            if (!s.empty() && s[0] != '-') use_path(s, &config);
            else use_words(s, &config);
        } else {
            for (py::handle w : source) use_words(path_of(w), &config);
        }
        const bool camera = config.file[0] == '\0';
        MvVideoSourceInfo info;
        mvVideoProbe(&config, &info);
        frames_ = camera || config.loop ? -1 : info.frames;
        fps_ = info.fps;
        mvVideoConfigAtSourceSize(&config, &info);
        mvClearError();
        handle_ = mv2VideoOpenConfig(&config);
        if (handle_ == nullptr) raise_last("cannot open the capture " + quoted(label_), camera ? config.dev : config.file);
        mv2VideoInqSize(handle_, &w_, &h_);
        mv2VideoCapStart(handle_);
    }
    ~Video() { close(); }

    void use_path(const std::string &path, MvVideoConfig *config)
    {
        label_ = path;
        if (path.size() > 255) raise("path " + quoted(path) + " is longer than 255 characters", MV_ERROR_ARGUMENT);
        const bool camera = path.compare(0, 5, "/dev/") == 0;
        snprintf(camera ? config->dev : config->file, 256, "%s", path.c_str());
        if (camera) config->file[0] = '\0';
    }

    void use_words(const std::string &words, MvVideoConfig *config)
    {
        label_ += (label_.empty() ? "" : " ") + words;
        const char *bad = nullptr;
        int length = 0;
        if (mvVideoParseConfig(words.c_str(), config, nullptr, &bad, &length) < 0)
            raise("capture word " + quoted(std::string(bad, length)) + " not understood", MV_ERROR_ARGUMENT);
    }

    void close()
    {
        if (handle_ == nullptr) return;
        mv2VideoCapStop(handle_);
        mv2VideoClose(handle_);
        handle_ = nullptr;
    }

    // The next frame, or None once a file has run dry.
    py::object read()
    {
        if (handle_ == nullptr) raise("capture " + quoted(label_) + " is closed", MV_ERROR_ARGUMENT);
        const unsigned char *image = nullptr;
        bool ended = false;
        {
            py::gil_scoped_release unlocked;
            image = next(&ended);
        }
        if (image == nullptr) {
            if (!ended) raise_last("capture " + quoted(label_) + " stopped delivering");
            return py::none();
        }
        py::array_t<uint8_t> frame({(py::ssize_t)h_, (py::ssize_t)w_, (py::ssize_t)3});
        uint8_t *out = frame.mutable_data();
        const int r = bgr_ ? 2 : 0, b = bgr_ ? 0 : 2;
        for (long i = 0, n = (long)w_ * h_; i < n; i++, out += 3, image += 4) {
            out[0] = image[r];
            out[1] = image[1];
            out[2] = image[b];
        }
        mv2VideoCapNext(handle_);
        count_++;
        return std::move(frame);
    }

    int width() const { return w_; }
    int height() const { return h_; }
    long frames() const { return frames_; }
    double fps() const { return fps_; }
    long count() const { return count_; }
    const std::string &label() const { return label_; }

private:
    // Waits out undecodable samples; NULL when the source ran dry
    // (*ended) or failed.
    const unsigned char *next(bool *ended)
    {
        for (int nulls = 0;; nulls++) {
            const unsigned char *image = mv2VideoGetImage(handle_);
            if (image != nullptr) return image;
            const int e = mv2VideoInqEnded(handle_);
            if (e != 0) {
                *ended = e > 0 && mvLastError() != MV_ERROR_DEVICE;
                return nullptr;
            }
            if (nulls > 1000000) return nullptr;   // a camera that never delivers
            if (nulls > 0) usleep(1000);
        }
    }

    MvVideoHandle *handle_ = nullptr;
    std::string label_;
    bool bgr_;
    int w_ = 0, h_ = 0;
    long frames_ = -1, count_ = 0;
    double fps_ = 0.0;
};

}  // namespace

void add_video(py::module_ &m)
{
    py::class_<Video>(m, "Video", "A capture source; iterates over its frames.")
        .def(py::init<py::object, bool>(), py::arg("source"), py::kw_only(), py::arg("bgr") = false,
             "source: a path (video file, image sequence such as 'frames/%04d.png', image, or a\n"
             "camera such as '/dev/video0'; blanks allowed), or capture words such as\n"
             "'-file=clip.avi -loop' (a string or a list). Frames are (H, W, 3) uint8, RGB (BGR\n"
             "with bgr=True), at the source's own size unless -width=N / -height=N; a file's\n"
             "frames come as fast as they are read.")
        .def_property_readonly("width", &Video::width)
        .def_property_readonly("height", &Video::height)
        .def_property_readonly("size", [](const Video &v) { return std::make_pair(v.width(), v.height()); })
        .def_property_readonly("frame_count", &Video::frames, "frames a file announces, or -1 (camera, -loop)")
        .def_property_readonly("fps", &Video::fps, "a file's frame rate, 0 when unknown")
        .def_property_readonly("frames_read", &Video::count)
        .def("read", &Video::read, "The next frame, or None at the end of a file.")
        .def("close", &Video::close)
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", [](Video &v) {
            py::object f = v.read();
            if (f.is_none()) throw py::stop_iteration();
            return f;
        })
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Video &v, py::args) { v.close(); })
        .def("__repr__", [](const Video &v) {
            return "Video(" + quoted(v.label()) + ", " + std::to_string(v.width()) + " x " +
                   std::to_string(v.height()) + ")";
        });
}

}  // namespace mvpy
