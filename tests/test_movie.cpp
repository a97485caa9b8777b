// tsan: yes
// The movie recorder under Xvfb with Mesa: a test program records its window while drawing
// changing bands, and ffprobe and ffmpeg read the QuickTime files it leaves in its own folder:
// format, track, timing, frames against screenshots, the pixel-buffer and popup variants, the
// ways a recording ends, window sizes, and a write that fails.
#include "support/test_support.h"

#include "graphics/OGL_view.h"
#include "graphics/qtim.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

// The probe copied into a program folder of its own; it works in another folder.
struct Probe {
    std::string app, cwd;
    TS_proc proc;
    TS_result r;
    std::string log() const { return TS_read_file(cwd + "Corvane Installer Log.txt"); }
};

void start_probe(Probe& p, const TS_xvfb& x, std::vector<std::string> args)
{
    p.app = TS_new_dir("app");
    p.cwd = TS_new_dir("work");
    std::filesystem::copy_file(CORVANE_MOVIE_PROBE_EXE, p.app + "movie_probe");
    args.insert(args.begin(), {p.app + "movie_probe", "--qa_script"});
    ASSERT_TRUE(TS_start(p.proc, args, TS_xvfb_env(x), p.cwd));
}

void run_probe(Probe& p, const TS_xvfb& x, const std::vector<std::string>& args)
{
    start_probe(p, x, args);
    p.r = TS_finish(p.proc, 240);
    EXPECT_FALSE(p.r.timed_out) << p.r.out;
}

int number_after(const std::string& text, const std::string& label)
{
    size_t at = text.find(label);
    return at == std::string::npos ? -1 : atoi(text.c_str() + at + label.size());
}

// ffprobe's "key=value" lines for the video stream and the container.
std::map<std::string, std::string> probe_movie(const std::string& file)
{
    TS_result r = TS_run({"ffprobe", "-v", "error", "-show_entries",
                          "format=format_name:stream=codec_name,codec_tag_string,width,height,time_base,nb_frames,"
                          "avg_frame_rate",
                          "-of", "default=nw=1", file});
    std::map<std::string, std::string> out;
    if (r.exit_code != 0) return out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return out;
}

std::vector<int> durations(const std::string& file)
{
    TS_result r = TS_run({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=duration", "-of",
                          "csv=p=0", file});
    std::vector<int> out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) out.push_back(atoi(line.c_str()));
    return out;
}

// The MD5 of every stored frame, in order.
std::vector<std::string> frame_md5s(const std::string& file)
{
    TS_result r = TS_run({"ffmpeg", "-v", "error", "-i", file, "-c", "copy", "-f", "framemd5", "-"});
    std::vector<std::string> out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') out.push_back(line.substr(line.rfind(',') + 2));
    return out;
}

double psnr(const std::string& a, const std::string& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        double d = (unsigned char)a[i] - (unsigned char)b[i];
        sum += d * d;
    }
    double mse = sum / (double)a.size();
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The same picture upside down (rows of w x 3 bytes).
std::string flipped(const std::string& rgb, int w)
{
    std::string out;
    const size_t row = (size_t)w * 3;
    for (size_t y = rgb.size() / row; y-- > 0;) out += rgb.substr(y * row, row);
    return out;
}

class Movie : public testing::Test {
protected:
    TS_xvfb x;
    void SetUp() override { ASSERT_TRUE(TS_xvfb_start(x, "2560x1600x24")) << "Xvfb did not start"; }
};

} // namespace

TEST(MovieRecorder, WithoutAWindowNothingRecords)
{
    EXPECT_EQ(gMovieRecorder.available, 1); // FFmpeg's MJPEG encoder and "mov" muxer
    gWindowW = gWindowH = 0;
    for (int i = 0; i < 10; ++i) QT_movie_tick(&gMovieRecorder);
    QT_movie_toggle(&gMovieRecorder, 1);
    EXPECT_EQ(gMovieRecorder.state.load(), 0);
    EXPECT_EQ(gMovieRecorder.height, 0);
    EXPECT_EQ(gMovieRecorder.frames_queued, 0);
}

