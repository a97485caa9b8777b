// PNG decoding: TEX_load_png on a 2048 x 2048 RGBA picture against ImageMagick's convert decoding
// the same file to raw RGBA, runs taken in turn, medians printed. The picture is made by convert in
// a temporary folder, and both decodings are compared before timing starts. $CORVANE_BENCH_ROUNDS
// sets the runs per side (default 7).
#include "bench/bench_support.h"
#include "graphics/TEX_png.h"

#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

static const int kSide = 2048;
static std::string gPath;

// Runs argv with its standard output read into out (unless out is null); true on exit status 0.
static bool run(const std::vector<std::string>& args, std::string* out)
{
    int p[2];
    if (pipe(p) != 0) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, p[1], 1);
    posix_spawn_file_actions_addclose(&fa, p[0]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);
    pid_t pid;
    int err = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(p[1]);
    char buf[1 << 16];
    ssize_t n;
    while (!err && (n = read(p[0], buf, sizeof buf)) > 0)
        if (out) out->append(buf, (size_t)n);
    close(p[0]);
    int status = 0;
    return !err && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

static int decode(std::string* pixels)
{
    xmap_file view(gPath);
    unsigned char* px = nullptr;
    TEX_image_info info;
    int ok = TEX_load_png("bench", view, &px, 0, TEX_GL_RGBA, 0, 0, TEX_rule_keep, 0, info, nullptr);
    if (ok && pixels) pixels->assign((char*)px, (size_t)kSide * kSide * 4);
    free(px);
    return ok;
}

int main()
{
    const char* tmp = getenv("TMPDIR");
    gPath = std::string(tmp && *tmp ? tmp : "/tmp") + "/corvane-png-bench-" + std::to_string(getpid()) + ".png";
    const std::string side = std::to_string(kSide) + "x" + std::to_string(kSide);
    if (!run({"convert", "-size", side, "-seed", "1", "plasma:", "(", "-size", side, "gradient:", ")", "-compose",
              "CopyOpacity", "-composite", "-depth", "8", "PNG32:" + gPath},
             nullptr)) {
        fprintf(stderr, "convert could not make %s\n", gPath.c_str());
        return 1;
    }
    // Same pixels on both sides: ours are bottom row first.
    std::string ours, theirs;
    bool same =
        decode(&ours) && run({"convert", gPath, "-depth", "8", "rgba:-"}, &theirs) && theirs.size() == ours.size();
    const size_t row = (size_t)kSide * 4;
    for (size_t y = 0; same && y < (size_t)kSide; ++y)
        same = ours.compare(y * row, row, theirs, (kSide - 1 - y) * row, row) == 0;
    int rc = 0;
    if (!same) {
        fprintf(stderr, "TEX_load_png and convert decode %s differently\n", gPath.c_str());
        rc = 1;
    } else {
        std::vector<BENCH_side> sides = {
            {"TEX_load_png", [] { return decode(nullptr) != 0; }, {}},
            {"convert to raw RGBA", [] { return run({"convert", gPath, "-depth", "8", "rgba:-"}, nullptr); }, {}},
        };
        if (!BENCH_alternate("Decoding a 2048 x 2048 RGBA PNG", sides, BENCH_rounds(7))) rc = 1;
    }
    unlink(gPath.c_str());
    return rc;
}
