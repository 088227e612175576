#include "resize/resize_channel.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "bmp/plane.h"
#include "dft/chirp_plan.h"
#include "fft/fft_tables.h"
#include "resize/checked_alloc.h"
#include "resize/spectral_passes.h"

namespace {

// The stages of a channel, in order, as the console names them.
enum stage {
    rows_start,
    rows_end,
    columns_start,
    columns_end,
    band_start,
    band_end,
    rows_back_start,
    rows_back_end,
    columns_back_start,
    columns_back_end,
    stage_count
};

const char* const stage_lines[stage_count] = {
    "horizontal DFT start!!\n",  "horizontal DFT end\n",
    "vertical DFT start!!\n",    "vertical DFT end!!\n",
    "high frequency 0 staffing start!!\n", "high frequency 0 staffing end!!\n",
    "horizontal IDFT start!!\n", "horizontal IDFT end!!\n",
    "vertical IDFT start!!\n",   "vertical IDFT end!!\n",
};

void progress(stage at)
{
    std::fputs(stage_lines[at], stderr);
}

// Sizes of the band and the chirp-z shapes of the passes that transform.
struct channel_layout {
    std::int32_t K;  // horizontal bins carried over
    std::int32_t L;  // vertical bins carried over
    int shape_count;
    chirp_shape shapes[4];
};

channel_layout lay_out(const channel_sizes& s)
{
    channel_layout c;
    c.K = carried_bins(s.W, s.W2);
    c.L = carried_bins(s.H, s.H2);
    c.shape_count = 0;
    if (s.W != s.W2) {
        c.shapes[c.shape_count++] = forward_pass_shape(s.W, s.W2);
        c.shapes[c.shape_count++] = inverse_pass_shape(s.W, s.W2);
    }
    if (s.H != s.H2) {
        c.shapes[c.shape_count++] = forward_pass_shape(s.H, s.H2);
        c.shapes[c.shape_count++] = inverse_pass_shape(s.H, s.H2);
    }
    return c;
}

// One table for the longest FFT of the run: tables built for a larger size
// serve every shorter transform, with bit-identical twiddles.
void make_tables(const channel_layout& c, channel_engine* e)
{
    std::int32_t longest = 4;
    for (int p = 0; p < c.shape_count; ++p) {
        const std::int32_t N = line_plan_fft_points(c.shapes[p]);
        longest = N > longest ? N : longest;
    }
    if (!fft_tables_build(&e->tables, longest)) {
        std::printf("ww no memory!!\n");
        std::exit(1);
    }
}

// One workspace per thread, sized for the largest pass, made before any
// line runs so that no thread ever allocates.
void make_workspaces(const channel_layout& c, channel_engine* e)
{
    std::size_t size = 0;
    for (int p = 0; p < c.shape_count; ++p) {
        const std::size_t needs = workspace_doubles(c.shapes[p], e->settings.path);
        size = needs > size ? needs : size;
    }
    // Each thread's array starts on its own 64-byte boundary.
    const std::size_t per_line = lane_alignment / sizeof(double);
    size = (size + per_line - 1) / per_line * per_line;
    const auto threads = static_cast<std::size_t>(e->settings.threads);
    e->workspace_block =
        static_cast<double*>(checked_aligned_alloc(size * threads * sizeof(double), lane_alignment, "work"));
    e->workspace_of = checked_array<double*>(threads, "work");
    for (std::size_t t = 0; t < threads; ++t)
        e->workspace_of[t] = e->workspace_block + size * t;
}

// A plan that cannot be built (its memory) ends the run.
void check_plan(int result)
{
    if (result != chirp_ok) {
        std::printf("failure!!!!\n");
        std::exit(1);
    }
}

// What every channel shares, made by the first one: tables, workspaces,
// the threads, and the row and band arrays of the sides that change.
void make_shared(const channel_layout& c, bool across, bool down, channel_engine* e)
{
    if (e->tables.max_points)
        return;
    const channel_sizes& s = e->sizes;
    make_tables(c, e);
    make_workspaces(c, e);
    e->team = new (checked_alloc(sizeof(line_team), "team")) line_team;
    team_start(e->team, e->settings.threads);
    const std::size_t H = static_cast<std::size_t>(s.H), W2 = static_cast<std::size_t>(s.W2);
    const std::size_t K = static_cast<std::size_t>(c.K), L = static_cast<std::size_t>(c.L);
    if (across) {
        // Row coefficients first, later the rows widened (or cut) to W'.
        const std::size_t widened = down ? W2 * L : 0;
        e->rows = checked_array<double>(K * H > widened ? K * H : widened, "rows");
    }
    if (down)
        e->band = checked_array<double>(L * K, "band");
}

// Neither side changes: every sample is its own exact result.
void copy_plane(const channel_sizes& s, const std::uint8_t* in, strided_lines<std::uint8_t> picture)
{
    for (std::int32_t x = 0; x < s.W; ++x)
        for (std::int32_t y = 0; y < s.H; ++y)
            picture.base[x * picture.line_step + y * picture.elem_step] = in[plane_index(x, y, s.H)];
}

}  // namespace