TEST_F(Movie, RecordsTheWindowIntoHangaronMoviesThatMatchItsScreenshots)
{
    Probe p;
    start_probe(p, x, {"--shots=3", "--again", "--hold"});
    const int w = 320, h = 240;
    std::map<int, std::string> shots; // pattern -> screenshot scaled to 320 x 240, RGB
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(TS_wait_for_output(p.proc, "shot ", 120)) << p.proc.out << p.proc.err;
        size_t at = p.proc.out.find("shot ");
        // The line may still be arriving: collect until its end.
        for (int k = 0; k < 100 && p.proc.out.find('\n', at) == std::string::npos; ++k)
            TS_wait_for_output(p.proc, "\x01", 0.1);
        int pattern = atoi(p.proc.out.c_str() + at + 5);
        p.proc.out.erase(at, 5); // so the next wait finds the next line
        const std::string png = p.cwd + "shot_" + std::to_string(pattern) + ".png";
        TS_result s = TS_run({"import", "-window", "root", "-crop", "800x600+0+0", "+repage", png}, TS_xvfb_env(x), 60);
        ASSERT_EQ(s.exit_code, 0) << s.err;
        TS_result c = TS_run({"convert", png, "-resize", "320x240!", "-depth", "8", "rgb:" + png + ".rgb"}, {}, 60);
        ASSERT_EQ(c.exit_code, 0) << c.err;
        shots[pattern] = TS_read_file(png + ".rgb");
        ASSERT_EQ(shots[pattern].size(), (size_t)w * h * 3);
        TS_write_file(p.cwd + "go_" + std::to_string(pattern), "");
    }
    p.r = TS_finish(p.proc, 240);
    ASSERT_EQ(p.r.exit_code, 0) << p.r.out << p.r.err;
    EXPECT_NE(p.r.out.find("size: 800x600 available 1"), std::string::npos) << p.r.out;

    // Into the program's folder, never the working folder.
    const std::string movie = p.app + "Hangaron_1.mov";
    EXPECT_FALSE(std::filesystem::exists(p.cwd + "Hangaron_1.mov"));
    auto info = probe_movie(movie);
    EXPECT_NE(info["format_name"].find("mov"), std::string::npos) << info["format_name"];
    EXPECT_EQ(info["codec_name"], "mjpeg");
    EXPECT_EQ(info["codec_tag_string"], "jpeg");
    EXPECT_EQ(info["width"], "320");
    EXPECT_EQ(info["height"], "240");
    EXPECT_EQ(info["time_base"], "1/600");
    // 80 frames with a grab every fourth: each grab queued, or dropped when none of the three
    // frame records was back from the compression thread (how many depends on its scheduling).
    const int queued = number_after(p.r.out, "recording 1 frames queued: ");
    EXPECT_EQ(queued + number_after(p.r.out, " dropped: "), 20) << p.r.out;
    EXPECT_EQ(atoi(info["nb_frames"].c_str()), queued);

    // The idle frames before the start fill the first frame's time up to the 0.1 s limit; then
    // every fourth frame of 0.016 s is grabbed: 0.064 s, 38 units.
    std::vector<int> d = durations(movie);
    ASSERT_EQ((int)d.size(), queued);
    EXPECT_EQ(d[0], 60);
    int total = 0;
    for (size_t i = 0; i < d.size(); ++i) {
        if (i > 0) {
            EXPECT_EQ(d[i], 38) << i;
        }
        total += d[i];
    }
    std::string rate = info["avg_frame_rate"];
    size_t slash = rate.find('/');
    ASSERT_NE(slash, std::string::npos) << rate;
    EXPECT_NEAR(atof(rate.c_str()) / atof(rate.c_str() + slash + 1), queued * 600.0 / total, 1e-6) << rate;

    // Each decoded frame shows the pattern drawn when it was grabbed, upright.
    TS_result dec = TS_run({"ffmpeg", "-v", "error", "-i", movie, "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"}, {}, 60);
    ASSERT_EQ(dec.exit_code, 0) << dec.err;
    ASSERT_EQ(dec.out.size(), (size_t)queued * w * h * 3);
    std::vector<int> patterns;
    for (size_t at = 0; (at = p.r.out.find("queued tick ", at)) != std::string::npos; ++at)
        patterns.push_back(number_after(p.r.out.substr(at), " pattern "));
    ASSERT_GE((int)patterns.size(), queued);
    int compared = 0;
    for (int i = 0; i < queued; ++i) {
        auto s = shots.find(patterns[i]);
        if (s == shots.end()) continue;
        std::string frame = dec.out.substr((size_t)i * w * h * 3, (size_t)w * h * 3);
        EXPECT_GT(psnr(frame, s->second), 30.0) << "frame " << i << " pattern " << patterns[i];
        EXPECT_LT(psnr(frame, flipped(s->second, w)), 20.0) << "frame " << i;
        ++compared;
    }
    // The probe waits at each shot until every record is back: the pattern's two grabs are queued.
    EXPECT_EQ(compared, 6) << p.r.out;

    // The next recording takes the next free name. Its compression thread is held at the first
    // record until a grab finds none of the three back: that grab is counted as dropped.
    auto second = probe_movie(p.app + "Hangaron_2.mov");
    const std::string out2 = p.r.out.substr(std::min(p.r.out.size(), p.r.out.find("recording 2 frames queued: ")));
    const int queued2 = number_after(out2, "recording 2 frames queued: ");
    EXPECT_EQ(atoi(second["nb_frames"].c_str()), queued2) << p.r.out;
    EXPECT_GE(number_after(out2, " dropped: "), 1) << p.r.out;
    EXPECT_EQ(queued2 + number_after(out2, " dropped: "), 20) << p.r.out;
    EXPECT_EQ(p.log().find("Movie error"), std::string::npos);
}

