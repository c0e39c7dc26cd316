// velquin-calibrate: the camera file (camera_para.dat) of the camera in use, from views of a
// printed chessboard: photographs, or live from a camera the player can open.
#include "Calibration.h"

#include "tracking/camera.h"

#if VELQUIN_CALIBRATE_LIVE
#include "video/FileVideoDevice.h"
#include "video/VelVideoCapture.h"
#include "video/VideoDevice.h"

#include <OGRE/OgreLogManager.h>
#include <OGRE/OgreRoot.h>
#endif

#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Lines stay short and entries keep one indentation each, so that help2man makes the manual
// page from this text without running entries together.
const char* const kUsage =
    "Usage: velquin-calibrate --chessboard COLSxROWS --square MM [OPTION]... PICTURE...\n"
    "  or:  velquin-calibrate --chessboard COLSxROWS --square MM --camera TYPE\n"
    "                         [CONFIGURATION] [OPTION]...\n"
    "Makes the camera file of a camera (focal lengths, centre, lens distortion)\n"
    "from views of a printed chessboard (velquin-marker --chessboard 9x6\n"
    "--square 25 prints one).\n"
    "\n"
    "Pictures are taken as the camera shows them; the file written is for the\n"
    "frames as the player's cameras deliver them (turned by 180 degrees), so it\n"
    "goes straight into the player's folder. A live camera's frames are already\n"
    "those. The report gives the reprojection error (RMS over all corners and\n"
    "the worst view) and why a set is poor: fewer than 8 views, corners covering\n"
    "less than half the frame, or an RMS above 1 px. A poor set is refused (exit\n"
    "status 1) unless --force is given.\n"
    "\n"
    "Options:\n"
    "  --chessboard COLSxROWS\n"
    "                    inner corners across and down (9x6 for a board of\n"
    "                    10 x 7 squares)\n"
    "  --square MM       side of one square as printed, in millimetres\n"
    "  -o FILE           the camera file to write (default camera_para.dat)\n"
    "  --coverage FILE   picture of where the corners lie (default:\n"
    "                    FILE.coverage.png)\n"
    "  --camera TYPE [CONFIGURATION]\n"
    "                    take the views live from a camera the player can\n"
    "                    open: V4L2 (\"/dev/video0 640x480\") or File (a folder\n"
    "                    of recorded frames)\n"
    "  --views N         views to take live (default 15)\n"
    "  --force           write the file even when the set of views is poor\n"
    "  --help            this text\n";

struct Options {
    Calibration::Board board;
    bool haveBoard = false;
    bool haveSquare = false;
    std::string output = "camera_para.dat";
    std::string coverage;
    std::string cameraType;
    std::string cameraConfiguration;
    int views = 15;
    bool force = false;
    std::vector<std::string> pictures;
};

bool parseBoard(const char* text, Calibration::Board* board) {
    int columns = 0;
    int rows = 0;
    char rest = 0;
    if (std::sscanf(text, "%dx%d%c", &columns, &rows, &rest) != 2 || columns < 2 || rows < 2 ||
        columns > 50 || rows > 50) {
        return false;
    }
    board->columns = columns;
    board->rows = rows;
    return true;
}

#if VELQUIN_CALIBRATE_LIVE
// Grey levels of a picture of 3 or 4 bytes per pixel.
std::vector<unsigned char> greyOf(const unsigned char* pixels, int width, int height, int pixelSize) {
    std::vector<unsigned char> grey(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < grey.size(); ++i) {
        const unsigned char* p = pixels + i * pixelSize;
        grey[i] = static_cast<unsigned char>((p[0] + p[1] + p[2]) / 3);
    }
    return grey;
}

// Where a view's board lies, for telling views apart: centre and apparent size.
struct Placement {
    double x = 0.0;
    double y = 0.0;
    double size = 0.0;
};

