// Reading a SOFA file through libmysofa into measurements in the
// listener's frame, on the loading thread.
#include "hrtf.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

#if ZYN_HAVE_MYSOFA
#include <mysofa.h>
#endif

namespace zyn {

#if ZYN_HAVE_MYSOFA

namespace {

const char *mysofa_reason(int err) {
    switch (err) {
        case MYSOFA_INVALID_FORMAT:
            return "it is not a SOFA file, or it is truncated";
        case MYSOFA_UNSUPPORTED_FORMAT:
            return "its HDF5 layout is one libmysofa does not read";
        case MYSOFA_NO_MEMORY:
            return "there is not enough memory to read it";
        case MYSOFA_READ_ERROR:
            return "it cannot be read to its end (truncated?)";
        case MYSOFA_INVALID_ATTRIBUTES:
            return "its attributes are not those of a SOFA HRTF file";
        case MYSOFA_INVALID_DIMENSIONS:
        case MYSOFA_INVALID_DIMENSION_LIST:
            return "its dimensions are invalid";
        case MYSOFA_INVALID_COORDINATE_TYPE:
            return "its coordinate types are invalid";
        case MYSOFA_ONLY_EMITTER_WITH_ECI_SUPPORTED:
        case MYSOFA_ONLY_SOURCES_WITH_MC_SUPPORTED:
            return "it has a source or emitter layout libmysofa does not read";
        case MYSOFA_ONLY_DELAYS_WITH_IR_OR_MR_SUPPORTED:
            return "its delays have a layout libmysofa does not read";
        case MYSOFA_ONLY_THE_SAME_SAMPLING_RATE_SUPPORTED:
            return "it holds more than one sample rate";
        case MYSOFA_RECEIVERS_WITH_RCI_SUPPORTED:
        case MYSOFA_RECEIVERS_WITH_CARTESIAN_SUPPORTED:
        case MYSOFA_INVALID_RECEIVER_POSITIONS:
            return "its receivers are not two ears";
        default:
            return "libmysofa cannot read it";
    }
}

struct SofaFile {
    MYSOFA_HRTF *hrtf = nullptr;
    ~SofaFile() {
        if (hrtf != nullptr) mysofa_free(hrtf);
    }
};

}  // namespace

bool hrtf_available() { return true; }
const char *hrtf_unavailable_reason() { return ""; }
const char *default_sofa_file() { return ZYN_DEFAULT_SOFA; }

std::unique_ptr<HrtfSet> load_hrtf(const char *file, int32_t rate, int32_t taps, std::string *reason) {
    std::string why;
    auto refuse = [&](const std::string &text) {
        if (reason != nullptr) *reason = text;
        return std::unique_ptr<HrtfSet>();
    };
    if (file == nullptr || file[0] == '\0') return refuse("no SOFA file was named");
    std::string path = file;
    if (path == "default") {
        path = default_sofa_file();
        if (path.empty()) return refuse("this build of zyn found no default SOFA file (libmysofa's default.sofa)");
    }
    const std::string named = "'" + path + "' ";
    if (rate < kHrtfMinRate || rate > kHrtfMaxRate)
        return refuse("binaural rendering needs a device rate of 8000..192000 Hz");
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return refuse(named + "cannot be opened: " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return refuse(named + "is not a file");
    if (taps != 0 && (taps < 1 || taps > kHrtfMaxTaps)) return refuse("the number of taps is outside 1..128");

    SofaFile sofa;
    int err = MYSOFA_OK;
    sofa.hrtf = mysofa_load(path.c_str(), &err);
    if (sofa.hrtf == nullptr || err != MYSOFA_OK) return refuse(named + "is refused: " + mysofa_reason(err));
    MYSOFA_HRTF &h = *sofa.hrtf;
    err = mysofa_check(&h);
    if (err != MYSOFA_OK) return refuse(named + "is refused: " + mysofa_reason(err));
    if (h.R != 2) return refuse(named + "is refused: its receivers are not two ears");
    if (h.E != 1) return refuse(named + "is refused: it has more than one emitter");
    if (h.M < 1 || h.N < 1) return refuse(named + "is refused: it holds no response");
    if (h.DataSamplingRate.elements < 1 || h.DataSamplingRate.values == nullptr ||
        !(h.DataSamplingRate.values[0] > 0.0f && std::isfinite(h.DataSamplingRate.values[0])))
        return refuse(named + "is refused: its sample rate is not a positive number");
    if (std::lround(h.DataSamplingRate.values[0]) != rate) {
        err = mysofa_resample(&h, static_cast<float>(rate));
        if (err != MYSOFA_OK) return refuse(named + "cannot be resampled to the device rate");
    }
    mysofa_loudness(&h);
    mysofa_tocartesian(&h);

    const size_t count = h.M, length = h.N;
    if (h.SourcePosition.values == nullptr || h.SourcePosition.elements != count * 3 ||
        h.DataIR.values == nullptr || h.DataIR.elements != count * 2 * length)
        return refuse(named + "is refused: its arrays do not match its dimensions");
    const size_t delay_count = h.DataDelay.values != nullptr ? h.DataDelay.elements : 0;
    if (delay_count != 0 && delay_count != 2 && delay_count != count * 2)
        return refuse(named + "is refused: its delays do not match its dimensions");
    if (count > (1u << 20) || length > (1u << 20)) return refuse(named + "is refused: it is too large");

    HrtfMeasurements m;
    try {
        m.rate = rate;
        m.count = static_cast<int32_t>(count);
        m.length = static_cast<int32_t>(length);
        m.directions.resize(count * 3);
        m.extra_delays.assign(count * 2, 0.0f);
        m.responses.assign(h.DataIR.values, h.DataIR.values + count * 2 * length);
    } catch (const std::bad_alloc &) {
        return refuse(named + "is refused: there is not enough memory for its responses");
    }
    for (size_t i = 0; i < count; ++i) {
        // SOFA's frame: x ahead, y left, z up.
        const float *p = h.SourcePosition.values + 3 * i;
        m.directions[3 * i] = -p[1];
        m.directions[3 * i + 1] = p[2];
        m.directions[3 * i + 2] = p[0];
        for (size_t ear = 0; ear < 2; ++ear) {
            if (delay_count == 2) m.extra_delays[2 * i + ear] = h.DataDelay.values[ear];
            if (delay_count == count * 2) m.extra_delays[2 * i + ear] = h.DataDelay.values[2 * i + ear];
        }
    }
    std::unique_ptr<HrtfSet> set = build_hrtf_set(m, taps, path, &why);
    if (!set) return refuse(named + "is refused: " + why);
    return set;
}

#else  // built without libmysofa

bool hrtf_available() { return false; }
const char *hrtf_unavailable_reason() {
    return "this build of zyn has no binaural rendering (it was built without libmysofa)";
}
const char *default_sofa_file() { return ""; }

std::unique_ptr<HrtfSet> load_hrtf(const char *, int32_t, int32_t, std::string *reason) {
    if (reason != nullptr) *reason = hrtf_unavailable_reason();
    return nullptr;
}

#endif

}  // namespace zyn
