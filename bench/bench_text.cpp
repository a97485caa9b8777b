// CPU time per frame of drawing a full page of text (about 2,000 characters, both faces, Latin and
// Cyrillic) with OGL_draw_string, beside Dear ImGui drawing the same lines in the same two DejaVu
// faces at the same size (its FreeType rasteriser with light hinting and its OpenGL 2 back end),
// in one run and one OpenGL context. Needs a display: bench/text_draw.sh runs it under Xvfb.
#include "frame/hl_init.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_font.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"
#include "graphics/tman.h"

#include <benchmark/benchmark.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>
#include <imgui_freetype.h>

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <string>
#include <vector>

static const char* const kFontDir = "/usr/share/fonts/truetype/dejavu/";

struct PageLine {
    std::string text;
    int bold;
};

// Fifty lines of about fifty characters, every other one Cyrillic, every third one bold.
static std::vector<PageLine> page()
{
    const char* const latin[] = {
        "Checking every file of the installed copy (%d).",
        "D\xC3\xA9j\xC3\xA0 t\xC3\xA9l\xC3\xA9" "charg\xC3\xA9: la mise \xC3\xA0 jour est pr\xC3\xAAte.",
        "Gr\xC3\xB6\xC3\x9F" "e der Dateien \xC3\xBC" "berpr\xC3\xBC" "fen, bitte warten",
    };
    const char* const cyrillic[] = {
        "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBA\xD0\xB0 \xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB\xD0\xBE\xD0\xB2 "
        "\xD1\x83\xD1\x81\xD1\x82\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2\xD0\xBB\xD0\xB5\xD0\xBD\xD0\xBD\xD0\xBE\xD0\xB9 "
        "\xD0\xBA\xD0\xBE\xD0\xBF\xD0\xB8\xD0\xB8 (%d).",
        "\xD0\xA1\xD1\x8A\xD0\xB5\xD1\x88\xD1\x8C \xD0\xB6\xD0\xB5 \xD0\xB5\xD1\x89\xD1\x91 \xD1\x8D\xD1\x82\xD0\xB8\xD1\x85 "
        "\xD0\xBC\xD1\x8F\xD0\xB3\xD0\xBA\xD0\xB8\xD1\x85 \xD0\xB1\xD1\x83\xD0\xBB\xD0\xBE\xD0\xBA.",
    };
    std::vector<PageLine> lines;
    for (int i = 0; i < 50; ++i) {
        char buf[256];
        snprintf(buf, sizeof buf, i % 2 ? cyrillic[i / 2 % 2] : latin[i / 2 % 3], i);
        lines.push_back({buf, i % 3 == 0});
    }
    return lines;
}

static bool open_window()
{
    static bool made = false, ok = false;
    if (made) return ok;
    made = true;
    hl_register_window_class();
    gWindowedW = 1024;
    gWindowedH = 768;
    ok = gWindows.hl_create_gl_window(0) != 0;
    if (!ok) return false;
    gWindows.hl_set_window_count(1);
    hl_update_layout();
    gCaps.OGL_init_extensions();
    gGLSettings.RENO_reset_options();
    gTextures.init();
    return true;
}

static void BM_OGL_draw_string_page(benchmark::State& state)
{
    if (!open_window()) return state.SkipWithError("no OpenGL window");
    const std::vector<PageLine> lines = page();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        float y = 750;
        for (const PageLine& l : lines) {
            OGL_draw_string(117, 10, y, l.text, 9999, l.bold ? 1 : 0, 0);
            y -= 18;
        }
        glFinish();
    }
    size_t chars = 0;
    for (const PageLine& l : lines)
        for (unsigned char c : l.text) chars += (c & 0xC0) != 0x80;
    state.counters["chars_per_frame"] = (double)chars;
}

// ImGui's size is the face's ascender-to-descender height: this is 10.5 pixels per em.
static float imgui_size(const char* file)
{
    FT_Library lib;
    FT_Face face;
    float size = 10.5f;
    if (FT_Init_FreeType(&lib) == 0) {
        if (FT_New_Face(lib, (std::string(kFontDir) + file).c_str(), 0, &face) == 0) {
            size = 10.5f * (float)(face->ascender - face->descender) / (float)face->units_per_EM;
            FT_Done_Face(face);
        }
        FT_Done_FreeType(lib);
    }
    return size;
}

static void BM_ImGui_page(benchmark::State& state)
{
    if (!open_window()) return state.SkipWithError("no OpenGL window");
    const std::vector<PageLine> lines = page();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(1024, 768);
    io.DeltaTime = 1.0f / 60;
    io.IniFilename = nullptr;
    io.Fonts->FontBuilderIO = ImGuiFreeType::GetBuilderForFreeType();
    io.Fonts->FontBuilderFlags = ImGuiFreeTypeBuilderFlags_LightHinting;
    ImFontGlyphRangesBuilder ranges_builder;
    for (const PageLine& l : lines) ranges_builder.AddText(l.text.c_str());
    ImVector<ImWchar> ranges;
    ranges_builder.BuildRanges(&ranges);
    ImFont* faces[2] = {
        io.Fonts->AddFontFromFileTTF((std::string(kFontDir) + "DejaVuSans.ttf").c_str(), imgui_size("DejaVuSans.ttf"),
                                     nullptr, ranges.Data),
        io.Fonts->AddFontFromFileTTF((std::string(kFontDir) + "DejaVuSans-Bold.ttf").c_str(),
                                     imgui_size("DejaVuSans-Bold.ttf"), nullptr, ranges.Data)};
    ImGui_ImplOpenGL2_Init();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        ImGui_ImplOpenGL2_NewFrame();
        ImGui::NewFrame();
        ImDrawList* list = ImGui::GetForegroundDrawList();
        float y = 10;
        for (const PageLine& l : lines) {
            ImFont* f = faces[l.bold ? 1 : 0];
            list->AddText(f, f->FontSize, ImVec2(10, y), IM_COL32_WHITE, l.text.c_str());
            y += 18;
        }
        ImGui::Render();
        ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
        glFinish();
    }
    ImGui_ImplOpenGL2_Shutdown();
    ImGui::DestroyContext();
}

// The process's CPU time, so that Mesa's rasteriser threads count for both sides.
BENCHMARK(BM_OGL_draw_string_page)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ImGui_page)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK_MAIN();