Placement placementOf(const Calibration::View& view) {
    Placement p;
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (const Calibration::Point& point : view.corners) {
        p.x += point.x / view.corners.size();
        p.y += point.y / view.corners.size();
        minX = std::min(minX, point.x);
        maxX = std::max(maxX, point.x);
        minY = std::min(minY, point.y);
        maxY = std::max(maxY, point.y);
    }
    p.size = std::hypot(maxX - minX, maxY - minY);
    return p;
}

// Largest movement of a corner between two views of the same board.
double movement(const Calibration::View& a, const Calibration::View& b) {
    double largest = 0.0;
    for (size_t i = 0; i < a.corners.size() && i < b.corners.size(); ++i) {
        largest =
            std::max(largest, std::hypot(a.corners[i].x - b.corners[i].x, a.corners[i].y - b.corners[i].y));
    }
    return largest;
}

// Whether a view adds something: the board elsewhere, at another distance or turned otherwise.
bool farFromTaken(const Calibration::View& view, const std::vector<Calibration::View>& taken, int width) {
    const Placement p = placementOf(view);
    for (const Calibration::View& other : taken) {
        const Placement q = placementOf(other);
        const bool samePlace = std::hypot(p.x - q.x, p.y - q.y) < 0.08 * width;
        const bool sameSize = std::abs(p.size - q.size) < 0.1 * std::max(p.size, q.size);
        // The first row's direction tells a turned or tilted board.
        const double a =
            std::atan2(view.corners.back().y - view.corners[0].y, view.corners.back().x - view.corners[0].x);
        const double b = std::atan2(other.corners.back().y - other.corners[0].y,
                                    other.corners.back().x - other.corners[0].x);
        const bool sameTurn = std::abs(std::remainder(a - b, 2 * M_PI)) < 0.12;
        if (samePlace && sameSize && sameTurn) {
            return false;
        }
    }
    return true;
}

// The engine's picture codecs, which a File camera decodes its recording with: they live in a
// plug-in that only a Root can load, but no render system, window or log file is needed.
class EngineCodecs {
public:
    EngineCodecs() {
        logs_.createLog("velquin-calibrate", true, false, true);
        try {
            root_ = std::make_unique<Ogre::Root>("", "", "");
            root_->loadPlugin(std::string(VELQUIN_OGRE_PLUGIN_DIR) + "/Codec_STBI");
        } catch (const Ogre::Exception& e) {
            // The camera then says which pictures it cannot read.
            std::fprintf(stderr, "velquin-calibrate: no picture codecs: %s\n", e.getDescription().c_str());
        }
    }

private:
    Ogre::LogManager logs_;            // the Root's log, kept off the disk
    std::unique_ptr<Ogre::Root> root_; // after logs_: goes first
};

