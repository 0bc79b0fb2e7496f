// The movie control under Wine: milliseconds per frame of the 640 x 480 stage movie (the timer's
// work: timelines and scripts, then the paint: drawing and the copy to the window), the frame
// rate it holds when it plays on its own timer, and the time to load a 10 MB compressed movie.
// Run it with bench/movie-bench (or tools/wine-env.sh wine ...); it prints one line per figure.
#include "tests/movie/win32/control_test_support.h"  // first: it brings windows.h

#include <algorithm>
#include <cstdio>

#include "bench/movie_bench_movie.h"
#include "control/swf_writer.h"

using namespace quill::movie;
using namespace quill::movie::test;

namespace {

double now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

std::wstring writeTemp(const std::vector<uint8_t>& bytes, const wchar_t* name) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring path = std::wstring(dir) + name;
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return L"";
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return path;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    ComApartment apartment;
    std::wstring stage = writeTemp(writeMovie(*bench::stageMovie()), L"quill-bench-stage.swf");
    std::vector<uint8_t> largeBytes = bench::largeMovieBytes(10u << 20);
    std::wstring large = writeTemp(largeBytes, L"quill-bench-large.swf");
    if (stage.empty() || large.empty()) {
        std::fprintf(stderr, "movie-control-bench: cannot write the movies\n");
        return 1;
    }
    int status = 0;
    {
        Hosted host(640, 480, false);
        if (!host.controlWindow) return 1;
        put(host.control.p, L"Playing", vbool(false));
        put(host.control.p, L"Movie", bstr(stage));
        // The timer's work and the paint, driven directly so that each is timed alone.
        std::vector<double> ticks, paints;
        for (int i = 0; i < 330; ++i) {
            double t0 = now();
            SendMessageW(host.controlWindow, WM_TIMER, 1, 0);
            double t1 = now();
            InvalidateRect(host.controlWindow, nullptr, FALSE);
            UpdateWindow(host.controlWindow);
            double t2 = now();
            if (i >= 30) {
                ticks.push_back((t1 - t0) * 1000);
                paints.push_back((t2 - t1) * 1000);
            }
            call(host.control.p, L"Play", {}, nullptr);
        }
        double tick = median(ticks), paint = median(paints);
        std::printf(
            "frame 640x480, 500 shapes, 50 moving sprites: %.2f ms per frame (timeline %.2f ms, "
            "drawing %.2f ms), median of %zu\n",
            tick + paint, tick, paint, ticks.size());

        // Playing on its own timer at the movie's 30 frames per second for five seconds.
        quill::gui::pumpMessages();
        long last = callNumber(host.control.p, L"CurrentFrame"), frames = 0;
        double start = now();
        while (now() - start < 5) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            quill::gui::pumpMessages();
            long f = callNumber(host.control.p, L"CurrentFrame");
            frames += (f - last + 60) % 60;
            last = f;
        }
        std::printf("playing on its timer: %.1f frames per second (the movie asks for 30)\n",
                    frames / (now() - start));

        std::vector<double> loads;
        for (int i = 0; i < 3; ++i) {
            put(host.control.p, L"Movie", bstr(L""));
            double t0 = now();
            put(host.control.p, L"Movie", bstr(large));
            loads.push_back((now() - t0) * 1000);
            if (callNumber(host.control.p, L"ReadyState") != 4) status = 1;
        }
        std::printf("load of a %.1f MB compressed movie: %.0f ms (median of 3)\n",
                    largeBytes.size() / 1048576.0, median(loads));
    }
    DeleteFileW(stage.c_str());
    DeleteFileW(large.c_str());
    return status;
}