void channel_engine_init(channel_engine* engine, const channel_sizes& sizes, const engine_settings& settings)
{
    *engine = channel_engine{};
    engine->sizes = sizes;
    engine->settings = settings;
}

void channel_engine_release(channel_engine* engine)
{
    if (engine->team) {
        team_stop(engine->team);
        engine->team->~line_team();
        std::free(engine->team);
    }
    std::free(engine->band);
    std::free(engine->rows);
    std::free(engine->workspace_of);
    std::free(engine->workspace_block);
    *engine = channel_engine{};
}

void resize_channel(channel_engine* e, const std::uint8_t* in, channel_output out)
{
    const channel_sizes& s = e->sizes;
    const channel_layout c = lay_out(s);
    // A side whose size does not change needs no transform at all: the
    // inverse of all n coefficients gives the n samples back exactly. Its
    // two passes are left out, and the passes of the other side read the
    // samples, and write the output, where those passes would have.
    const bool across = s.W != s.W2;
    const bool down = s.H != s.H2;
    const strided_lines<std::uint8_t> picture{out.base, out.column_step, out.row_step};
    cosine_pass pass;

    // Rows: column k of `rows` holds coefficient k of every row.
    progress(rows_start);
    make_shared(c, across, down, e);
    const fft_tables& tables = e->tables;
    const line_engine engine{e->workspace_of, e->team, e->settings.path};
    if (across) {
        check_plan(forward_pass_init(&pass, s.W, s.W2, tables));
        forward_lines(&pass, s.H, strided_lines<const std::uint8_t>{in, 1, s.H},
                      strided_lines<double>{e->rows, 1, s.H}, engine);
        pass_release(&pass);
    }
    progress(rows_end);

    // Columns of the coefficients (of the samples, when the width stays):
    // band row l holds D[l][0..K).
    progress(columns_start);
    if (down) {
        check_plan(forward_pass_init(&pass, s.H, s.H2, tables));
        if (across)
            forward_lines(&pass, c.K, strided_lines<const double>{e->rows, s.H, 1},
                          strided_lines<double>{e->band, 1, c.K}, engine);
        else
            forward_lines(&pass, c.K, strided_lines<const std::uint8_t>{in, s.H, 1},
                          strided_lines<double>{e->band, 1, c.K}, engine);
        pass_release(&pass);
    }
    progress(columns_end);

    // The zero stuffing (or the cut) lives in the inverse plans: their input
    // windows span exactly the carried bins |k| < K and |l| < L, and their
    // lengths are the new sizes 2W' and 2H'. Every other bin is zero and is
    // never stored.
    progress(band_start);
    cosine_pass rows_back{}, columns_back{};
    if (across)
        check_plan(inverse_pass_init(&rows_back, s.W, s.W2, tables));
    if (down)
        check_plan(inverse_pass_init(&columns_back, s.H, s.H2, tables));
    progress(band_end);

    // Band rows back to W' samples: column x of `rows` now holds sample x of
    // every band row; when the height stays, the rows go to the picture.
    progress(rows_back_start);
    if (across && down)
        inverse_lines(&rows_back, c.L, strided_lines<const double>{e->band, c.K, 1},
                      strided_lines<double>{e->rows, 1, c.L}, engine);
    else if (across)
        inverse_lines(&rows_back, s.H, strided_lines<const double>{e->rows, 1, s.H},
                      strided_lines<std::uint8_t>{picture.base, picture.elem_step, picture.line_step}, engine);
    pass_release(&rows_back);
    progress(rows_back_end);

    progress(columns_back_start);
    if (across && down)
        inverse_lines(&columns_back, s.W2, strided_lines<const double>{e->rows, c.L, 1}, picture, engine);
    else if (down)
        inverse_lines(&columns_back, s.W2, strided_lines<const double>{e->band, 1, c.K}, picture, engine);
    else if (!across)
        copy_plane(s, in, picture);
    pass_release(&columns_back);
    progress(columns_back_end);
}

void print_channel_progress()
{
    for (int at = 0; at < stage_count; ++at)
        progress(static_cast<stage>(at));
}