// Views taken from a camera as the board is held still in new places. False when the camera
// does not open or stops delivering.
bool takeLiveViews(const Options& options, std::vector<Calibration::View>* views, int* width, int* height) {
    char directory[] = "/tmp/velquin-calibrate-XXXXXX";
    if (mkdtemp(directory) == nullptr) {
        std::perror("velquin-calibrate: mkdtemp");
        return false;
    }
    const EngineCodecs codecs; // outlives the device
    std::string why;
    std::unique_ptr<VideoDevice> device = createVideoDevice(options.cameraType, options.cameraConfiguration,
                                                            std::string(directory) + "/", nullptr, &why);
    if (!device) {
        std::fprintf(stderr, "velquin-calibrate: cannot open the camera %s \"%s\"%s%s\n",
                     options.cameraType.c_str(), options.cameraConfiguration.c_str(), why.empty() ? "" : ": ",
                     why.c_str());
        rmdir(directory);
        return false;
    }
    // A recording starts again once played through, and shows nothing new the second time: one
    // pass is all it has to give, however many views were asked for.
    const auto* recording = dynamic_cast<const FileVideoDevice*>(device.get());
    const int onePass = recording != nullptr ? static_cast<int>(recording->pictureCount()) : 0;
    *width = device->width();
    *height = device->height();
    const int pixelSize = PixelFormat::bytesPerPixel(device->pixelFormat());
    Calibration::View previous;
    int stillFrames = 0;
    int idle = 0;
    int frames = 0;
    while (static_cast<int>(views->size()) < options.views) {
        if (!device->grab()) {
            device->waitForFrame(60);
            if (++idle > 500) {
                std::fprintf(stderr, "\nvelquin-calibrate: the camera sends no frames\n");
                break;
            }
            continue;
        }
        idle = 0;
        ++frames;
        const std::vector<unsigned char> grey = greyOf(device->currentBuffer(), *width, *height, pixelSize);
        Calibration::View view;
        const bool found = Calibration::findBoard(grey.data(), *width, *height, options.board, &view,
                                                  Calibration::Search::Quick);
        // Still: hardly a corner moved over the last frames, so the view is sharp.
        stillFrames =
            found && !previous.corners.empty() && movement(view, previous) < 0.7 ? stillFrames + 1 : 0;
        previous = found ? view : Calibration::View();
        const bool fresh = found && farFromTaken(view, *views, *width);
        if (stillFrames >= 3 && fresh) {
            view.name = "view " + std::to_string(views->size() + 1);
            views->push_back(view);
            stillFrames = 0;
        }
        std::fprintf(stderr, "\rviews %d/%d, coverage %3.0f %%, board %-33s", static_cast<int>(views->size()),
                     options.views, 100.0 * Calibration::coverageOf(*views, *width, *height),
                     !found            ? "not seen"
                     : !fresh          ? "seen where a view was already taken"
                     : stillFrames > 0 ? "seen, hold it still"
                                       : "seen, moving");
        std::fflush(stderr);
        if (onePass > 0 && frames >= onePass && static_cast<int>(views->size()) < options.views) {
            std::fprintf(stderr,
                         "\nvelquin-calibrate: the recording has played through: %d of %d views taken",
                         static_cast<int>(views->size()), options.views);
            break;
        }
    }
    std::fprintf(stderr, "\n");
    device.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    return frames > 0;
}
#endif

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--chessboard" && hasValue) {
            if (!parseBoard(argv[++i], &options.board)) {
                std::fprintf(stderr, "velquin-calibrate: --chessboard wants COLSxROWS, such as 9x6\n");
                return 2;
            }
            options.haveBoard = true;
        } else if (arg == "--square" && hasValue) {
            char* end = nullptr;
            options.board.square = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(options.board.square > 0.0) ||
                options.board.square > 1000.0) {
                std::fprintf(stderr, "velquin-calibrate: --square wants millimetres, such as 25\n");
                return 2;
            }
            options.haveSquare = true;
        } else if (arg == "-o" && hasValue) {
            options.output = argv[++i];
        } else if (arg == "--coverage" && hasValue) {
            options.coverage = argv[++i];
        } else if (arg == "--camera" && hasValue) {
            options.cameraType = argv[++i];
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                options.cameraConfiguration = argv[++i];
            }
        } else if (arg == "--views" && hasValue) {
            options.views = std::atoi(argv[++i]);
            if (options.views < 3 || options.views > 200) {
                std::fprintf(stderr, "velquin-calibrate: --views wants 3 to 200\n");
                return 2;
            }
        } else if (arg == "--force") {
            options.force = true;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "velquin-calibrate: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            options.pictures.push_back(arg);
        }
    }
    if (!options.haveBoard || !options.haveSquare ||
        (options.pictures.empty() == options.cameraType.empty())) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (options.coverage.empty()) {
        const size_t dot = options.output.rfind('.');
        const size_t slash = options.output.rfind('/');
        const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
        options.coverage = (hasExtension ? options.output.substr(0, dot) : options.output) + ".coverage.png";
    }

    std::vector<Calibration::View> views;
    int width = 0;
    int height = 0;
    bool turned = false; // the views are the frames as the player gets them
    if (!options.cameraType.empty()) {
#if VELQUIN_CALIBRATE_LIVE
        if (!takeLiveViews(options, &views, &width, &height)) {
            return 1;
        }
        turned = true;
#else
        std::fprintf(stderr, "velquin-calibrate: this build has no camera support\n");
        return 1;
#endif
    } else {
        for (const std::string& path : options.pictures) {
            cv::Mat grey;
            try {
                grey = cv::imread(path, cv::IMREAD_GRAYSCALE);
            } catch (const cv::Exception&) {
                grey.release();
            }
            if (grey.empty()) {
                std::fprintf(stderr, "%s: not a picture that can be read\n", path.c_str());
                continue;
            }
            if (width != 0 && (grey.cols != width || grey.rows != height)) {
                std::fprintf(stderr, "%s: %dx%d, not %dx%d like the first picture: left out\n", path.c_str(),
                             grey.cols, grey.rows, width, height);
                continue;
            }
            Calibration::View view;
            view.name = path;
            if (!grey.isContinuous()) {
                grey = grey.clone();
            }
            if (!Calibration::findBoard(grey.data, grey.cols, grey.rows, options.board, &view)) {
                std::fprintf(stderr, "%s: the whole board is not found: left out\n", path.c_str());
                continue;
            }
            width = grey.cols;
            height = grey.rows;
            views.push_back(view);
        }
    }

    Calibration::Result result;
    std::string error;
    if (!Calibration::calibrate(views, options.board, width, height, &result, &error)) {
        std::fprintf(stderr, "velquin-calibrate: %s\n", error.c_str());
        return 1;
    }
    const Ostrevan::CameraParameters& c = result.camera;
    std::printf("%zu views of %dx%d, board %dx%d of %.1f mm\n", views.size(), width, height,
                options.board.columns, options.board.rows, options.board.square);
    std::printf(
        "fx %.2f  fy %.2f  centre %.2f %.2f  distortion centre %.2f %.2f  factor f %.3f  scale s %.1f\n",
        c.projection[0][0], c.projection[1][1], c.projection[0][2], c.projection[1][2], c.distortion[0],
        c.distortion[1], c.distortion[2], c.distortion[3]);
    std::printf("reprojection error %.3f px RMS, worst view %.3f px (%s); OpenCV's one-term model %.3f px\n",
                result.rms, result.viewRms[static_cast<size_t>(result.worstView)],
                views[static_cast<size_t>(result.worstView)].name.c_str(), result.openCvRms);
    std::printf("corners cover %.0f %% of the frame\n", 100.0 * result.coverage);
    // The picture shows the corners where the camera saw them, not in the player's turned frames.
    std::vector<Calibration::View> shown = views;
    if (turned) {
        for (Calibration::View& view : shown) {
            view = Calibration::turnedHalf(view, width, height);
        }
    }
    if (Calibration::writeCoveragePicture(options.coverage, shown, width, height)) {
        std::printf("coverage picture: %s\n", options.coverage.c_str());
    } else {
        std::fprintf(stderr, "velquin-calibrate: cannot write %s\n", options.coverage.c_str());
    }
    for (const std::string& warning : result.warnings) {
        std::fprintf(stderr, "warning: %s\n", warning.c_str());
    }
    if (!result.warnings.empty() && !options.force) {
        std::fprintf(stderr, "velquin-calibrate: a poor set of views: %s not written (--force writes it)\n",
                     options.output.c_str());
        return 1;
    }
    const Ostrevan::CameraParameters file = turned ? result.camera : Calibration::turnedHalf(result.camera);
    if (Ostrevan::saveCameraParameters(options.output.c_str(), file) != 0) {
        std::fprintf(stderr, "velquin-calibrate: cannot write %s\n", options.output.c_str());
        return 1;
    }
    std::printf("camera file: %s\n", options.output.c_str());
    return 0;
}