TEST_F(Movie, PixelBufferReadsArriveOneFrameLateAndPopupsChangeNothing)
{
    Probe plain, background, popup;
    run_probe(plain, x, {"--pace=15"});
    run_probe(background, x, {"--pace=15", "--background"});
    run_probe(popup, x, {"--pace=15", "--popup=100,50"});
    ASSERT_EQ(plain.r.exit_code, 0) << plain.r.out << plain.r.err;
    ASSERT_NE(plain.r.out.find(" pbo 1"), std::string::npos) << plain.r.out; // Mesa has pixel-buffer objects
    std::vector<std::string> a = frame_md5s(plain.app + "Hangaron_1.mov");
    std::vector<std::string> b = frame_md5s(background.app + "Hangaron_1.mov");
    std::vector<std::string> c = frame_md5s(popup.app + "Hangaron_1.mov");
    ASSERT_GE(a.size(), 15u);
    // The whole window, not the popup's corner; and with pixel-buffer objects the same frames,
    // each handed over at the next grab, so the last read never arrives.
    EXPECT_EQ(c, a);
    ASSERT_EQ(b.size() + 1, a.size());
    EXPECT_TRUE(std::equal(b.begin(), b.end(), a.begin()));
    EXPECT_EQ(number_after(background.r.out, "recording 1 frames queued: "), (int)b.size());
    std::vector<int> d = durations(background.app + "Hangaron_1.mov");
    for (int v : d) EXPECT_EQ(v, 38);
}

TEST_F(Movie, EveryWayOfStoppingLeavesAMovieAndLimitsHold)
{
    // A stop asked through state 2 writes the movie, so the next start makes the next one.
    Probe s2;
    run_probe(s2, x, {"--stop=state2", "--again"});
    EXPECT_EQ(s2.r.exit_code, 0) << s2.r.out << s2.r.err;
    EXPECT_EQ(TS_count(s2.r.out, "state after stop: 0"), 2) << s2.r.out;
    EXPECT_EQ(atoi(probe_movie(s2.app + "Hangaron_1.mov")["nb_frames"].c_str()),
              number_after(s2.r.out, "recording 1 frames queued: "));
    EXPECT_EQ(atoi(probe_movie(s2.app + "Hangaron_2.mov")["nb_frames"].c_str()),
              number_after(s2.r.out, "recording 2 frames queued: "));
    EXPECT_EQ(s2.log().find("one already exists"), std::string::npos);

    // Quitting while recording: the shutdown finishes the movie before the thread goes.
    Probe quit;
    run_probe(quit, x, {"--stop=quit"});
    EXPECT_EQ(quit.r.exit_code, 0) << quit.r.out << quit.r.err;
    EXPECT_NE(quit.r.out.find("shut down"), std::string::npos);
    EXPECT_EQ(atoi(probe_movie(quit.app + "Hangaron_1.mov")["nb_frames"].c_str()),
              number_after(quit.r.out, "recording 1 frames queued: "));
    EXPECT_NE(quit.log().find("Clean exit from threads."), std::string::npos);

    // The movie keeps the window's shape at 320 wide, up to 2048 pixels a side.
    const std::pair<std::string, std::string> sizes[] = {{"1024x768", "240"}, {"2048x100", "15"}};
    for (const auto& [window, height] : sizes) {
        Probe s;
        run_probe(s, x, {"--window=" + window, "--record=24"});
        EXPECT_NE(s.r.out.find("size: " + window), std::string::npos) << s.r.out;
        auto info = probe_movie(s.app + "Hangaron_1.mov");
        EXPECT_EQ(info["width"], "320") << window;
        EXPECT_EQ(info["height"], height) << window;
    }
    Probe big;
    run_probe(big, x, {"--window=2100x100", "--record=24"});
    EXPECT_EQ(big.r.exit_code, 0) << big.r.err;
    EXPECT_NE(big.log().find("Oops!\nYou can NOT record movies in Corvane at any Corvane resolution higher that 2048 x "
                             "2048!\nThis limit is to keep the VRAM requirements of Corvane down.\n\n(qtim:537)\n"),
              std::string::npos)
        << big.log();
    EXPECT_FALSE(std::filesystem::exists(big.app + "Hangaron_1.mov"));

    // A write that fails on the compression thread reaches the main thread as the fatal alert,
    // after FFmpeg's own words for it in the log.
    Probe full;
    run_probe(full, x, {"--file_limit=20000", "--record=400"});
    EXPECT_EQ(full.r.exit_code, 1) << full.r.out << full.r.err;
    EXPECT_NE(full.log().find("Movie error -27: File too large\nCould not AddMediaSample.\n\nAddMediaSample failed.\n-27\n"
                              "(qtim:90)\n"),
              std::string::npos)
        << full.log();
}
